// The code pages through the platform converters: the first byte picks a set and the second the
// size of the pieces. Decoding in pieces gives what decoding the whole gives, the sets with shift
// states included; encoding any units into the set ends, whatever it finds.
#include "fuzz/FuzzSetup.h"

#include "kernel/text/StStringConverter.h"
#include "kernel/text/VTextConverters.h"
#include "kernel/text/VToUnicodeConverter.h"
#include "kernel/values/VMemoryBuffer.h"
#include "kernel/values/VRefPtr.h"

#include <algorithm>
#include <string>

using namespace kova;

namespace
{

constexpr CharSet kSets[] = {VTC_Jis,        VTC_UTF_7,     VTC_ShiftJIS,        VTC_Korean_EUC, VTC_Big5,
                             VTC_Win32Ansi,  VTC_MacOSAnsi, VTC_ISO_8859_1,      VTC_KOI8R,      VTC_US_ASCII,
                             VTC_EBCDIC_037, VTC_UTF_32,    VTC_UTF_16_BIGENDIAN};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* inData, size_t inSize)
{
    if (inSize < 2)
        return 0;
    const CharSet charSet = kSets[inData[0] % std::size(kSets)];
    const size_t piece = 1 + inData[1] % 9;
    const uint8_t* bytes = inData + 2;
    const size_t size = inSize - 2;

    VString whole;
    VTextConverters::Get()->ConvertToVString(bytes, size, charSet, whole);
    VRefPtr<VToUnicodeConverter> decoder(VTextConverters::Get()->RetainToUnicodeConverter(charSet));
    VString pieces;
    std::string unread;
    // A set may refuse the bytes (UTF-32 surrogates): nothing to compare then.
    if (!fuzz::DecodeInPieces(*decoder, bytes, size, piece, pieces, unread))
        return 0;
    fuzz::Check(fuzz::Units(pieces) == fuzz::Units(whole), "pieces decode as the whole");

    // The bytes read as UTF-16 units, encoded into the set: it ends.
    const VString units = fuzz::UnitsOf(bytes, size);
    VMemoryBuffer<1024ul, 2ul, 1048576ul> encoded;
    units.ToBuffer(encoded, charSet);
    char small[7];
    units.ToBlock(small, sizeof(small), charSet, true, true);
    StStringConverter<char> scope(units, charSet, eCRM_CRLF);
    return 0;
}
