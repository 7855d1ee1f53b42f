// ILocalizer gives the texts of one language by key: the texts of error codes, of resource names
// and of the keys of .strings files, and groups of texts kept whole as value bags. The
// localization manager implements it: it registers itself with VErrorBase::RegisterLocalizer for
// each component signature whose messages it holds (an error asks the localizer of its own
// component), and the program makes it the process object's localizer (VProcess::SetLocalizer),
// which LocalizeString asks.
#pragma once

#include "kernel/values/KovaTypes.h"

#include <cstdint>

namespace kova
{

class VString;
class VValueBag;

class ILocalizer
{
public:
    // The dialect code of the texts.
    virtual uint32_t GetLocalizationLanguage() = 0;
    // True, with outMessage set, when there is a text for the code. The text may hold
    // placeholders in braces that name the error's parameters ("{path}").
    virtual bool LocalizeErrorMessage(VError inError, VString& outMessage) = 0;
    // True, with outText set, when the key has a text; outText is untouched otherwise.
    virtual bool LocalizeStringWithKey(const VString& inKey, VString& outText) = 0;
    virtual bool LocalizeStringWithDotStringsKey(const VString& inKey, VString& outText) = 0;
    // The group of texts of that name, retained; null when there is none.
    virtual const VValueBag* RetainGroupBag(const VString& inGroupName) = 0;

protected:
    // Registration does not own a localizer: it is never deleted through this interface.
    ~ILocalizer() = default;
};

// The process localizer's text for the key; without one, or when it has none, inDefault read as
// UTF-8 (empty for null).
VString LocalizeString(const VString& inKey, const char* inDefault);

} // namespace kova
