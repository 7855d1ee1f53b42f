// StOptionsInfos is what a command-line parser knows: its options by one-letter name and by long
// name, the sink that takes the positional arguments, the help entries in the order they were
// declared, and the argument vector it parses (not owned). It owns every entry, and writes them
// out as the help page, as a man-page section and as JSON.
#pragma once

#include "kernel/text/VString.h"

#include <cstddef>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace kova::Private::CommandLineParser
{

class VOptionBase;

class StOptionsInfos
{
public:
    // An option as the maps hold it.
    struct Entry
    {
        VOptionBase* fOption;
        bool fRequiresValue;
    };

    explicit StOptionsInfos(const std::vector<VString>& inArguments);
    ~StOptionsInfos();
    StOptionsInfos(const StOptionsInfos&) = delete;
    StOptionsInfos& operator=(const StOptionsInfos&) = delete;

    // Deletes the sink and every entry.
    void Clear();
    // Takes the option (deleted at once when a name is not valid, with false). A later option of
    // the same name takes the name over; both stay on the help page.
    bool RegisterOption(bool inRequiresValue, VOptionBase* inOption);
    // Takes the sink, deleting the one it replaces.
    void SetPositionalSink(VOptionBase* inSink);

    const Entry* FindShortOption(UniChar inName) const;
    const Entry* FindLongOption(std::u16string_view inName) const;
    VOptionBase* GetPositionalSink() const { return fSink; }
    const std::vector<VOptionBase*>& GetHelpEntries() const { return fHelpEntries; }
    const std::vector<VString>& GetArguments() const { return *fArguments; }
    bool HasArguments() const { return fHasArguments; }
    bool CollectsHelp() const { return fCollectsHelp; }
    bool ReadsValuesFromStandardInput() const { return fValuesFromStandardInput; }
    void SetValuesFromStandardInput(bool inRead) { fValuesFromStandardInput = inRead; }

    // The help page on standard output, in colour on a terminal.
    void HelpUsage(const VString& inProgramName) const;
    void AppendHelpPage(const VString& inProgramName, bool inColours, VString& ioPage) const;
    void ExportAsManPage(VString& ioText) const;
    void ExportAsJSON(VString& ioText) const;

private:
    // Long names compare exactly, and hash as h = h * 0x1003F + unit over their units.
    struct LongNameHash
    {
        using is_transparent = void;
        size_t operator()(std::u16string_view inName) const;
        size_t operator()(const VString& inName) const { return (*this)(View(inName)); }
    };
    struct LongNameEqual
    {
        using is_transparent = void;
        bool operator()(std::u16string_view inA, std::u16string_view inB) const { return inA == inB; }
        bool operator()(const VString& inA, std::u16string_view inB) const { return View(inA) == inB; }
        bool operator()(std::u16string_view inA, const VString& inB) const { return inA == View(inB); }
        bool operator()(const VString& inA, const VString& inB) const { return View(inA) == View(inB); }
    };
    static std::u16string_view View(const VString& inText)
    {
        return std::u16string_view(reinterpret_cast<const char16_t*>(inText.GetCPointer()),
                                   size_t(inText.GetLength()));
    }

    void _AppendOptionLine(const VOptionBase& inOption, bool inColours, VString& ioPage) const;

    std::unordered_map<UniChar, Entry> fShortOptions;
    std::unordered_map<VString, Entry, LongNameHash, LongNameEqual> fLongOptions;
    VOptionBase* fSink = nullptr;
    std::vector<VOptionBase*> fHelpEntries;
    const std::vector<VString>* fArguments;
    bool fHasArguments;
    bool fCollectsHelp = true;
    bool fValuesFromStandardInput = false;
};

} // namespace kova::Private::CommandLineParser
