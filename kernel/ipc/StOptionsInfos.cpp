#include "kernel/ipc/StOptionsInfos.h"

#include "kernel/ipc/VCommandLineParser.h"
#include "kernel/ipc/VOptionBase.h"
#include "kernel/json/VJSONArray.h"
#include "kernel/json/VJSONObject.h"
#include "kernel/json/VJSONValue.h"
#include "kernel/json/VJSONWriter.h"
#include "kernel/values/VRefPtr.h"
#include "platform/mac/ipc/XPosixCommandLine.h"

namespace kova::Private::CommandLineParser
{

namespace
{

// Help page layout: descriptions start at these columns and wrap at these widths.
constexpr int32_t kDescriptionColumn = 29;
constexpr int32_t kLetterDescriptionColumn = 24;
constexpr int32_t kDescriptionWidth = 50;
constexpr int32_t kParagraphWidth = 80;

constexpr const char* kOptionColour = "\033[0;32m";
constexpr const char* kParagraphColour = "\033[0;33m";
constexpr const char* kResetColour = "\033[0m";

constexpr bool IsLineEnd(UniChar inUnit)
{
    return inUnit == u'\r' || inUnit == u'\n';
}

VString WithoutTabs(const VString& inText)
{
    VString text(inText);
    if (text.FindUniChar(u'\t') > 0)
        text.ExchangeRawString(VString(u"\t"), VString());
    return text;
}

void AppendBlanks(VString& ioText, int32_t inCount)
{
    for (int32_t i = 0; i < inCount; ++i)
        ioText.AppendUniChar(u' ');
}

// Appends the text in lines of at most inWidth units, each line after the first on a new line
// after inIndent blanks. A line end in the text always breaks; otherwise a line breaks after its
// last "." or at its last blank (which is dropped), and a word longer than a line is cut.
void AppendWrapped(VString& ioPage, const VString& inText, int32_t inWidth, int32_t inIndent)
{
    const UniChar* units = inText.GetCPointer();
    const int32_t length = inText.GetLength();
    int32_t start = 0;
    for (;;)
    {
        int32_t end = start;
        while (end < length && end - start < inWidth && !IsLineEnd(units[end]))
            ++end;
        int32_t next = end;
        const bool atLineEnd = end < length && IsLineEnd(units[end]);
        if (atLineEnd)
        {
            next = end + (units[end] == u'\r' && end + 1 < length && units[end + 1] == u'\n' ? 2 : 1);
        }
        else if (end < length)
        {
            // A full line: back to its last break; a blank just past it breaks it as it is.
            int32_t at = end;
            for (; at > start; --at)
            {
                if (units[at] == u' ')
                {
                    end = at;
                    next = at + 1;
                    break;
                }
                if (units[at - 1] == u'.')
                {
                    end = at;
                    next = at;
                    break;
                }
            }
            // No break: the word is cut, never inside a surrogate pair.
            if (at == start)
            {
                if (end - start > 1 && units[end - 1] >= 0xD800 && units[end - 1] < 0xDC00)
                    --end;
                next = end;
            }
        }
        ioPage.AppendUniChars(units + start, end - start);
        if (next >= length && !atLineEnd)
            break;
        ioPage.AppendUniChar(u'\n');
        AppendBlanks(ioPage, inIndent);
        start = next;
    }
}

// Text for roff: a backslash is escaped and a line that begins with a control character is
// protected, so that no text becomes a request.
void AppendRoffText(VString& ioText, const VString& inText, bool inInQuotes)
{
    const UniChar* units = inText.GetCPointer();
    const int32_t length = inText.GetLength();
    bool lineStart = true;
    for (int32_t i = 0; i < length; ++i)
    {
        const UniChar unit = units[i];
        if (unit == u'\t')
            continue;
        if (IsLineEnd(unit))
        {
            // A quoted argument cannot span lines.
            if (inInQuotes)
                ioText.AppendUniChar(u' ');
            else if (!(unit == u'\n' && i > 0 && units[i - 1] == u'\r'))
                ioText.AppendUniChar(u'\n');
            lineStart = !inInQuotes;
            continue;
        }
        if (lineStart && (unit == u'.' || unit == u'\''))
            ioText.AppendCString("\\&");
        lineStart = false;
        if (unit == u'\\')
            ioText.AppendCString("\\e");
        else if (unit == u'"' && inInQuotes)
            ioText.AppendCString("\\(dq");
        else
            ioText.AppendUniChar(unit);
    }
}

VJSONValue CountedValues(VJSONArray* inValues)
{
    VRefPtr<VJSONObject> object(new VJSONObject);
    object->SetProperty(VString("count"), VJSONValue(double(inValues->GetCount())));
    object->SetProperty(VString("values"), VJSONValue(inValues));
    return VJSONValue(object.Get());
}

} // namespace

size_t StOptionsInfos::LongNameHash::operator()(std::u16string_view inName) const
{
    size_t hash = 0;
    for (char16_t unit : inName)
        hash = hash * 0x1003F + unit;
    return hash;
}

StOptionsInfos::StOptionsInfos(const std::vector<VString>& inArguments)
    : fArguments(&inArguments), fHasArguments(inArguments.size() >= 2)
{
    fShortOptions.max_load_factor(1.0f);
    fLongOptions.max_load_factor(1.0f);
}

StOptionsInfos::~StOptionsInfos()
{
    Clear();
}

void StOptionsInfos::Clear()
{
    delete fSink;
    fSink = nullptr;
    for (VOptionBase* option : fHelpEntries)
        delete option;
    fHelpEntries.clear();
    fShortOptions.clear();
    fLongOptions.clear();
}

bool StOptionsInfos::RegisterOption(bool inRequiresValue, VOptionBase* inOption)
{
    if (inOption == nullptr)
        return false;
    if (!VCommandLineParser::ValidateShortOptionName(inOption->GetShortName()) ||
        !VCommandLineParser::ValidateLongOptionName(inOption->GetLongName()))
    {
        delete inOption;
        return false;
    }
    const Entry entry{inOption, inRequiresValue};
    if (inOption->HasShortName())
        fShortOptions[inOption->GetShortName()] = entry;
    if (inOption->HasLongName())
        fLongOptions.insert_or_assign(inOption->GetLongName(), entry);
    fHelpEntries.push_back(inOption);
    return true;
}

void StOptionsInfos::SetPositionalSink(VOptionBase* inSink)
{
    if (inSink == fSink)
        return;
    delete fSink;
    fSink = inSink;
}

const StOptionsInfos::Entry* StOptionsInfos::FindShortOption(UniChar inName) const
{
    auto found = fShortOptions.find(inName);
    return found != fShortOptions.end() ? &found->second : nullptr;
}

const StOptionsInfos::Entry* StOptionsInfos::FindLongOption(std::u16string_view inName) const
{
    auto found = fLongOptions.find(inName);
    return found != fLongOptions.end() ? &found->second : nullptr;
}

void StOptionsInfos::HelpUsage(const VString& inProgramName) const
{
    VString page;
    AppendHelpPage(inProgramName, XPosixCommandLine::IsStandardOutputTerminal(), page);
    VCommandLineParser::_Write(false, page, false);
}

void StOptionsInfos::AppendHelpPage(const VString& inProgramName, bool inColours, VString& ioPage) const
{
    ioPage.AppendCString("Usage: ").AppendString(inProgramName).AppendCString(" [OPTION]...");
    if (fSink != nullptr)
        ioPage.AppendCString(" [FILE]...");
    ioPage.AppendUniChar(u'\n');
    for (const VOptionBase* entry : fHelpEntries)
    {
        if (entry->IsHidden())
            continue;
        if (!entry->IsParagraph())
            ioPage.AppendUniChar(u'\n');
        break;
    }

    for (const VOptionBase* entry : fHelpEntries)
    {
        if (entry->IsHidden())
            continue;
        if (!entry->IsParagraph())
        {
            _AppendOptionLine(*entry, inColours, ioPage);
            continue;
        }
        if (inColours)
            ioPage.AppendCString(kParagraphColour);
        const VString text = WithoutTabs(entry->GetHelp());
        if (!text.IsEmpty())
            AppendWrapped(ioPage, text, kParagraphWidth, 0);
        if (inColours)
            ioPage.AppendCString(kResetColour);
        ioPage.AppendUniChar(u'\n');
    }

    if (FindLongOption(u"help") == nullptr)
    {
        const UniChar letter = FindShortOption(u'h') == nullptr ? u'h' : 0;
        const VOptionBase help(letter, VString("help"), VString("Display the help and exit"), false);
        _AppendOptionLine(help, inColours, ioPage);
    }
}

void StOptionsInfos::_AppendOptionLine(const VOptionBase& inOption, bool inColours, VString& ioPage) const
{
    VString names;
    if (inOption.HasShortName())
    {
        names.AppendCString("  -").AppendUniChar(inOption.GetShortName());
        if (inOption.HasLongName())
            names.AppendCString(", --").AppendString(inOption.GetLongName());
    }
    else
    {
        names.AppendCString("      --").AppendString(inOption.GetLongName());
    }
    if (inOption.TakesValue())
        names.AppendCString(inOption.HasLongName() ? "=VALUE" : " VALUE");

    if (inColours)
        ioPage.AppendCString(kOptionColour);
    ioPage.AppendString(names);
    if (inColours)
        ioPage.AppendCString(kResetColour);

    const VString help = WithoutTabs(inOption.GetHelp());
    if (!help.IsEmpty())
    {
        const int32_t column = inOption.HasLongName() ? kDescriptionColumn : kLetterDescriptionColumn;
        if (names.GetLength() >= column)
        {
            ioPage.AppendUniChar(u'\n');
            AppendBlanks(ioPage, column);
        }
        else
        {
            AppendBlanks(ioPage, column - names.GetLength());
        }
        AppendWrapped(ioPage, help, kDescriptionWidth, kDescriptionColumn);
    }
    ioPage.AppendUniChar(u'\n');
}

void StOptionsInfos::ExportAsManPage(VString& ioText) const
{
    ioText.AppendCString(".SH OPTIONS\n");
    for (const VOptionBase* entry : fHelpEntries)
    {
        if (entry->IsHidden())
            continue;
        if (entry->IsParagraph())
        {
            ioText.AppendCString(".SS \"");
            AppendRoffText(ioText, entry->GetHelp(), true);
            ioText.AppendCString("\"\n");
            continue;
        }
        ioText.AppendCString(".TP\n.BR ");
        if (entry->HasShortName())
        {
            ioText.AppendCString("\\-").AppendUniChar(entry->GetShortName());
            if (entry->HasLongName())
                ioText.AppendCString(" \", \" ");
            else if (entry->TakesValue())
                ioText.AppendCString(" \\fIVALUE\\fR");
        }
        if (entry->HasLongName())
        {
            ioText.AppendCString("\\-\\-").AppendString(entry->GetLongName());
            if (entry->TakesValue())
                ioText.AppendCString("=\\fIVALUE\\fR");
        }
        ioText.AppendUniChar(u'\n');
        AppendRoffText(ioText, entry->GetHelp(), false);
        ioText.AppendUniChar(u'\n');
    }
}

void StOptionsInfos::ExportAsJSON(VString& ioText) const
{
    VRefPtr<VJSONArray> arguments(new VJSONArray);
    for (const VString& argument : *fArguments)
        arguments->Push(VJSONValue(argument));

    VRefPtr<VJSONArray> options(new VJSONArray);
    for (const VOptionBase* entry : fHelpEntries)
    {
        VRefPtr<VJSONObject> option(new VJSONObject);
        if (entry->HasShortName())
            option->SetProperty(VString("shortName"), VJSONValue(VString(entry->GetShortName())));
        else if (entry->IsParagraph())
            option->SetProperty(VString("paragraph"), VJSONValue(entry->GetHelp()));
        if (entry->HasLongName())
            option->SetProperty(VString("longName"), VJSONValue(entry->GetLongName()));
        if (entry->TakesValue())
        {
            VJSONValue yes;
            yes.SetBool(true);
            option->SetProperty(VString("requiresValue"), yes);
        }
        option->SetProperty(VString("description"), VJSONValue(entry->GetHelp()));
        options->Push(VJSONValue(option.Get()));
    }

    VRefPtr<VJSONObject> root(new VJSONObject);
    root->SetProperty(VString("arguments"), CountedValues(arguments.Get()));
    root->SetProperty(VString("options"), CountedValues(options.Get()));
    VString text;
    VJSONValue(root.Get()).Stringify(text, VJSONWriter::kQuoted | VJSONWriter::kIndented);
    ioText.AppendString(text).AppendUniChar(u'\n');
}

} // namespace kova::Private::CommandLineParser
