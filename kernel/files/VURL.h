// VURL is a URL value: its text split into six parts (scheme, network location, path,
// parameters, query, fragment), percent-encoding and decoding, and the conversions between URLs
// and file paths in three path styles. The text is held decoded, with the positions of its parts;
// encoded forms are made on demand. A text that was given already encoded, and is made only of
// URL-safe characters, is also kept as it was given.
//
// Parsing: the scheme is what comes before the first "://"; the network location runs from there
// to the next "/", and the path starts after it (that "/" belongs to neither). Parameters follow
// the first ";", the query the first "?", the fragment the first "#" after the path's start, each
// part ending at the nearest of those delimiters after it. A text without "://" (or with a "/" or
// ":" before it), or without a "/" after its network location, is invalid; its parts still say
// what could be found. Nothing is raised.
#pragma once

#include "kernel/text/VString.h"
#include "kernel/values/VObject.h"

#include <cstdint>

namespace kova
{

class VFilePath;
class VFolder;

// The index of a part.
enum EURLParts
{
    eURL_SCHEME = 0,
    eURL_NETWORK_LOCATION = 1,
    eURL_PATH = 2,
    eURL_PARAMETERS = 3,
    eURL_QUERY = 4,
    eURL_FRAGMENT = 5,
    eURL_PART_COUNT = 6,
};

enum EURLPathStyle
{
    eURL_POSIX_STYLE = 0, // "/" separators, the URL form
    eURL_HFS_STYLE = 1,   // ":" separators
    eURL_WIN_STYLE = 2,   // "\" separators
};

// One part: 1-based start and length in the URL text; start 0 means the part is absent.
struct URLPart
{
    int32_t fStart = 0;
    int32_t fLength = 0;
};

class VURL : public VObject
{
public:
    VURL();
    VURL(const VURL& inOther);
    VURL(const VString& inText, bool inIsEncoded);
    VURL(const VString& inPath, EURLPathStyle inStyle, const VString& inPrefix);
    VURL(const VFolder& inBase, const VString& inRelativePath, EURLPathStyle inStyle);
    explicit VURL(const VFilePath& inPath);
    VURL& operator=(const VURL& inOther) { return FromURL(inOther); }
    ~VURL() override;

    VURL& FromURL(const VURL& inOther);
    VURL& FromString(const VString& inText, bool inIsEncoded);
    // A text without "://" is first put after the base (with a "/" between them), when the base
    // is not empty.
    VURL& FromString(const VString& inText, const VString& inBase, bool inIsEncoded);
    // A "file" URL for a path in the given style: the prefix followed by the path brought to the
    // POSIX form with one leading "/". A colon path whose steps climb above its first component
    // makes no URL (empty and invalid).
    VURL& FromFilePath(const VString& inPath, EURLPathStyle inStyle, const VString& inPrefix);
    // A "file" URL for a path relative to a folder (in the colon syntax for the HFS style, else
    // POSIX).
    VURL& FromRelativePath(const VFolder& inBase, const VString& inRelativePath, EURLPathStyle inStyle);
    // "file://" and the path's POSIX form ("file:" and it for a network path beginning with "//");
    // empty and invalid for a path with no POSIX form.
    VURL& FromFilePath(const VFilePath& inPath);
    void Clear();

    bool IsValid() const { return fIsValid; }

    // The getters give the stored (decoded) text of a part, or an empty text when it is absent.
    void GetScheme(VString& outScheme) const;
    // Exact, case-sensitive.
    bool IsScheme(const VString& inScheme) const;
    void GetNetworkLocation(VString& outText, bool inEncoded) const;
    void GetQuery(VString& outText, bool inEncoded) const;
    void GetParameters(VString& outText, bool inEncoded) const;
    void GetFragment(VString& outText, bool inEncoded) const;
    // The path, encoded when asked, then in the style.
    void GetPath(VString& outPath, EURLPathStyle inStyle, bool inEncoded) const;
    // The path, encoded when asked; no style applied.
    void GetRelativePath(VString& outPath, EURLPathStyle inStyle, bool inEncoded) const;
    // Path, parameters, query and fragment: everything from the path's start.
    void GetResourceSpecifier(VString& outText, bool inEncoded) const;
    // The path's last component (a trailing "/" ignored).
    void GetLastPathComponent(VString& outName, bool inEncoded) const;
    // The segments of the network location. Here the flag runs the other way: without inDecoded
    // the segment is percent-encoded.
    void GetHostName(VString& outText, bool inDecoded) const;
    void GetPortNumber(VString& outText, bool inDecoded) const;
    void GetUserName(VString& outText, bool inDecoded) const;
    void GetPassword(VString& outText, bool inDecoded) const;
    // The port's decimal digits read as a number (other characters skipped): 0 without a port,
    // -1 when a space is met or the number is no port (above 65535).
    int32_t GetPortNumber() const;
    // The whole URL: the URL text, or with inEncoded the text as it was given when it was kept,
    // else rebuilt from the encoded parts. "about:blank" is always given as it is.
    void GetAbsoluteURL(VString& outText, bool inEncoded) const;
    void GetRelativeURL(VString& outText, bool inEncoded) const;
    // The file path of a "file" URL (or of a URL without scheme); false, with the path cleared,
    // for another scheme or a file on another host.
    bool GetFilePath(VFilePath& outPath) const;
    // Whether the encoded path holds no "/", or only one at its end.
    bool IsRoot() const;

