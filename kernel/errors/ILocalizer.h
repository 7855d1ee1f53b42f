// ILocalizer turns keys and error codes into texts in the user's language. The localization
// manager implements it: it registers itself with VErrorBase::RegisterLocalizer for each component
// signature whose messages it holds (an error asks the localizer of its own component), and the
// program makes it the process object's localizer (VProcess::SetLocalizer), which LocalizeString
// asks.
#pragma once

#include "kernel/values/KovaTypes.h"

namespace kova
{

class VString;

class ILocalizer
{
public:
    // True, with outMessage set, when there is a text for the code. The text may hold
    // placeholders in braces that name the error's parameters ("{path}").
    virtual bool LocalizeErrorMessage(VError inError, VString& outMessage) = 0;
    // True, with outText set, when there is a text for the key; otherwise outText is untouched.
    virtual bool LocalizeStringWithKey(const VString& inKey, VString& outText) = 0;

protected:
    // Registration does not own a localizer: it is never deleted through this interface.
    ~ILocalizer() = default;
};

// The process localizer's text for the key; without one, or when it has none, inDefault read as
// UTF-8 (empty for null).
VString LocalizeString(const VString& inKey, const char* inDefault);

} // namespace kova
