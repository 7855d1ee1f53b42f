#include "platform/mac/frameworks/CFString.h"

#include <unicode/stringoptions.h>
#include <unicode/ustring.h>

#include <string>

namespace kova::cf
{

namespace
{

std::u16string ToUTF16(std::string_view text)
{
    std::u16string out;
    if (text.empty() || text.size() > size_t(INT32_MAX))
        return out;
    out.resize(text.size());
    int32_t length = 0;
    UErrorCode status = U_ZERO_ERROR;
    u_strFromUTF8WithSub(out.data(), int32_t(out.size()), &length, text.data(), int32_t(text.size()), 0xFFFD,
                         nullptr, &status);
    out.resize(U_SUCCESS(status) ? size_t(length) : 0);
    return out;
}

} // namespace

int32_t StringCompare(std::string_view first, std::string_view second, uint32_t flags)
{
    std::u16string a = ToUTF16(first);
    std::u16string b = ToUTF16(second);
    int32_t order;
    if ((flags & kCompareCaseInsensitive) != 0)
    {
        UErrorCode status = U_ZERO_ERROR;
        order = u_strCaseCompare(a.data(), int32_t(a.size()), b.data(), int32_t(b.size()),
                                 U_FOLD_CASE_DEFAULT | U_COMPARE_CODE_POINT_ORDER, &status);
    }
    else
    {
        order = u_strCompare(a.data(), int32_t(a.size()), b.data(), int32_t(b.size()), true);
    }
    return order < 0 ? -1 : order > 0 ? 1 : 0;
}

} // namespace kova::cf
