#include "kernel/ipc/VCommandLineParser.h"

#include "kernel/text/StStringConverter.h"
#include "platform/mac/ipc/XPosixCommandLine.h"

#include <cstdio>
#include <string>
#include <string_view>

namespace kova
{

using Private::CommandLineParser::StOptionsInfos;
using Private::CommandLineParser::VOptionBase;

namespace
{

std::u16string_view View(const VString& inText)
{
    return std::u16string_view(reinterpret_cast<const char16_t*>(inText.GetCPointer()),
                               size_t(inText.GetLength()));
}

// The names the system adds to the arguments of an application, each followed by its value.
constexpr std::u16string_view kSystemArguments[] = {u"-ApplePersistenceIgnoreState",
                                                    u"-NSDocumentRevisionsDebugMode"};

// One run of Parse: where values may still be taken from, and where the options end.
class StParse
{
public:
    StParse(VCommandLineParser& ioParser, const StOptionsInfos& inInfos)
        : fParser(ioParser), fInfos(inInfos), fArguments(inInfos.GetArguments()),
          fOptionsEnd(fArguments.size())
    {
    }

    int32_t Run()
    {
        for (size_t index = 1; index < fArguments.size(); ++index)
        {
            // The "--" that ended the options.
            if (index == fOptionsEnd)
                continue;
            const int32_t result = IsOptionCandidate(index) ? _Option(index) : _Positional(index);
            if (result != 0)
                return result;
        }
        return 0;
    }

private:
    // A negative number ("-5") is a value unless its digit is a short option: "--pid -5" reads
    // -5, not the next argument.
    bool IsOptionCandidate(size_t inIndex) const
    {
        const VString& argument = fArguments[inIndex];
        if (inIndex >= fOptionsEnd || argument.GetLength() == 0 || argument.GetCPointer()[0] != u'-')
            return false;
        const UniChar second = argument.GetLength() > 1 ? argument.GetCPointer()[1] : 0;
        return second < u'0' || second > u'9' || fInfos.FindShortOption(second) != nullptr;
    }

    static bool IsEndOfOptions(const VString& inArgument) { return View(inArgument) == u"--"; }

    int32_t _Positional(size_t inIndex)
    {
        // Taken before as the value of an option.
        if (inIndex < fNextFree)
            return 0;
        fNextFree = inIndex + 1;
        VOptionBase* sink = fInfos.GetPositionalSink();
        if (sink == nullptr)
            return _Unknown(View(fArguments[inIndex]));
        return _HandValue(*sink, VString(), fArguments[inIndex]);
    }

    int32_t _Option(size_t inIndex)
    {
        const VString& argument = fArguments[inIndex];
        const std::u16string_view text = View(argument);
        if (text == u"--")
        {
            fOptionsEnd = inIndex;
            return 0;
        }
        if (text.size() >= 2 && text[1] == u'-')
            return _LongOption(text.substr(2));
        for (std::u16string_view name : kSystemArguments)
        {
            if (text == name)
            {
                _TakeValue();
                return 0;
            }
        }
        if (text.size() == 1)
            return _Error("error: missing short option `", text);
        for (size_t at = 1; at < text.size(); ++at)
        {
            size_t units = 1;
            if (text[at] >= 0xD800 && text[at] < 0xDC00 && at + 1 < text.size() && text[at + 1] >= 0xDC00 &&
                text[at + 1] < 0xE000)
                units = 2;
            const StOptionsInfos::Entry* entry = units == 1 ? fInfos.FindShortOption(text[at]) : nullptr;
            if (entry == nullptr)
            {
                if (text[at] == u'h' || text[at] == u'?')
                    return _Help();
                return _Unknown(text.substr(at, units));
            }
            const int32_t result = _Apply(*entry, VString(text[at]));
            if (result != 0)
                return result;
            at += units - 1;
        }
        return 0;
    }

    int32_t _LongOption(std::u16string_view inText)
    {
        const size_t equals = inText.find(u'=');
        const std::u16string_view name = inText.substr(0, equals);
        const StOptionsInfos::Entry* entry = fInfos.FindLongOption(name);
        if (equals == std::u16string_view::npos)
        {
            if (entry != nullptr)
                return _Apply(*entry, Text(name));
            if (name == u"help")
                return _Help();
            return _Unknown(name);
        }
        if (entry == nullptr)
        {
            if (name == u"help")
                return _Error("error: invalid value for option  `", name);
            return _Unknown(name);
        }
        if (!entry->fRequiresValue)
        {
            VString line("error: a value for option `");
            line.AppendString(Text(name)).AppendCString("` is not required");
            VCommandLineParser::PrintArgumentError(line);
            return 1;
        }
        return _HandValue(*entry->fOption, Text(name), Text(inText.substr(equals + 1)));
    }

    // A flag is set; an option that takes a value takes the next free one.
    int32_t _Apply(const StOptionsInfos::Entry& inEntry, const VString& inName)
    {
        if (!inEntry.fRequiresValue)
        {
            inEntry.fOption->SetFlag();
            return 0;
        }
        const size_t value = _TakeValue();
        if (value == kNone)
        {
            VString line("error: missing value for option ");
            inEntry.fOption->AppendFullName(line);
            VCommandLineParser::PrintArgumentError(line);
            return 1;
        }
        return _HandValue(*inEntry.fOption, inName, fArguments[value]);
    }

