#include "kernel/text/VCollator_system.h"

#include "kernel/tasks/VSystem.h"
#include "kernel/text/VIntlMgr.h"
#include "kernel/text/VString.h"
#include "platform/mac/text/XMacIntlMgr.h"

#include <new>
#include <utility>

namespace kova
{

namespace
{

int32_t UsableLength(const UniChar* inText, int32_t inLength)
{
    return inText == nullptr || inLength < 0 ? 0 : inLength;
}

} // namespace

VCollator_system* VCollator_system::Create(uint32_t inDialect, VIntlMgr* inManager)
{
    std::shared_ptr<const cf::Locale> locale = inManager != nullptr
                                                   ? inManager->GetMacIntlMgr().RetainCFLocaleRef()
                                                   : XMacIntlMgr::CreateCFLocaleRef(inDialect);
    if (locale == nullptr)
        return nullptr;
    return new (std::nothrow) VCollator_system(inDialect, std::move(locale));
}

VCollator_system::VCollator_system(uint32_t inDialect, std::shared_ptr<const cf::Locale> inLocale)
    : VCollator(inDialect), fCompare(std::move(inLocale))
{
}

VCollator_system::~VCollator_system() = default;

int32_t VCollator_system::CompareString(const UniChar* inText1, int32_t inLength1, const UniChar* inText2,
                                        int32_t inLength2, bool inStrict) const
{
    inLength1 = UsableLength(inText1, inLength1);
    inLength2 = UsableLength(inText2, inLength2);
    if (inLength1 == 0)
        return inLength2 == 0 ? 0 : -1;
    if (inLength2 == 0)
        return 1;
    return fCompare.CompareString(inText1, inLength1, inText2, inLength2, inStrict);
}

bool VCollator_system::EqualString(const UniChar* inText1, int32_t inLength1, const UniChar* inText2,
                                   int32_t inLength2, bool inStrict) const
{
    return fCompare.CompareString(inText1, inLength1, inText2, inLength2, inStrict) == 0;
}

int32_t VCollator_system::FindString(const UniChar* inText, int32_t inLength, const UniChar* inPattern,
                                     int32_t inPatternLength, bool inStrict, int32_t* outMatchedLength) const
{
    inLength = UsableLength(inText, inLength);
    inPatternLength = UsableLength(inPattern, inPatternLength);
    if (inLength == 0 || inPatternLength == 0)
    {
        if (outMatchedLength != nullptr)
            *outMatchedLength = 0;
        return inPatternLength == 0 && inLength != 0 ? 1 : 0;
    }
    return fCompare.FindString(inText, inLength, inPattern, inPatternLength, inStrict, outMatchedLength);
}

int32_t VCollator_system::ReversedFindString(const UniChar* inText, int32_t inLength,
                                             const UniChar* inPattern, int32_t inPatternLength, bool inStrict,
                                             int32_t* outMatchedLength) const
{
    inLength = UsableLength(inText, inLength);
    inPatternLength = UsableLength(inPattern, inPatternLength);
    if (inLength == 0 || inPatternLength == 0)
        return FindString(inText, inLength, inPattern, inPatternLength, inStrict, outMatchedLength);
    return _FindLastOccurrence(inText, inLength, inPattern, inPatternLength, inStrict, outMatchedLength);
}

VCollator* VCollator_system::Clone() const
{
    return new (std::nothrow) VCollator_system(*this);
}

void VCollator_system::GetStringComparisonAlgorithmSignature(VString& outSignature) const
{
    VString version;
    VSystem::GetOSVersionString(version);
    outSignature.FromString(VString("system:"));
    outSignature.AppendString(version);
}

} // namespace kova
