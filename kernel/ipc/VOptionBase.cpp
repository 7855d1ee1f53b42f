#include "kernel/ipc/VOptionBase.h"

#include "kernel/ipc/VCommandLineParser.h"

namespace kova::Private::CommandLineParser
{

namespace
{

// A longer rejected value is shown cut, so that one line stays readable.
constexpr int32_t kShownValueLength = 80;

} // namespace

VOptionBase::VOptionBase(UniChar inShortName, const VString& inLongName, const VString& inHelp,
                         bool inTakesValue)
    : fShortName(inShortName == u' ' ? 0 : inShortName), fLongName(inLongName), fHelp(inHelp),
      fTakesValue(inTakesValue)
{
}

VOptionBase::~VOptionBase() = default;

int32_t VOptionBase::AppendArgument(VCommandLineParser&, const VString&)
{
    return 1;
}

void VOptionBase::SetFlag() {}

bool VOptionBase::AppendFullName(VString& ioText) const
{
    if (HasShortName())
    {
        ioText.AppendUniChar(u'-').AppendUniChar(fShortName);
        if (HasLongName())
            ioText.AppendCString(", --").AppendString(fLongName);
        return true;
    }
    if (!HasLongName())
        return false;
    ioText.AppendCString("--").AppendString(fLongName);
    return true;
}

void VOptionBase::PrintErrorWhenAppendingInvalidValue(const VString& inReason, const VString& inValue) const
{
    VString line("invalid value for argument '");
    if (!AppendFullName(line))
        line.AppendCString("<anonymous>");
    line.AppendCString("' got ");
    if (inValue.IsEmpty())
    {
        line.AppendCString("empty value ");
    }
    else if (inValue.GetLength() > kShownValueLength)
    {
        VString shown(inValue);
        shown.Truncate(kShownValueLength, true);
        line.AppendUniChar(u'"').AppendString(shown).AppendCString("...\" ");
    }
    else
    {
        line.AppendUniChar(u'"').AppendString(inValue).AppendCString("\" ");
    }
    line.AppendString(inReason);
    VCommandLineParser::PrintArgumentError(line);
}

} // namespace kova::Private::CommandLineParser
