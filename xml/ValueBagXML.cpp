#include "xml/ValueBagXML.h"

#include "kernel/errors/KovaErrors.h"
#include "kernel/errors/VErrorContext.h"
#include "kernel/files/IFile.h"
#include "kernel/files/VFolder.h"
#include "kernel/files/VStream.h"
#include "kernel/tasks/VTask.h"
#include "kernel/tasks/VTaskMgr.h"
#include "kernel/text/Surrogates.h"
#include "kernel/text/VString.h"
#include "kernel/values/VBagArray.h"
#include "kernel/values/VRefPtr.h"
#include "kernel/values/VValueBag.h"
#include "xml/VXMLBagHandler.h"
#include "xml/VXMLParser.h"

#include <string_view>
#include <vector>

namespace kova
{

namespace
{

constexpr uint32_t kStreamRecordVersion = 1;
const char kFileDeclaration[] = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>";
const char kStreamDeclaration[] = "<?xml version=\"1.0\" encoding=\"UTF-16\"?>";

// Whether every unit stands for a character of XML 1.0: tab, line feed, carriage return, U+0020
// to U+D7FF, U+E000 to U+FFFD, and surrogates in pairs. Raises the error for the first that does
// not.
bool CheckXMLCharacters(const VString& inText)
{
    const UniChar* units = inText.GetCPointer();
    const UniChar* end = units + inText.GetLength();
    for (const UniChar* unit = units; unit < end; ++unit)
    {
        if (StartsSurrogatePair(unit, end))
        {
            ++unit;
            continue;
        }
        const UniChar character = *unit;
        if (character == u'\t' || character == u'\n' || character == u'\r' ||
            (character >= 0x20 && character <= 0xD7FF) || (character >= 0xE000 && character <= 0xFFFD))
            continue;
        VString reason;
        reason.AppendPrintf("a character XML cannot hold: U+%04X", unsigned(character));
        _ThrowError(VE_INVALID_PARAMETER, &reason);
        return false;
    }
    return true;
}

// The bag's character data, at every level: the dump leaves out what XML cannot hold there, so it
// is looked at in the bag itself. The walk keeps its own stack, however deep the bag.
bool CheckCharacterData(const VValueBag& inBag)
{
    std::vector<const VValueBag*> pending{&inBag};
    VString text;
    while (!pending.empty())
    {
        const VValueBag* bag = pending.back();
        pending.pop_back();
        if (bag->GetString(VValueBag::CDataAttributeName(), text) && !CheckXMLCharacters(text))
            return false;
        for (int32_t name = 1; name <= bag->GetElementNamesCount(); ++name)
        {
            if (const VBagArray* list = bag->GetNthElementName(name, nullptr))
            {
                for (int32_t index = 1; index <= list->GetCount(); ++index)
                {
                    if (const VValueBag* child = list->GetNth(index))
                        pending.push_back(child);
                }
            }
        }
    }
    return true;
}

// A reader makes a space of every tab, line feed and carriage return of an attribute value (and
// one space of a CR LF), so the start tags of the dump give those three as character references:
// the values read back as they were. Character data, plain or in a CDATA section, is left as it
// is. The dump quotes values with double quotes and escapes those inside them.
void ReferToBreaksInAttributeValues(VString& ioText)
{
    const std::u16string_view text(ioText.GetCPointer(), size_t(ioText.GetLength()));
    enum class Place
    {
        kContent,
        kSection,
        kTag,
        kValue,
    } place = Place::kContent;
    VString written;
    size_t copied = 0;
    for (size_t at = 0; at < text.size(); ++at)
    {
        const UniChar unit = text[at];
        switch (place)
        {
        case Place::kContent:
            if (unit == u'<' && text.substr(at).starts_with(u"<![CDATA["))
                place = Place::kSection;
            else if (unit == u'<')
                place = Place::kTag;
            break;
        case Place::kSection:
            if (unit == u']' && text.substr(at).starts_with(u"]]>"))
            {
                at += 2;
                place = Place::kContent;
            }
            break;
        case Place::kTag:
            if (unit == u'"')
                place = Place::kValue;
            else if (unit == u'>')
                place = Place::kContent;
            break;
        case Place::kValue:
            if (unit == u'"')
                place = Place::kTag;
            else if (unit == u'\t' || unit == u'\n' || unit == u'\r')
            {
                written.AppendUniChars(text.data() + copied, int32_t(at - copied));
                written.AppendCString(unit == u'\t' ? "&#9;" : unit == u'\n' ? "&#10;" : "&#13;");
                copied = at + 1;
            }
            break;
        }
    }
    if (copied == 0)
        return;
    written.AppendUniChars(text.data() + copied, int32_t(text.size() - copied));
    ioText.Swap(written);
}

// The declaration and the bag's element. A bag that cannot be written whole as well-formed XML
// (a name XML cannot hold, a character it has none for, nesting too deep for the stack) gives an
// error: an incomplete or broken text is never written as if it were the bag.
VError MakeDocument(const VValueBag& inBag, const char* inDeclaration, const VString& inRootName,
                    bool inIndented, VString& outText)
{
    StErrorContextInstaller errors(true, false);
    outText.FromCString(inDeclaration);
    inBag.DumpXML(outText, inRootName, inIndented);
    if (errors.GetLastError() == VE_OK && CheckXMLCharacters(outText))
        CheckCharacterData(inBag);
    if (errors.GetLastError() == VE_OK)
        ReferToBreaksInAttributeValues(outText);
    return errors.GetLastError();
}

// While a bag loads, the task's debug manager neither alerts nor breaks for the document's
// errors: they are the caller's to report.
class StQuietDebugger
{
public:
    StQuietDebugger() : fTask(VTaskMgr::GetCurrentTask())
    {
        if (fTask != nullptr)
        {
            fTask->GetDebugContext().DisableAlerts();
            fTask->GetDebugContext().DisableBreak();
        }
    }
    ~StQuietDebugger()
    {
        if (fTask != nullptr)
        {
            fTask->GetDebugContext().EnableBreak();
            fTask->GetDebugContext().EnableAlerts();
        }
    }
    StQuietDebugger(const StQuietDebugger&) = delete;
    StQuietDebugger& operator=(const StQuietDebugger&) = delete;

private:
    VTask* fTask;
};

// The one body of the four loads: a text when inText is given, else the file.
VError LoadBag(const VString* inText, IFile* inFile, const VString& inRootName, VValueBag& ioBag,
               uint32_t inOptions, const VString* inEntityPrefix, VFolder* inEntityFolder)
{
    StQuietDebugger quiet;
    StErrorContextInstaller errors(true, false);
    VXMLParser parser;
    VRefPtr<VXMLBagHandler_UniqueElement> handler(new VXMLBagHandler_UniqueElement(&ioBag, inRootName));
    if (inEntityPrefix != nullptr && inEntityFolder != nullptr && inEntityFolder->Exists())
        handler->SetEntitiesLocalFolder(*inEntityPrefix, inEntityFolder);
    if (inText != nullptr)
        parser.Parse(*inText, handler.Get(), inOptions);
    else
        parser.Parse(inFile, handler.Get(), inOptions);
    return errors.GetLastError();
}

} // namespace

VError WriteBagToFileInXML(const VValueBag& inBag, const VString& inRootName, IFile* inFile, bool inIndented)
{
    if (inFile == nullptr)
        return VE_OK;
    VString text;
    if (VError error = MakeDocument(inBag, kFileDeclaration, inRootName, inIndented, text); error != VE_OK)
        return error;
    // The file is replaced whole or not at all: a failed write leaves the old content as it was,
    // so there is no half-written file to delete.
    return inFile->SetContentAsString(text, VTC_UTF_8, eCRM_NONE, false);
}

VError WriteBagToStreamInXML(const VValueBag& inBag, VStream* ioStream)
{
    if (ioStream == nullptr)
    {
        _ThrowError(VE_INVALID_PARAMETER);
        return VE_INVALID_PARAMETER;
    }
    VString text;
    if (VError error = MakeDocument(inBag, kStreamDeclaration, VString("bag"), false, text); error != VE_OK)
        return error;
    ioStream->Put(kStreamRecordVersion);
    return text.WriteToStream(ioStream, 0);
}

VError ReadBagFromStreamInXML(VValueBag& ioBag, VStream* ioStream)
{
    if (ioStream == nullptr)
    {
        _ThrowError(VE_INVALID_PARAMETER);
        return VE_INVALID_PARAMETER;
    }
    StErrorContextInstaller errors(true, false);
    uint32_t version = 0;
    if (VError error = ioStream->Get(version); error != VE_OK)
        return error;
    VString text;
    if (VError error = text.ReadFromStream(ioStream, 0); error != VE_OK)
        return error;
    if (version != kStreamRecordVersion)
        return VE_OK; // a record of a version this reader does not know, passed over
    VXMLParser parser;
    VRefPtr<VXMLBagHandler_UniqueElement> handler(new VXMLBagHandler_UniqueElement(&ioBag, VString("bag")));
    parser.Parse(text, handler.Get(), 0);
    return errors.GetLastError();
}

VError LoadBagFromXML(const VString& inXMLText, const VString& inRootName, VValueBag& ioBag,
                      uint32_t inOptions)
{
    return LoadBag(&inXMLText, nullptr, inRootName, ioBag, inOptions, nullptr, nullptr);
}

VError LoadBagFromXML(IFile* inFile, const VString& inRootName, VValueBag& ioBag, uint32_t inOptions)
{
    return LoadBag(nullptr, inFile, inRootName, ioBag, inOptions, nullptr, nullptr);
}

VError LoadBagFromXML(IFile* inFile, const VString& inRootName, VValueBag& ioBag, uint32_t inOptions,
                      const VString* inEntityPrefix, VFolder* inEntityFolder)
{
    return LoadBag(nullptr, inFile, inRootName, ioBag, inOptions, inEntityPrefix, inEntityFolder);
}

VError LoadBagFromXML(const VString& inXMLText, const VString& inRootName, VValueBag& ioBag,
                      uint32_t inOptions, const VString* inEntityPrefix, VFolder* inEntityFolder)
{
    return LoadBag(&inXMLText, nullptr, inRootName, ioBag, inOptions, inEntityPrefix, inEntityFolder);
}

} // namespace kova
