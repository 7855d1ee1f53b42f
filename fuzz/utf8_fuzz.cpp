// UTF-8 decoding and encoding: a whole buffer consumes every byte and gives no more units than
// bytes; the same bytes given in pieces give the same units; encoding the units and decoding them
// again gives them back.
#include "fuzz/FuzzSetup.h"

#include "kernel/text/StStringConverter.h"
#include "kernel/text/VTextConverters.h"
#include "kernel/text/VToUnicodeConverter.h"
#include "kernel/values/VMemoryBuffer.h"
#include "kernel/values/VRefPtr.h"

#include <algorithm>
#include <string>

using namespace kova;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* inData, size_t inSize)
{
    VString whole;
    fuzz::Check(whole.FromBlock(inData, inSize, VTC_UTF_8) == inSize, "every byte consumed");
    fuzz::Check(size_t(whole.GetLength()) <= inSize, "no more units than bytes");

    // In pieces through one converter, as a stream reads.
    const size_t piece = inSize == 0 ? 1 : 1 + inData[0] % 7;
    VRefPtr<VToUnicodeConverter> decoder(VTextConverters::Get()->RetainToUnicodeConverter(VTC_UTF_8));
    VString pieces;
    std::string unread;
    fuzz::DecodeInPieces(*decoder, inData, inSize, piece, pieces, unread);
    fuzz::Check(unread.empty() && fuzz::Units(pieces) == fuzz::Units(whole), "pieces decode as the whole");

    VMemoryBuffer<1024ul, 2ul, 1048576ul> bytes;
    fuzz::Check(whole.ToBuffer(bytes, VTC_UTF_8), "the units encode");
    const VString again(bytes.GetDataPtr(), bytes.GetDataSize(), VTC_UTF_8);
    fuzz::Check(fuzz::Units(again) == fuzz::Units(whole), "encoded units decode back");
    const std::string utf8 = to_string(whole);
    fuzz::Check(utf8.size() == bytes.GetDataSize() &&
                    std::equal(utf8.begin(), utf8.end(), static_cast<const char*>(bytes.GetDataPtr())),
                "every encoder gives the same bytes");
    return 0;
}
