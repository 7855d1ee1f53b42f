// VOptionBase is one entry of a command-line parser: an option, named by one letter, by a long name
// or by both, to which the parser hands values or which it sets as a flag; or, with neither name,
// a paragraph of free text on the help page. The base rejects every value and ignores flags;
// VArgOption<T> binds an option to a variable of the caller's. Once registered, an entry belongs
// to its parser.
#pragma once

#include "kernel/text/VString.h"
#include "kernel/values/KovaTypes.h"
#include "kernel/values/VObject.h"

#include <cstdint>

namespace kova
{

class VCommandLineParser;

namespace Private::CommandLineParser
{

class VOptionBase : public VObject
{
public:
    // A short name of 0 or a blank means none; an empty long name means none.
    VOptionBase(UniChar inShortName, const VString& inLongName, const VString& inHelp, bool inTakesValue);
    ~VOptionBase() override;
    VOptionBase(const VOptionBase&) = delete;
    VOptionBase& operator=(const VOptionBase&) = delete;

    // 0 accepted, 1 rejected (the option has printed why), 2 stop and show the help page.
    virtual int32_t AppendArgument(VCommandLineParser& ioParser, const VString& inValue);
    virtual void SetFlag();

    bool HasShortName() const { return fShortName != 0 && fShortName != u' '; }
    UniChar GetShortName() const { return fShortName; }
    bool HasLongName() const { return !fLongName.IsEmpty(); }
    const VString& GetLongName() const { return fLongName; }
    const VString& GetHelp() const { return fHelp; }
    bool TakesValue() const { return fTakesValue; }
    bool IsParagraph() const { return !HasShortName() && !HasLongName(); }
    // Hidden entries stay out of the help page and the man page.
    bool IsHidden() const { return fHidden; }
    void SetHidden(bool inHidden) { fHidden = inHidden; }

    // "-x, --name", "-x" or "--name"; false, nothing appended, for an entry without a name.
    bool AppendFullName(VString& ioText) const;
    // The line "invalid value for argument '<name>' got <value> <reason>" on standard error.
    void PrintErrorWhenAppendingInvalidValue(const VString& inReason, const VString& inValue) const;

private:
    UniChar fShortName;
    VString fLongName;
    VString fHelp;
    bool fTakesValue;
    bool fHidden = false;
};

} // namespace Private::CommandLineParser
} // namespace kova
