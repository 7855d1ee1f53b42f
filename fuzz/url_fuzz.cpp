// URLs from text, encoded or not: every part reads without a fault, and each setter changes its
// own part only, to the value it was given, leaving the others' text as it was. A path converted from the
// colon form keeps no ".." step, but the climbs that open a relative one.
#include "fuzz/FuzzSetup.h"

#include "kernel/files/URLTesting_test.h"
#include "kernel/files/VFilePath.h"
#include "kernel/files/VURL.h"

#include <memory>

using namespace kova;

namespace
{

void ReadEverything(const VURL& inURL)
{
    VString text;
    for (bool encoded : {false, true})
    {
        inURL.GetNetworkLocation(text, encoded);
        inURL.GetQuery(text, encoded);
        inURL.GetParameters(text, encoded);
        inURL.GetFragment(text, encoded);
        inURL.GetPath(text, eURL_HFS_STYLE, encoded);
        inURL.GetPath(text, eURL_WIN_STYLE, encoded);
        inURL.GetResourceSpecifier(text, encoded);
        inURL.GetLastPathComponent(text, encoded);
        inURL.GetHostName(text, encoded);
        inURL.GetPortNumber(text, encoded);
        inURL.GetUserName(text, encoded);
        inURL.GetPassword(text, encoded);
        inURL.GetAbsoluteURL(text, encoded);
        inURL.GetRelativeURL(text, encoded);
    }
    inURL.GetPortNumber();
    inURL.IsRoot();
    VFilePath path;
    inURL.GetFilePath(path);
}

void CheckSetters(const VURL& inURL, const VString& inValue, bool inEncoded)
{
    using Setter = void (*)(VURL&, const VString&, bool);
    const struct
    {
        EURLParts fPart;
        Setter fSet;
    } setters[] = {
        {eURL_SCHEME, [](VURL& ioURL, const VString& inText, bool) { ioURL.SetScheme(inText); }},
        {eURL_NETWORK_LOCATION, [](VURL& ioURL, const VString& inText, bool inIsEncoded)
         { ioURL.SetNetWorkLocation(inText, inIsEncoded); }},
        {eURL_PATH, [](VURL& ioURL, const VString& inText, bool inIsEncoded)
         { ioURL.SetRelativePath(inText, eURL_POSIX_STYLE, inIsEncoded); }},
        {eURL_PARAMETERS, [](VURL& ioURL, const VString& inText, bool inIsEncoded)
         { ioURL.SetParameters(inText, inIsEncoded); }},
        {eURL_QUERY,
         [](VURL& ioURL, const VString& inText, bool inIsEncoded) { ioURL.SetQuery(inText, inIsEncoded); }},
        {eURL_FRAGMENT, [](VURL& ioURL, const VString& inText, bool inIsEncoded)
         { ioURL.SetFragment(inText, inIsEncoded); }},
    };
    VString decoded(inValue);
    if (inEncoded)
        VURL::Decode(decoded);
    for (const auto& setter : setters)
    {
        VURL edited(inURL);
        setter.fSet(edited, inValue, inEncoded);
        fuzz::Check(edited.IsValid(), "a setter keeps the URL valid");
        for (int index = 0; index < eURL_PART_COUNT; ++index)
        {
            const EURLParts part = EURLParts(index);
            if (part != setter.fPart)
                fuzz::Check(URLPartText(edited, part) == URLPartText(inURL, part),
                            "a setter leaves the other parts");
        }
        // The scheme is taken as it is given.
        const VString& expected = setter.fPart == eURL_SCHEME ? inValue : decoded;
        fuzz::Check(URLPartText(edited, setter.fPart) == fuzz::Units(expected), "a setter sets its part");
    }
}

// The number of ".." components that open the path, or -1 when one comes after another
// component; "." components count as after.
int OpeningClimbs(const std::u16string& inPath)
{
    int climbs = 0;
    bool opening = true;
    for (size_t start = 0; start <= inPath.size();)
    {
        size_t end = inPath.find(u'/', start);
        if (end == std::u16string::npos)
            end = inPath.size();
        const std::u16string component = inPath.substr(start, end - start);
        if (component == u".." && opening)
            ++climbs;
        else if (component == u"." || component == u"..")
            return -1;
        else if (!component.empty())
            opening = false;
        start = end + 1;
    }
    return climbs;
}

void CheckColonConversions(const VString& inText)
{
    VString full(inText);
    VURL::Convert(full, eURL_HFS_STYLE, eURL_POSIX_STYLE, false);
    fuzz::Check(OpeningClimbs(fuzz::Units(full)) == 0, "a full colon path converts without steps");
    VString relative(inText);
    VURL::Convert(relative, eURL_HFS_STYLE, eURL_POSIX_STYLE, true);
    fuzz::Check(OpeningClimbs(fuzz::Units(relative)) >= 0, "a relative colon path climbs only at its start");
    const VURL url(inText, eURL_HFS_STYLE, VString(u"file://"));
    VString path;
    url.GetPath(path, eURL_POSIX_STYLE, false);
    fuzz::Check(OpeningClimbs(fuzz::Units(path)) == 0, "a file URL of a colon path has no steps");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* inData, size_t inSize)
{
    const VString text(inData, inSize, VTC_UTF_8);
    for (bool encoded : {false, true})
    {
        VURL url(text, encoded);
        ReadEverything(url);
        // The empty text is a valid URL of no part: a fragment alone makes no URL.
        if (!url.IsValid() || text.IsEmpty())
            continue;
        CheckSetters(url, VString(u"f?;#"), false);
        CheckSetters(url, text, encoded);
        VURL edited(url);
        edited.SetFragment(VString(u"f?;#"), false);
        edited.SetQuery(text, encoded);
        edited.SetParameters(text, encoded);
        edited.SetNetWorkLocation(text, encoded);
        ReadEverything(edited);
        edited.ToSubFolder(text);
        edited.ToParent();
        std::unique_ptr<VURL> parent(edited.RetainParent());
        edited._RemoveLastPathComponent();
    }
    CheckColonConversions(text);
    VString converted(text);
    VURL::Decode(converted);
    VURL::Encode(converted, false, true, true, true);
    VURL::Convert(converted, eURL_POSIX_STYLE, eURL_HFS_STYLE, true);
    VURL::Convert(converted, eURL_HFS_STYLE, eURL_POSIX_STYLE, true);
    return 0;
}
