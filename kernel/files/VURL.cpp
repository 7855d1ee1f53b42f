#include "kernel/files/VURL.h"

#include "kernel/files/FileText.h"
#include "kernel/files/VFilePath.h"
#include "kernel/files/VFolder.h"
#include "kernel/tasks/VTask.h"
#include "kernel/text/VIntlMgr.h"
#include "platform/mac/files/XMacFile.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string>
#include <string_view>
#include <utility>

namespace kova
{

namespace
{

using Units = std::u16string_view;

constexpr char kHexDigits[] = "0123456789ABCDEF";
constexpr const char* kURLSafe =
    ":/?#[]@!$&'()*+,;=0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ-._~%";
constexpr UniChar kFileScheme[] = u"file";
constexpr UniChar kAboutBlank[] = u"about:blank";

// The escape sets: the bytes of the text, controls and every byte from 127 on.
constexpr std::array<bool, 256> MakeEscapeSet(std::string_view inBytes)
{
    std::array<bool, 256> set{};
    for (int byte = 0; byte < 256; ++byte)
        set[size_t(byte)] = byte < 32 || byte >= 127;
    for (char byte : inBytes)
        set[uint8_t(byte)] = true;
    return set;
}

constexpr std::array<bool, 256> kFullEscapes = MakeEscapeSet("<>\"#%{}|\\^[]` ");
constexpr std::array<bool, 256> kNetworkEscapes = MakeEscapeSet("<>\"#%{}|\\^` ");

bool IsURLSafe(UniChar inUnit)
{
    return inUnit < 128 && inUnit != 0 && std::strchr(kURLSafe, char(inUnit)) != nullptr;
}

// The percent-encoding of the text; inExtra names delimiters escaped on top of the set.
void EncodeText(VString& ioText, bool inDecompose, bool inFullSet, bool inKeepUnicodeEscapes,
                std::string_view inExtra = {})
{
    if (inDecompose)
        DecomposeText(ioText);
    std::string bytes;
    if (!TextToUTF8(ioText, bytes))
    {
        // Only a high surrogate at the end cannot be encoded: it stands for a character lost.
        VString whole(ioText);
        whole.Truncate(whole.GetLength() - 1);
        whole.AppendUniChar(0xFFFD);
        TextToUTF8(whole, bytes);
    }
    const std::array<bool, 256>& set = inFullSet ? kFullEscapes : kNetworkEscapes;
    std::u16string encoded;
    encoded.reserve(bytes.size());
    for (size_t i = 0; i < bytes.size(); ++i)
    {
        const uint8_t byte = uint8_t(bytes[i]);
        const bool unicodeEscape =
            inKeepUnicodeEscapes && byte == '\\' && i + 1 < bytes.size() && bytes[i + 1] == 'u';
        if (!unicodeEscape &&
            (set[byte] || (byte != 0 && inExtra.find(char(byte)) != std::string_view::npos)))
        {
            encoded.push_back(u'%');
            encoded.push_back(UniChar(kHexDigits[byte >> 4]));
            encoded.push_back(UniChar(kHexDigits[byte & 0x0F]));
        }
        else
        {
            encoded.push_back(UniChar(byte));
        }
    }
    AssignUnits(ioText, encoded);
}

// The delimiters that would end a part early in a rebuilt URL.
std::string_view DelimitersInside(EURLParts inPart)
{
    switch (inPart)
    {
    case eURL_NETWORK_LOCATION:
        return "/?;";
    case eURL_PATH:
        return "?;";
    case eURL_PARAMETERS:
        return "?";
    default:
        return {};
    }
}

bool BeginsWith(Units inText, Units inPrefix)
{
    return inText.size() >= inPrefix.size() && inText.substr(0, inPrefix.size()) == inPrefix;
}

} // namespace

VURL::VURL() = default;

VURL::VURL(const VURL& inOther) : VObject(inOther)
{
    FromURL(inOther);
}

VURL::VURL(const VString& inText, bool inIsEncoded)
{
    FromString(inText, inIsEncoded);
}

VURL::VURL(const VString& inPath, EURLPathStyle inStyle, const VString& inPrefix)
{
    FromFilePath(inPath, inStyle, inPrefix);
}

VURL::VURL(const VFolder& inBase, const VString& inRelativePath, EURLPathStyle inStyle)
{
    FromRelativePath(inBase, inRelativePath, inStyle);
}

VURL::VURL(const VFilePath& inPath)
{
    FromFilePath(inPath);
}

VURL::~VURL() = default;

VURL& VURL::FromURL(const VURL& inOther)
{
    if (&inOther == this)
        return *this;
    for (int i = 0; i < eURL_PART_COUNT; ++i)
        fParts[i] = inOther.fParts[i];
    fURL.FromString(inOther.fURL);
    fEncodedURL.FromString(inOther.fEncodedURL);
    fIsValid = inOther.fIsValid;
    return *this;
}

void VURL::Clear()
{
    fURL.Clear();
    fEncodedURL.Clear();
    for (URLPart& part : fParts)
        part = URLPart();
    fIsValid = false;
}

bool VURL::_BuildURLArray(const VString& inText, bool inPathOnly, URLPart* outParts)
{
    for (int i = 0; i < eURL_PART_COUNT; ++i)
        outParts[i] = URLPart();
    const Units text = UnitsOf(inText);
    if (text.empty())
        return true;
    bool valid = true;
    size_t pathStart = 0; // 0-based; npos when there is no path
    const size_t separator = text.find(u"://");
    const size_t early = text.find_first_of(u"/:");
    if (separator == Units::npos || early < separator)
    {
        valid = false;
    }
    else
    {
        outParts[eURL_SCHEME] = URLPart{1, int32_t(separator)};
        const size_t location = separator + 3;
        const size_t slash = text.find(u'/', location);
        outParts[eURL_NETWORK_LOCATION] =
            URLPart{int32_t(location) + 1, int32_t((slash == Units::npos ? text.size() : slash) - location)};
        if (slash == Units::npos)
        {
            valid = false;
            pathStart = Units::npos;
        }
        else
        {
            pathStart = slash + 1;
        }
    }
    if (pathStart == Units::npos)
        return valid;

    size_t delimiters[3] = {Units::npos, Units::npos, Units::npos}; // ';', '?', '#'
    if (!inPathOnly)
    {
        delimiters[0] = text.find(u';', pathStart);
        delimiters[1] = text.find(u'?', pathStart);
        delimiters[2] = text.find(u'#', pathStart);
    }
    // Each part ends just before the nearest delimiter found after its own start.
    auto endAfter = [&](size_t inStart)
    {
        size_t end = text.size();
        for (size_t delimiter : delimiters)
        {
            if (delimiter != Units::npos && delimiter >= inStart && delimiter < end)
                end = delimiter;
        }
        return end;
    };
    outParts[eURL_PATH] = URLPart{int32_t(pathStart) + 1, int32_t(endAfter(pathStart) - pathStart)};
    const EURLParts following[3] = {eURL_PARAMETERS, eURL_QUERY, eURL_FRAGMENT};
    for (int i = 0; i < 3; ++i)
    {
        if (delimiters[i] == Units::npos)
            continue;
        const size_t start = delimiters[i] + 1;
        outParts[following[i]] = URLPart{int32_t(start) + 1, int32_t(endAfter(start) - start)};
    }
    return valid;
}

void VURL::_Parse(bool inPathOnly)
{
    fIsValid = _BuildURLArray(fURL, inPathOnly, fParts);
}

VURL& VURL::FromString(const VString& inText, bool inIsEncoded)
{
    fURL.FromString(inText);
    fIsValid = false;
    fEncodedURL.Clear();
    if (inIsEncoded)
    {
        bool safe = true;
        for (UniChar unit : UnitsOf(inText))
            safe = safe && IsURLSafe(unit);
        if (safe)
            fEncodedURL.FromString(inText);
    }
    _Parse(false);
    if (!inIsEncoded)
        return *this;
    // From the fragment back to the scheme; parts after a decoded one (in the text) move with it.
    for (int index = eURL_PART_COUNT - 1; index >= 0; --index)
    {
        URLPart& part = fParts[index];
        if (part.fStart <= 0)
            continue;
        VString text;
        AssignUnits(text, UnitsOf(fURL).substr(size_t(part.fStart - 1), size_t(part.fLength)));
        Decode(text);
        const int32_t delta = text.GetLength() - part.fLength;
        if (delta == 0 &&
            UnitsOf(text) == UnitsOf(fURL).substr(size_t(part.fStart - 1), size_t(part.fLength)))
            continue;
        fURL.Replace(text, part.fStart, part.fLength);
        for (URLPart& other : fParts)
        {
            if (&other != &part && other.fStart > part.fStart)
                other.fStart += delta;
        }
        part.fLength = text.GetLength();
    }
    return *this;
}

VURL& VURL::FromString(const VString& inText, const VString& inBase, bool inIsEncoded)
{
    if (UnitsOf(inText).find(u"://") == Units::npos && !inBase.IsEmpty())
    {
        VString text(inBase);
        if (inText.IsEmpty() || inText.GetCPointer()[0] != u'/')
            text.AppendUniChar(u'/');
        text.AppendString(inText);
        return FromString(text, inIsEncoded);
    }
    return FromString(inText, inIsEncoded);
}

VURL& VURL::FromFilePath(const VFilePath& inPath)
{
    VString posixPath;
    inPath.GetPosixPath(posixPath);
    Clear();
    if (posixPath.IsEmpty())
        return *this;
    if (BeginsWith(UnitsOf(posixPath), u"//"))
    {
        fURL.FromString(VString(u"file:"));
    }
    else
    {
        fURL.FromString(VString(u"file://"));
        if (posixPath.GetCPointer()[0] != u'/')
            fURL.AppendUniChar(u'/');
    }
    fURL.AppendString(posixPath);
    _Parse(true);
    return *this;
}

VURL& VURL::FromFilePath(const VString& inPath, EURLPathStyle inStyle, const VString& inPrefix)
{
    VString path(inPath);
    if (inStyle == eURL_WIN_STYLE)
        WIN_to_POSIX(path);
    else if (inStyle == eURL_HFS_STYLE)
        HFS_to_POSIX(path, true);
    Clear();
    // The path is rooted: a climb left above its start would lead out of it.
    if (inStyle == eURL_HFS_STYLE && (BeginsWith(UnitsOf(path), u"../") || UnitsOf(path) == u".."))
        return *this;
    if (BeginsWith(UnitsOf(path), u"//"))
        path.Remove(1, 2);
    if (path.IsEmpty() || path.GetCPointer()[0] != u'/')
    {
        VString rooted(u"/");
        rooted.AppendString(path);
        path.FromString(rooted);
    }
    fURL.FromString(inPrefix);
    fURL.AppendString(path);
    _Parse(true);
    return *this;
}

VURL& VURL::FromRelativePath(const VFolder& inBase, const VString& inRelativePath, EURLPathStyle inStyle)
{
    VString relative(inRelativePath);
    if (inStyle == eURL_WIN_STYLE)
        WIN_to_POSIX(relative);
    const VFilePath path(inBase.GetPath(), relative, inStyle == eURL_HFS_STYLE ? FPS_SYSTEM : FPS_POSIX);
    return FromFilePath(path);
}

void VURL::_GetPart(EURLParts inPart, VString& outText) const
{
    if (!_HasPart(inPart))
    {
        outText.Clear();
        return;
    }
    AssignUnits(outText,
                UnitsOf(fURL).substr(size_t(fParts[inPart].fStart - 1), size_t(fParts[inPart].fLength)));
}

void VURL::_GetPart(EURLParts inPart, VString& outText, bool inEncoded) const
{
    _GetPart(inPart, outText);
    if (inEncoded)
        EncodeText(outText, false, inPart != eURL_NETWORK_LOCATION, false, DelimitersInside(inPart));
}

void VURL::GetScheme(VString& outScheme) const
{
    _GetPart(eURL_SCHEME, outScheme);
}

bool VURL::IsScheme(const VString& inScheme) const
{
    VString scheme;
    GetScheme(scheme);
    return UnitsOf(scheme) == UnitsOf(inScheme);
}

void VURL::GetNetworkLocation(VString& outText, bool inEncoded) const
{
    _GetPart(eURL_NETWORK_LOCATION, outText, inEncoded);
}

void VURL::GetQuery(VString& outText, bool inEncoded) const
{
    _GetPart(eURL_QUERY, outText, inEncoded);
}

void VURL::GetParameters(VString& outText, bool inEncoded) const
{
    _GetPart(eURL_PARAMETERS, outText, inEncoded);
}

void VURL::GetFragment(VString& outText, bool inEncoded) const
{
    _GetPart(eURL_FRAGMENT, outText, inEncoded);
}

void VURL::GetRelativePath(VString& outPath, EURLPathStyle, bool inEncoded) const
{
    _GetPart(eURL_PATH, outPath, inEncoded);
}

void VURL::GetPath(VString& outPath, EURLPathStyle inStyle, bool inEncoded) const
{
    GetRelativePath(outPath, inStyle, inEncoded);
    if (inStyle == eURL_HFS_STYLE)
        POSIX_to_HFS(outPath);
    else if (inStyle == eURL_WIN_STYLE)
        POSIX_to_WIN(outPath);
}

void VURL::GetResourceSpecifier(VString& outText, bool inEncoded) const
{
    outText.Clear();
    if (!_HasPart(eURL_PATH))
        return;
    AssignUnits(outText, UnitsOf(fURL).substr(size_t(fParts[eURL_PATH].fStart - 1)));
    if (inEncoded)
        EncodeText(outText, false, true, false);
}

void VURL::GetLastPathComponent(VString& outName, bool inEncoded) const
{
    VString path;
    _GetPart(eURL_PATH, path);
    Units name = UnitsOf(path);
    if (!name.empty() && name.back() == u'/')
        name.remove_suffix(1);
    const size_t slash = name.rfind(u'/');
    if (slash != Units::npos)
        name.remove_prefix(slash + 1);
    AssignUnits(outName, name);
    if (inEncoded)
        EncodeText(outName, false, true, false);
}

void VURL::ParseNetLocation(const VString& inLocation, VString* outUser, VString* outPassword,
                            VString* outHost, VString* outPort)
{
    const Units location = UnitsOf(inLocation);
    Units user;
    Units password;
    Units host;
    Units port;
    Units hostPart = location;
    const size_t at = location.find(u'@');
    if (at != Units::npos)
    {
        const Units information = location.substr(0, at);
        hostPart = location.substr(at + 1);
        const size_t colon = information.find(u':');
        user = information.substr(0, colon);
        if (colon != Units::npos)
            password = information.substr(colon + 1);
    }
    if (!hostPart.empty() && hostPart[0] == u'[')
    {
        const size_t close = hostPart.find(u']');
        host = hostPart.substr(1, close == Units::npos ? Units::npos : close - 1);
        if (close != Units::npos && close + 1 < hostPart.size() && hostPart[close + 1] == u':')
            port = hostPart.substr(close + 2);
    }
    else
    {
        const size_t colon = hostPart.rfind(u':');
        host = hostPart.substr(0, colon);
        if (colon != Units::npos)
            port = hostPart.substr(colon + 1);
    }
    if (outUser != nullptr)
        AssignUnits(*outUser, user);
    if (outPassword != nullptr)
        AssignUnits(*outPassword, password);
    if (outHost != nullptr)
        AssignUnits(*outHost, host);
    if (outPort != nullptr)
        AssignUnits(*outPort, port);
}

void VURL::_GetNetLocationSegment(int inWhich, VString& outText, bool inDecoded) const
{
    VString location;
    _GetPart(eURL_NETWORK_LOCATION, location);
    VString* outputs[4] = {nullptr, nullptr, nullptr, nullptr};
    outputs[inWhich] = &outText;
    ParseNetLocation(location, outputs[0], outputs[1], outputs[2], outputs[3]);
    if (!inDecoded)
        EncodeText(outText, false, true, false);
}

void VURL::GetUserName(VString& outText, bool inDecoded) const
{
    _GetNetLocationSegment(0, outText, inDecoded);
}

void VURL::GetPassword(VString& outText, bool inDecoded) const
{
    _GetNetLocationSegment(1, outText, inDecoded);
}

void VURL::GetHostName(VString& outText, bool inDecoded) const
{
    _GetNetLocationSegment(2, outText, inDecoded);
}

void VURL::GetPortNumber(VString& outText, bool inDecoded) const
{
    _GetNetLocationSegment(3, outText, inDecoded);
}

int32_t VURL::GetPortNumber() const
{
    VString port;
    GetPortNumber(port, true);
    int32_t value = 0;
    for (UniChar unit : UnitsOf(port))
    {
        if (unit == u' ')
            return -1;
        if (unit < u'0' || unit > u'9')
            continue;
        value = value * 10 + (unit - u'0');
        if (value > 65535)
            return -1;
    }
    return value;
}

void VURL::GetAbsoluteURL(VString& outText, bool inEncoded) const
{
    if (!inEncoded || UnitsOf(fURL) == Units(kAboutBlank))
    {
        outText.FromString(fURL);
        return;
    }
    if (!fEncodedURL.IsEmpty())
    {
        outText.FromString(fEncodedURL);
        return;
    }
    VString text;
    VString part;
    // A text without scheme and network location (a relative reference) is its path alone.
    if (_HasPart(eURL_SCHEME) || _HasPart(eURL_NETWORK_LOCATION))
    {
        _GetPart(eURL_SCHEME, part);
        text.AppendString(part);
        text.AppendCString("://");
        _GetPart(eURL_NETWORK_LOCATION, part, true);
        text.AppendString(part);
        text.AppendUniChar(u'/');
    }
    _GetPart(eURL_PATH, part, true);
    text.AppendString(part);
    const struct
    {
        EURLParts fPart;
        UniChar fDelimiter;
    } following[] = {{eURL_QUERY, u'?'}, {eURL_PARAMETERS, u';'}, {eURL_FRAGMENT, u'#'}};
    for (const auto& segment : following)
    {
        if (!_HasPart(segment.fPart))
            continue;
        _GetPart(segment.fPart, part, true);
        text.AppendUniChar(segment.fDelimiter);
        text.AppendString(part);
    }
    outText.FromString(text);
}

namespace
{

// The URL rebuilt from its parts in the order of GetRelativeURL, each segment only when not empty.
void Rebuild(const VString (&inParts)[eURL_PART_COUNT], VString& outText)
{
    VString text;
    if (!inParts[eURL_SCHEME].IsEmpty())
    {
        text.AppendString(inParts[eURL_SCHEME]);
        text.AppendCString(inParts[eURL_NETWORK_LOCATION].IsEmpty() ? ":///" : "://");
    }
    if (!inParts[eURL_NETWORK_LOCATION].IsEmpty())
    {
        text.AppendString(inParts[eURL_NETWORK_LOCATION]);
        text.AppendUniChar(u'/');
    }
    text.AppendString(inParts[eURL_PATH]);
    const struct
    {
        EURLParts fPart;
        UniChar fDelimiter;
    } following[] = {{eURL_PARAMETERS, u';'}, {eURL_QUERY, u'?'}, {eURL_FRAGMENT, u'#'}};
    for (const auto& segment : following)
    {
        if (inParts[segment.fPart].IsEmpty())
            continue;
        text.AppendUniChar(segment.fDelimiter);
        text.AppendString(inParts[segment.fPart]);
    }
    outText.FromString(text);
}

} // namespace

void VURL::GetRelativeURL(VString& outText, bool inEncoded) const
{
    if (!inEncoded)
    {
        outText.FromString(fURL);
        return;
    }
    VString parts[eURL_PART_COUNT];
    for (int index = 0; index < eURL_PART_COUNT; ++index)
    {
        if (index == eURL_SCHEME)
            _GetPart(EURLParts(index), parts[index]);
        else
            _GetPart(EURLParts(index), parts[index], true);
    }
    Rebuild(parts, outText);
}

bool VURL::GetFilePath(VFilePath& outPath) const
{
    VString scheme;
    GetScheme(scheme);
    if (_HasPart(eURL_SCHEME))
    {
        VIntlMgr* manager = VTask::GetCurrentIntlManager();
        const bool isFile =
            manager != nullptr
                ? manager->EqualString(scheme.GetCPointer(), scheme.GetLength(), kFileScheme, 4, false)
                : UnitsOf(scheme) == Units(kFileScheme);
        if (!isFile)
        {
            outPath.Clear();
            return false;
        }
    }
    // A file on another host is no file of this system.
    VString host;
    _GetPart(eURL_NETWORK_LOCATION, host);
    if (!host.IsEmpty() && UnitsOf(host) != Units(u"localhost"))
    {
        outPath.Clear();
        return false;
    }
    VString path;
    _GetPart(eURL_PATH, path);
    if (path.IsEmpty() || path.GetCPointer()[0] != u'/')
    {
        VString rooted(u"/");
        rooted.AppendString(path);
        path.FromString(rooted);
    }
    POSIX_to_HFS(path);
    outPath.FromFullPath(path, FPS_SYSTEM);
    return outPath.IsValid();
}

bool VURL::IsRoot() const
{
    VString path;
    GetRelativePath(path, eURL_POSIX_STYLE, true);
    const size_t slash = UnitsOf(path).find(u'/');
    return slash == Units::npos || slash + 1 == size_t(path.GetLength());
}

// The URL text is held decoded, so it cannot be parsed again: a decoded "?" in a path would start
// a query. Nor can it go through encoding and back, which writes a lone surrogate as U+FFFD. The
// text is laid down again from the parts as they stand, the new one in its place, and each part's
// place recorded as it is laid: a valid URL has a scheme, "://", a network location and "/" (each
// possibly empty), then the path and the other parts present.
void VURL::_SetPart(const VString& inValue, EURLParts inPart)
{
    if (!fIsValid)
        return;
    VString parts[eURL_PART_COUNT];
    for (int index = 0; index < eURL_PART_COUNT; ++index)
    {
        if (index == inPart)
            parts[index].FromString(inValue);
        else
            _GetPart(EURLParts(index), parts[index]);
    }
    VString text;
    URLPart places[eURL_PART_COUNT];
    auto lay = [&](EURLParts inLaid)
    {
        places[inLaid] = URLPart{text.GetLength() + 1, parts[inLaid].GetLength()};
        text.AppendString(parts[inLaid]);
    };
    lay(eURL_SCHEME);
    text.AppendCString("://");
    lay(eURL_NETWORK_LOCATION);
    text.AppendUniChar(u'/');
    lay(eURL_PATH);
    const std::pair<EURLParts, UniChar> following[] = {
        {eURL_PARAMETERS, u';'}, {eURL_QUERY, u'?'}, {eURL_FRAGMENT, u'#'}};
    for (const auto& [part, delimiter] : following)
    {
        if (parts[part].IsEmpty())
            continue;
        text.AppendUniChar(delimiter);
        lay(part);
    }
    fURL.FromString(text);
    for (int index = 0; index < eURL_PART_COUNT; ++index)
        fParts[index] = places[index];
    fEncodedURL.Clear();
}

void VURL::SetScheme(const VString& inScheme)
{
    _SetPart(inScheme, eURL_SCHEME);
}

namespace
{

VString DecodedIf(const VString& inText, bool inIsEncoded)
{
    VString text(inText);
    if (inIsEncoded)
        VURL::Decode(text);
    return text;
}

} // namespace

void VURL::SetNetWorkLocation(const VString& inText, bool inIsEncoded)
{
    _SetPart(DecodedIf(inText, inIsEncoded), eURL_NETWORK_LOCATION);
}

void VURL::SetParameters(const VString& inText, bool inIsEncoded)
{
    _SetPart(DecodedIf(inText, inIsEncoded), eURL_PARAMETERS);
}

void VURL::SetQuery(const VString& inText, bool inIsEncoded)
{
    _SetPart(DecodedIf(inText, inIsEncoded), eURL_QUERY);
}

void VURL::SetFragment(const VString& inText, bool inIsEncoded)
{
    _SetPart(DecodedIf(inText, inIsEncoded), eURL_FRAGMENT);
}

void VURL::SetRelativePath(const VString& inPath, EURLPathStyle inStyle, bool inIsEncoded)
{
    VString path = DecodedIf(inPath, inIsEncoded);
    if (inStyle == eURL_WIN_STYLE)
        WIN_to_POSIX(path);
    else if (inStyle == eURL_HFS_STYLE)
        HFS_to_POSIX(path, true);
    _SetPart(path, eURL_PATH);
}

bool VURL::ToSubFolder(const VString& inName)
{
    VString path;
    _GetPart(eURL_PATH, path);
    if (path.IsEmpty() || path.GetCPointer()[path.GetLength() - 1] != u'/')
        return false;
    path.AppendString(inName);
    SetRelativePath(path, eURL_POSIX_STYLE, false);
    return true;
}

bool VURL::ToParent()
{
    if (IsRoot())
        return false;
    VString path;
    _GetPart(eURL_PATH, path);
    Units parent = UnitsOf(path);
    if (!parent.empty() && parent.back() == u'/')
        parent.remove_suffix(1);
    const size_t slash = parent.rfind(u'/');
    if (slash == Units::npos)
        return false;
    VString newPath;
    AssignUnits(newPath, parent.substr(0, slash + 1));
    SetRelativePath(newPath, eURL_POSIX_STYLE, false);
    return true;
}

VURL* VURL::RetainParent() const
{
    VURL* parent = new VURL(*this);
    if (parent->ToParent())
        return parent;
    delete parent;
    return nullptr;
}

void VURL::_RemoveLastPathComponent()
{
    VString path;
    _GetPart(eURL_PATH, path);
    if (!path.IsEmpty() && path.GetCPointer()[path.GetLength() - 1] == u'/')
        return;
    const size_t slash = UnitsOf(path).rfind(u'/');
    if (slash == Units::npos)
        path.FromString(VString(u"/"));
    else
        path.Truncate(int32_t(slash) + 1);
    SetRelativePath(path, eURL_POSIX_STYLE, false);
}

void VURL::Encode(VString& ioText, bool, bool inDecompose, bool inFullSet, bool inKeepUnicodeEscapes)
{
    EncodeText(ioText, inDecompose, inFullSet, inKeepUnicodeEscapes);
}

void VURL::Decode(VString& ioText)
{
    const Units text = UnitsOf(ioText);
    if (text.find(u'%') == Units::npos)
    {
        ComposeText(ioText);
        return;
    }
    VString decoded;
    std::string run;
    auto flushRun = [&]()
    {
        if (run.size() == 1)
        {
            decoded.AppendUniChar(UniChar(uint8_t(run[0])));
        }
        else if (!run.empty())
        {
            VString segment;
            TextFromUTF8(run.data(), run.size(), segment);
            decoded.AppendString(segment);
        }
        run.clear();
    };
    size_t i = 0;
    while (i < text.size())
    {
        if (text[i] == u'%' && i + 2 < text.size())
        {
            run.push_back(
                char(std::max(HexDigitValue(text[i + 1]), 0) * 16 + std::max(HexDigitValue(text[i + 2]), 0)));
            i += 3;
            continue;
        }
        flushRun();
        decoded.AppendUniChar(text[i]);
        ++i;
    }
    flushRun();
    ComposeText(decoded);
    ioText.FromString(decoded);
}

void VURL::Convert(VString& ioPath, EURLPathStyle inFrom, EURLPathStyle inTo, bool inRelative)
{
    if (inFrom == eURL_POSIX_STYLE && inTo == eURL_WIN_STYLE)
        POSIX_to_WIN(ioPath);
    else if (inFrom == eURL_POSIX_STYLE && inTo == eURL_HFS_STYLE)
        POSIX_to_HFS(ioPath);
    else if (inFrom == eURL_WIN_STYLE && inTo == eURL_POSIX_STYLE)
        WIN_to_POSIX(ioPath);
    else if (inFrom == eURL_HFS_STYLE && inTo == eURL_POSIX_STYLE)
        HFS_to_POSIX(ioPath, inRelative);
}

void VURL::WIN_to_POSIX(VString& ioPath)
{
    std::u16string path(UnitsOf(ioPath));
    for (UniChar& unit : path)
        unit = unit == u'\\' ? u'/' : unit;
    AssignUnits(ioPath, path);
}

void VURL::POSIX_to_WIN(VString& ioPath)
{
    std::u16string path(UnitsOf(ioPath));
    for (UniChar& unit : path)
        unit = unit == u'/' ? u'\\' : unit;
    AssignUnits(ioPath, path);
}

void VURL::HFS_to_POSIX(VString& ioPath, bool inRelative)
{
    if (ioPath.IsEmpty())
        return;
    if (!inRelative)
    {
        VString posixPath;
        XMacFile::HFSFullPathToPosix(ioPath, posixPath);
        ioPath.FromString(posixPath);
        return;
    }
    // The steps are resolved as a file path resolves them, below the run of ":" that opens the
    // path (a single ":" there only says "relative", and is put there when missing).
    VString resolved;
    size_t opening = 0;
    while (opening < size_t(ioPath.GetLength()) && ioPath.GetCPointer()[opening] == u':')
        ++opening;
    if (opening == 0)
    {
        resolved.AppendUniChar(u':');
        opening = 1;
    }
    resolved.AppendString(ioPath);
    bool ok = true;
    VFilePath::_ResolveStep(resolved, int32_t(opening) + 1, 1, ok, u':');
    const Units path = UnitsOf(resolved);
    std::u16string posixPath;
    size_t i = 0;
    while (i < path.size())
    {
        if (path[i] != u':')
        {
            posixPath.push_back(path[i] == u'/' ? u':' : path[i]);
            ++i;
            continue;
        }
        size_t run = 0;
        const size_t start = i;
        while (i < path.size() && path[i] == u':')
        {
            ++run;
            ++i;
        }
        // A run that opens the path says "relative": its first ":" writes nothing, its others
        // climb.
        if (start > 0 && !(i == path.size() && run == path.size()))
            posixPath.push_back(u'/');
        for (size_t step = 1; step < run; ++step)
            posixPath.append(u"../");
    }
    AssignUnits(ioPath, posixPath);
}

void VURL::POSIX_to_HFS(VString& ioPath)
{
    if (!ioPath.IsEmpty() && ioPath.GetCPointer()[0] == u'/')
    {
        std::string bytes;
        VString colonPath;
        if (TextToUTF8(ioPath, bytes) && bytes.find('\0') == std::string::npos &&
            XMacFile::PosixFullPathToHFS(bytes.c_str(), false, colonPath))
        {
            ioPath.FromString(colonPath);
            return;
        }
    }
    const Units path = UnitsOf(ioPath);
    std::u16string colonPath;
    size_t owed = 0;
    size_t i = 0;
    while (i < path.size())
    {
        const bool componentStart = i == 0 || path[i - 1] == u'/';
        if (path[i] == u'/')
        {
            // A run of "/" is one separator.
            if (!componentStart || i == 0)
                ++owed;
            ++i;
            continue;
        }
        if (componentStart)
        {
            size_t end = path.find(u'/', i);
            if (end == Units::npos)
                end = path.size();
            const Units component = path.substr(i, end - i);
            if (component == u".")
            {
                i = end + (end < path.size() ? 1 : 0);
                continue;
            }
            if (component == u"..")
            {
                ++owed;
                i = end + (end < path.size() ? 1 : 0);
                continue;
            }
        }
        colonPath.append(owed, u':');
        owed = 0;
        colonPath.push_back(path[i] == u':' ? u'/' : path[i]);
        ++i;
    }
    colonPath.append(owed, u':');
    AssignUnits(ioPath, colonPath);
}

CharSet VURL::DebugDump(char* ioBuffer, int& ioSize) const
{
    return DumpTextTo(fURL, ioBuffer, ioSize);
}

} // namespace kova
