// The JSON binary form's reader, over the bytes as they come and as Base64 inside JSON text: any
// input ends in a value or an error, and what was read is written, never refused for its sharing,
// and read again.
#include "fuzz/FuzzJSON.h"
#include "fuzz/FuzzSetup.h"

#include "kernel/errors/VErrorContext.h"
#include "kernel/json/JSONErrors.h"
#include "kernel/json/VJSONBinaryImporter.h"
#include "kernel/json/VJSONBinaryWriter.h"
#include "kernel/json/VJSONImporter.h"
#include "kernel/json/VJSONValue.h"

using namespace kova;

namespace
{

void WriteAndReadAgain(const VJSONValue& inValue, size_t inSize)
{
    VJSONBinaryWriter writer(64);
    VJSONBinaryWriter::Buffer buffer;
    const VError writing = writer.StreamValue(inValue, buffer);
    fuzz::Check(writing != VE_JSON_EXPANSION_TOO_LARGE, "what was read is written");
    if (writing != VE_OK)
        return;
    VJSONBinaryImporter importer(buffer.GetDataPtr(), buffer.GetDataSize());
    VJSONValue again;
    fuzz::Check(buffer.GetDataSize() == 0 || importer.GetValue(again) == VE_OK, "what was written is read");
    // The text tries writing shared arrays in full first.
    if (fuzz::WalksInProportion(inValue, inSize))
    {
        VString text;
        inValue.Stringify(text, 0x801);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* inData, size_t inSize)
{
    StErrorContextInstaller errors(false, true);
    {
        static const uint8_t sNothing = 0;
        VJSONBinaryImporter importer(inSize != 0 ? inData : &sNothing, inSize);
        VJSONValue value;
        if (importer.GetValue(value) == VE_OK)
            WriteAndReadAgain(value, inSize);
    }
    // Large inputs are there for their size (a part of a megabyte met sixteen times): their text
    // form, three times their cost again, is the text targets' (whose seeds carry the same forms).
    if (inSize <= 65536)
    {
        VString base64;
        base64.EncodeBase64(inData, inSize, false);
        VString text("[{\"__PRIVATE_BINARY_OBJECT\":\"");
        text.AppendString(base64).AppendString(VString("\"}]"));
        VJSONValue value;
        VJSONImporter::ParseString(text, value, 0);
    }
    return 0;
}
