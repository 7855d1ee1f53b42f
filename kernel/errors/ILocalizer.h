// ILocalizer turns error codes into texts in the user's language. The localization manager
// implements it and registers itself with VErrorBase::RegisterLocalizer for each component
// signature whose messages it holds; an error asks the localizer of its own component.
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

protected:
    // Registration does not own a localizer: it is never deleted through this interface.
    ~ILocalizer() = default;
};

} // namespace kova
