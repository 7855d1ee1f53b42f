// The JSON binary form's reader, over the bytes as they come and as Base64 inside JSON text: any
// input ends in a value or an error, and what was read is written and read again.
#include "fuzz/FuzzSetup.h"

#include "kernel/errors/VErrorContext.h"
#include "kernel/json/VJSONBinaryImporter.h"
#include "kernel/json/VJSONBinaryWriter.h"
#include "kernel/json/VJSONImporter.h"
#include "kernel/json/VJSONValue.h"

using namespace kova;

namespace
{

void WriteAndReadAgain(const VJSONValue& inValue)
{
    VJSONBinaryWriter writer(64);
    VJSONBinaryWriter::Buffer buffer;
    if (writer.StreamValue(inValue, buffer) != VE_OK)
        return;
    VJSONBinaryImporter importer(buffer.GetDataPtr(), buffer.GetDataSize());
    VJSONValue again;
    fuzz::Check(buffer.GetDataSize() == 0 || importer.GetValue(again) == VE_OK, "what was written is read");
    VString text;
    inValue.Stringify(text, 0x801);
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
            WriteAndReadAgain(value);
    }
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
