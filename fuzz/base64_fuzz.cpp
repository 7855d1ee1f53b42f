// Base64 in both alphabets: text that decodes encodes back to text that decodes to the same
// bytes, and bytes encoded decode back; the string forms refuse what is not ASCII.
#include "fuzz/FuzzSetup.h"

#include "kernel/errors/VErrorContext.h"
#include "kernel/text/Base64Coder.h"

#include <cstring>

using namespace kova;

namespace
{

bool SameBytes(const Base64Coder::Buffer& inFirst, const Base64Coder::Buffer& inSecond)
{
    return inFirst.GetDataSize() == inSecond.GetDataSize() &&
           (inFirst.GetDataSize() == 0 ||
            std::memcmp(inFirst.GetDataPtr(), inSecond.GetDataPtr(), inFirst.GetDataSize()) == 0);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* inData, size_t inSize)
{
    StErrorContextInstaller errors(false);
    for (bool url : {false, true})
    {
        Base64Coder::Buffer decoded;
        if (Base64Coder::Decode(inData, inSize, decoded, url, false))
        {
            Base64Coder::Buffer text;
            fuzz::Check(Base64Coder::_Encode(decoded.GetDataPtr(), decoded.GetDataSize(), text, 0, url),
                        "decoded bytes encode");
            Base64Coder::Buffer again;
            fuzz::Check(Base64Coder::Decode(text.GetDataPtr(), text.GetDataSize(), again, url, false) &&
                            SameBytes(again, decoded),
                        "encoded bytes decode back");
        }
        Base64Coder::Buffer encoded;
        fuzz::Check(Base64Coder::_Encode(inData, inSize, encoded, 1 + (inSize % 20), url), "bytes encode");
        Base64Coder::Buffer back;
        fuzz::Check(Base64Coder::Decode(encoded.GetDataPtr(), encoded.GetDataSize(), back, url, false) &&
                        back.GetDataSize() == inSize &&
                        (inSize == 0 || std::memcmp(back.GetDataPtr(), inData, inSize) == 0),
                    "encoded input decodes back");

        VString text = fuzz::UnitsOf(inData, inSize);
        Base64Coder::Buffer fromString;
        text.DecodeBase64(fromString, url);
        VString copy(text);
        copy.DecodeBase64(VTC_UTF_8, url);
    }
    return 0;
}