    // The first argument from the next free one on that is no option, stepping over a "--" (which
    // ends the options from there on). Each argument is looked at once in the whole parse.
    size_t _TakeValue()
    {
        for (size_t index = fNextFree; index < fArguments.size(); ++index)
        {
            if (index == fOptionsEnd)
                continue;
            if (IsOptionCandidate(index))
            {
                if (IsEndOfOptions(fArguments[index]))
                    fOptionsEnd = index;
                continue;
            }
            fNextFree = index + 1;
            return index;
        }
        fNextFree = fArguments.size();
        return kNone;
    }

    int32_t _HandValue(VOptionBase& ioOption, const VString& inName, const VString& inValue)
    {
        const VString* value = &inValue;
        if (fInfos.ReadsValuesFromStandardInput() && View(inValue) == u"-")
        {
            if (!fInputRead)
            {
                if (!XPosixCommandLine::ReadStandardInput(fInput))
                    return _Error("error: failed to read from stdin for option `", View(inName));
                fInputRead = true;
            }
            value = &fInput;
        }
        const int32_t result = ioOption.AppendArgument(fParser, *value);
        if (result == 0)
            return 0;
        if (result == 2)
            return _Help();
        return 1;
    }

    int32_t _Help()
    {
        fParser.HelpUsage();
        return 2;
    }

    int32_t _Unknown(std::u16string_view inName) { return _Error("error: unknown option `", inName); }

    // The line made of the lead, the name and a backquote; 1.
    static int32_t _Error(const char* inLead, std::u16string_view inName)
    {
        VString line(inLead);
        line.AppendString(Text(inName)).AppendUniChar(u'`');
        VCommandLineParser::PrintArgumentError(line);
        return 1;
    }

    static VString Text(std::u16string_view inUnits)
    {
        VString text;
        text.AppendUniChars(reinterpret_cast<const UniChar*>(inUnits.data()), int32_t(inUnits.size()));
        return text;
    }

    static constexpr size_t kNone = size_t(-1);

    VCommandLineParser& fParser;
    const StOptionsInfos& fInfos;
    const std::vector<VString>& fArguments;
    // Arguments before it were taken as values, or are options.
    size_t fNextFree = 1;
    // The index of the "--" that ends the options; the vector's size while none did.
    size_t fOptionsEnd;
    bool fInputRead = false;
    VString fInput;
};

} // namespace

VCommandLineParser::VCommandLineParser(const std::vector<VString>& inArguments) : fInfos(inArguments) {}

VCommandLineParser::~VCommandLineParser() = default;

void VCommandLineParser::Clear()
{
    fInfos.Clear();
}

VCommandLineParser::VOptionBase* VCommandLineParser::_Register(bool inRequiresValue, VOptionBase* inOption)
{
    return fInfos.RegisterOption(inRequiresValue, inOption) ? inOption : nullptr;
}

void VCommandLineParser::AddParagraph(const VString& inText)
{
    if (fInfos.CollectsHelp())
        fInfos.RegisterOption(false, new (std::nothrow) VOptionBase(0, VString(), inText, false));
}

int32_t VCommandLineParser::Parse()
{
    if (!fInfos.HasArguments())
        return 0;
    return StParse(*this, fInfos).Run();
}

void VCommandLineParser::_Write(bool inToStandardError, const VString& inText, bool inLineEnd)
{
    std::string bytes = to_string(inText);
    if (inLineEnd)
        bytes.push_back('\n');
    std::FILE* stream = inToStandardError ? stderr : stdout;
    std::fwrite(bytes.data(), 1, bytes.size(), stream);
    std::fflush(stream);
}

void VCommandLineParser::Print(const VString& inText)
{
    _Write(false, inText, true);
}

bool VCommandLineParser::PrintArgumentError(const VString& inText)
{
    _Write(true, inText, true);
    return true;
}

void VCommandLineParser::HelpUsage() const
{
    const std::vector<VString>& arguments = fInfos.GetArguments();
    fInfos.HelpUsage(arguments.empty() ? VString() : arguments[0]);
}

void VCommandLineParser::ExportAsManPage(VString* ioText) const
{
    if (ioText != nullptr)
        fInfos.ExportAsManPage(*ioText);
}

void VCommandLineParser::ExportAsJSON(VString* ioText) const
{
    if (ioText != nullptr)
        fInfos.ExportAsJSON(*ioText);
}

void VCommandLineParser::PrintAllArguments(bool inToStandardError) const
{
    VString text;
    fInfos.ExportAsJSON(text);
    _Write(inToStandardError, text, true);
}

bool VCommandLineParser::ValidateLongOptionName(const VString& inName)
{
    const int32_t length = inName.GetLength();
    if (length == 0)
        return true;
    if (length == 1)
        return false;
    const UniChar* units = inName.GetCPointer();
    if (units[0] == u'-' || units[length - 1] == u'-')
        return false;
    for (int32_t i = 0; i < length; ++i)
    {
        const UniChar unit = units[i];
        if (!((unit >= u'0' && unit <= u'9') || (unit >= u'a' && unit <= u'z') || unit == u'-'))
            return false;
    }
    return true;
}

bool VCommandLineParser::ValidateShortOptionName(UniChar inName)
{
    return inName == 0 || inName == u' ' || (inName >= u'a' && inName <= u'z') ||
           (inName >= u'A' && inName <= u'Z') || (inName >= u'0' && inName <= u'9');
}

} // namespace kova
