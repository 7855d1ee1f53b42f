// VArgOption<T> is an option bound to a variable of the caller's (not owned): a value given on the
// command line goes through the converter Argument<T> into the variable, and the option given as a
// flag stores the converter's flag value. A rejected value prints its line on standard error.
//
//     int pid = -1;
//     parser.AddOption(0, VString("pid"), VString("Wait for the caller's pid"), &pid);
#pragma once

#include "kernel/ipc/CommandLineArgument.h"
#include "kernel/ipc/VOptionBase.h"

namespace kova::Private::CommandLineParser
{

template <class T>
class VArgOption : public VOptionBase
{
public:
    VArgOption(UniChar inShortName, const VString& inLongName, const VString& inHelp, bool inTakesValue,
               T* inVariable)
        : VOptionBase(inShortName, inLongName, inHelp, inTakesValue), fVariable(inVariable)
    {
    }

    int32_t AppendArgument(VCommandLineParser&, const VString& inValue) override
    {
        using Converter = Extension::CommandLineParser::Argument<T>;
        if (fVariable == nullptr)
            return 1;
        if (Converter::Append(*fVariable, inValue))
            return 0;
        PrintErrorWhenAppendingInvalidValue(VString(Converter::InvalidReason(*fVariable)), inValue);
        return 1;
    }

    void SetFlag() override
    {
        if (fVariable != nullptr)
            Extension::CommandLineParser::Argument<T>::SetFlag(*fVariable);
    }

private:
    T* fVariable;
};

} // namespace kova::Private::CommandLineParser