    static void ParseNetLocation(const VString& inLocation, VString* outUser, VString* outPassword,
                                 VString* outHost, VString* outPort);

    // The setters replace one part, the others keeping their text as it stands; an invalid URL is
    // left as it is.
    void SetScheme(const VString& inScheme);
    void SetNetWorkLocation(const VString& inText, bool inIsEncoded);
    void SetParameters(const VString& inText, bool inIsEncoded);
    void SetQuery(const VString& inText, bool inIsEncoded);
    void SetFragment(const VString& inText, bool inIsEncoded);
    void SetRelativePath(const VString& inPath, EURLPathStyle inStyle, bool inIsEncoded);
    // Appends the name to a path that ends with "/".
    bool ToSubFolder(const VString& inName);
    // Cuts the path after the "/" before its last component; false at the root or when the path
    // has no "/".
    bool ToParent();
    // A new URL holding the parent, owned by the caller; null when there is none.
    VURL* RetainParent() const;
    // A path that does not end with "/" loses its last component.
    void _RemoveLastPathComponent();

    // Percent-encoding: UTF-8 (decomposed first when asked), each byte of the escape set as "%"
    // and two upper-case hexadecimal digits. The full set is the bytes of "<>\"#%{}|\\^[]` ",
    // controls and bytes from 127 on; the other set leaves "[" and "]" (network locations).
    // ":" is never escaped. With inKeepUnicodeEscapes a "\" followed by "u" stays as it is.
    static void Encode(VString& ioText, bool inColonAsIs, bool inDecompose, bool inFullSet,
                       bool inKeepUnicodeEscapes);
    // Percent-decoding: each run of escapes becomes bytes, read as UTF-8 when there are two or
    // more, as ISO-8859-1 when there is one; a "%" without two units after it stays; a digit that
    // is not hexadecimal counts as 0. The result is composed.
    static void Decode(VString& ioText);
    static void Convert(VString& ioPath, EURLPathStyle inFrom, EURLPathStyle inTo, bool inRelative);
    static void WIN_to_POSIX(VString& ioPath);
    static void POSIX_to_WIN(VString& ioPath);
    // A full colon path goes through the volumes; a relative one is rewritten: runs of ":" become
    // "/" and "../" steps, "/" in names becomes ":". Either way the steps ("." , ".." and runs of
    // ":") are first resolved as in a file path, so that a ".." is left only where a relative
    // path climbs above its start, at its beginning.
    static void HFS_to_POSIX(VString& ioPath, bool inRelative);
    // A path beginning with "/" goes through the volumes; otherwise (or when that fails) it is
    // rewritten: "./" steps dropped, each "/" (a run counting once) and each ".." step a ":",
    // ":" in names a "/".
    static void POSIX_to_HFS(VString& ioPath);

    CharSet DebugDump(char* ioBuffer, int& ioSize) const override;
    using VObject::DebugDump;

private:
    // Parses the URL text into the parts; the result is its validity.
    static bool _BuildURLArray(const VString& inText, bool inPathOnly, URLPart* outParts);
    void _Parse(bool inPathOnly);
    void _GetPart(EURLParts inPart, VString& outText) const;
    bool _HasPart(EURLParts inPart) const { return fParts[inPart].fStart > 0; }
    // The part, percent-encoded when asked as in a rebuilt URL: the delimiters that would end it
    // early are escaped too.
    void _GetPart(EURLParts inPart, VString& outText, bool inEncoded) const;
    void _SetPart(const VString& inValue, EURLParts inPart);
    // User (0), password (1), host (2) or port (3) of the network location.
    void _GetNetLocationSegment(int inWhich, VString& outText, bool inDecoded) const;

    URLPart fParts[eURL_PART_COUNT];
    VString fURL;
    VString fEncodedURL;
    bool fIsValid = false;
};

} // namespace kova
