#include "platform/mac/frameworks/CFPropertyList.h"

#include "kernel/text/Surrogates.h"
#include "kernel/values/VPackedKeyIndex.h"
#include "xml/XMLLibrary.h"

#include <xercesc/framework/MemBufInputSource.hpp>
#include <xercesc/framework/MemoryManager.hpp>
#include <xercesc/framework/XMLPScanToken.hpp>
#include <xercesc/parsers/SAX2XMLReaderImpl.hpp>
#include <xercesc/sax2/Attributes.hpp>
#include <xercesc/sax2/DefaultHandler.hpp>
#include <xercesc/util/OutOfMemoryException.hpp>
#include <xercesc/util/PlatformUtils.hpp>
#include <xercesc/util/SecurityManager.hpp>
#include <xercesc/util/XMLUni.hpp>

#include <cerrno>
#include <charconv>
#include <cstddef>
#include <cstdint>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kova::cf
{

// ---- values

PropertyList PropertyList::MakeString(std::string text)
{
    PropertyList value(Kind::kString);
    value.fString = std::move(text);
    return value;
}

PropertyList PropertyList::MakeInteger(int64_t number)
{
    PropertyList value(Kind::kInteger);
    value.fInteger = number;
    return value;
}

PropertyList PropertyList::MakeReal(double number)
{
    PropertyList value(Kind::kReal);
    value.fReal = number;
    return value;
}

PropertyList PropertyList::MakeBoolean(bool flag)
{
    PropertyList value(Kind::kBoolean);
    value.fInteger = flag ? 1 : 0;
    return value;
}

PropertyList PropertyList::MakeDate(double absoluteTime)
{
    PropertyList value(Kind::kDate);
    value.fReal = absoluteTime;
    return value;
}

PropertyList PropertyList::MakeData(std::vector<uint8_t> bytes)
{
    PropertyList value(Kind::kData);
    value.fData = std::move(bytes);
    return value;
}

const std::string& PropertyList::GetString() const
{
    static const std::string sEmpty;
    return fKind == Kind::kString ? fString : sEmpty;
}

const std::vector<uint8_t>& PropertyList::GetData() const
{
    static const std::vector<uint8_t> sEmpty;
    return fKind == Kind::kData ? fData : sEmpty;
}

const PropertyList* PropertyList::GetValue(std::string_view key) const
{
    if (fKind != Kind::kDictionary)
        return nullptr;
    for (size_t index = 0; index < fKeys.size(); ++index)
    {
        if (fKeys[index] == key)
            return &fItems[index];
    }
    return nullptr;
}

void PropertyList::SetValue(std::string key, PropertyList value)
{
    if (fKind != Kind::kDictionary)
        return;
    for (size_t index = 0; index < fKeys.size(); ++index)
    {
        if (fKeys[index] == key)
        {
            fItems[index] = std::move(value);
            return;
        }
    }
    fKeys.push_back(std::move(key));
    fItems.push_back(std::move(value));
}

void PropertyList::Append(PropertyList value)
{
    if (fKind == Kind::kArray)
        fItems.push_back(std::move(value));
}

// ---- text of the leaf elements

namespace
{

bool IsSpace(char16_t unit)
{
    return unit == u' ' || unit == u'\t' || unit == u'\n' || unit == u'\r';
}

std::u16string_view Trim(std::u16string_view text)
{
    while (!text.empty() && IsSpace(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && IsSpace(text.back()))
        text.remove_suffix(1);
    return text;
}

// UTF-16 to UTF-8; a lone surrogate becomes U+FFFD.
std::string ToUTF8(std::u16string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (size_t index = 0; index < text.size(); ++index)
    {
        char32_t code = text[index];
        if (StartsSurrogatePair(text.data() + index, text.data() + text.size()))
        {
            code = JoinSurrogates(code, text[index + 1]);
            ++index;
        }
        else if (IsSurrogate(code))
        {
            code = 0xFFFD;
        }
        if (code < 0x80)
        {
            out.push_back(char(code));
        }
        else if (code < 0x800)
        {
            out.push_back(char(0xC0 | (code >> 6)));
            out.push_back(char(0x80 | (code & 0x3F)));
        }
        else if (code < 0x10000)
        {
            out.push_back(char(0xE0 | (code >> 12)));
            out.push_back(char(0x80 | ((code >> 6) & 0x3F)));
            out.push_back(char(0x80 | (code & 0x3F)));
        }
        else
        {
            out.push_back(char(0xF0 | (code >> 18)));
            out.push_back(char(0x80 | ((code >> 12) & 0x3F)));
            out.push_back(char(0x80 | ((code >> 6) & 0x3F)));
            out.push_back(char(0x80 | (code & 0x3F)));
        }
    }
    return out;
}

// The ASCII text of a number or date; empty when it holds anything else.
std::string ToASCII(std::u16string_view text)
{
    std::string out;
    for (char16_t unit : text)
    {
        if (unit == 0 || unit >= 0x80)
            return std::string();
        out.push_back(char(unit));
    }
    return out;
}

// The whole text, less surrounding white space, as one number of from_chars's syntax with an
// optional leading '+'; absent for anything else.
template <class Number, class... Format>
std::optional<Number> ParseNumber(std::u16string_view text, Format... format)
{
    std::string ascii = ToASCII(Trim(text));
    const char* begin = ascii.data();
    const char* end = begin + ascii.size();
    if (begin != end && *begin == '+')
    {
        ++begin;
        if (begin != end && (*begin == '-' || *begin == '+'))
            return std::nullopt;
    }
    if (begin == end)
        return std::nullopt;
    Number value{};
    auto [last, error] = std::from_chars(begin, end, value, format...);
    if (error != std::errc() || last != end)
        return std::nullopt;
    return value;
}

// Days from 1970-01-01 to a date of the proleptic Gregorian calendar.
int64_t DaysFromCivil(int64_t year, int64_t month, int64_t day)
{
    year -= month <= 2 ? 1 : 0;
    int64_t era = (year >= 0 ? year : year - 399) / 400;
    int64_t yearOfEra = year - era * 400;
    int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

// "YYYY-MM-DDTHH:MM:SSZ" to seconds since 2001-01-01 00:00:00 UTC.
std::optional<double> ParseDate(std::u16string_view text)
{
    std::string ascii = ToASCII(Trim(text));
    if (ascii.size() != 20 || ascii[4] != '-' || ascii[7] != '-' || ascii[10] != 'T' || ascii[13] != ':' ||
        ascii[16] != ':' || ascii[19] != 'Z')
        return std::nullopt;
    auto field = [&ascii](size_t at, size_t length) -> int64_t
    {
        int64_t value = 0;
        for (size_t index = at; index < at + length; ++index)
        {
            if (ascii[index] < '0' || ascii[index] > '9')
                return -1;
            value = value * 10 + (ascii[index] - '0');
        }
        return value;
    };
    int64_t year = field(0, 4);
    int64_t month = field(5, 2);
    int64_t day = field(8, 2);
    int64_t hour = field(11, 2);
    int64_t minute = field(14, 2);
    int64_t second = field(17, 2);
    static constexpr int64_t kMonthDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (year < 0 || month < 1 || month > 12 || day < 1 || day > kMonthDays[month - 1] || hour < 0 ||
        hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59)
        return std::nullopt;
    bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    if (month == 2 && day == 29 && !leap)
        return std::nullopt;
    constexpr int64_t kUnixTo2001 = 978307200;
    int64_t seconds = DaysFromCivil(year, month, day) * 86400 + hour * 3600 + minute * 60 + second;
    return double(seconds - kUnixTo2001);
}

std::optional<std::vector<uint8_t>> ParseBase64(std::u16string_view text)
{
    std::vector<uint8_t> bytes;
    uint32_t bits = 0;
    int32_t bitCount = 0;
    size_t symbols = 0;
    size_t padding = 0;
    for (char16_t unit : text)
    {
        if (IsSpace(unit))
            continue;
        int32_t value;
        if (unit == u'=')
        {
            ++padding;
            ++symbols;
            continue;
        }
        if (padding != 0)
            return std::nullopt;
        if (unit >= u'A' && unit <= u'Z')
            value = unit - u'A';
        else if (unit >= u'a' && unit <= u'z')
            value = unit - u'a' + 26;
        else if (unit >= u'0' && unit <= u'9')
            value = unit - u'0' + 52;
        else if (unit == u'+')
            value = 62;
        else if (unit == u'/')
            value = 63;
        else
            return std::nullopt;
        ++symbols;
        bits = (bits << 6) | uint32_t(value);
        bitCount += 6;
        if (bitCount >= 8)
        {
            bitCount -= 8;
            bytes.push_back(uint8_t(bits >> bitCount));
            bits &= (1u << bitCount) - 1;
        }
    }
    if (symbols % 4 != 0 || padding > 2)
        return std::nullopt;
    return bytes;
}

// ---- the reader

using xercesc::Attributes;
using xercesc::SAXParseException;

// Thrown through the library to end a parse at once.
struct Refused
{
};

// The blocks the library takes for one list. A list's names are few and fixed, so that the
// library takes some hundreds of blocks for any list, whatever its size: its buffers grow by
// doubling and its stack of elements with the depth, which the builder bounds. Only the attributes
// of a start tag take more, several blocks each beyond the most an earlier tag had, and the
// library reads a whole tag before it tells anything, searching each attribute among those before
// it under a hash anyone can compute: names made to share it would cost the square of their
// number. The count ends such a tag while the library reads it (a list has one attribute, the
// version of its root), and tags that each bring a few attributes more than the one before.
//
// The library loses a block when a refusal meets it halfway through an object; nothing it made
// outlives its reader, so that what it still holds once the reader is gone is given back here.
class CountedBlocks final : public xercesc::MemoryManager
{
public:
    static constexpr size_t kMaxBlocks = 2048;

    CountedBlocks() = default;
    CountedBlocks(const CountedBlocks&) = delete;
    CountedBlocks& operator=(const CountedBlocks&) = delete;
    ~CountedBlocks() override
    {
        while (fHeld != nullptr)
            deallocate(fHeld + 1);
    }

    // The parse is over: the library allocates as it tears the reader down.
    void End() { fInForce = false; }
    bool IsExceeded() const { return fCount > kMaxBlocks; }

    xercesc::MemoryManager* getExceptionMemoryManager() override { return fLibrary; }
    void* allocate(XMLSize_t size) override
    {
        // Past the count every block is refused, until the parse is over: the library may catch
        // the first refusal, never all of them.
        if ((fInForce && ++fCount > kMaxBlocks) || size > SIZE_MAX - sizeof(Block))
            throw xercesc::OutOfMemoryException();
        Block* block = static_cast<Block*>(fLibrary->allocate(sizeof(Block) + size));
        *block = {nullptr, fHeld};
        if (fHeld != nullptr)
            fHeld->fPrevious = block;
        fHeld = block;
        return block + 1;
    }
    void deallocate(void* pointer) override
    {
        if (pointer == nullptr)
            return;
        Block* block = static_cast<Block*>(pointer) - 1;
        (block->fPrevious != nullptr ? block->fPrevious->fNext : fHeld) = block->fNext;
        if (block->fNext != nullptr)
            block->fNext->fPrevious = block->fPrevious;
        fLibrary->deallocate(block);
    }

private:
    // Before each block, which it keeps aligned for any type.
    struct alignas(std::max_align_t) Block
    {
        Block* fPrevious;
        Block* fNext;
    };

    xercesc::MemoryManager* const fLibrary = xercesc::XMLPlatformUtils::fgMemoryManager;
    Block* fHeld = nullptr;
    size_t fCount = 0;
    bool fInForce = true;
};

// The library's reader, which refuses the internal subset of a document type before it reads any
// of it. A list has none, and the library would read one whole as the first token, filing the
// names of its declarations under its hash, and expanding the entities of its attribute defaults
// without a count: minutes and gigabytes before the next token.
class PropertyListReader final : public xercesc::SAX2XMLReaderImpl
{
public:
    explicit PropertyListReader(xercesc::MemoryManager* manager) : SAX2XMLReaderImpl(manager) {}

    void startIntSubset() override { throw Refused(); }
};

} // namespace

// Builds the tree from the parser's events; any fault marks the document failed, and the
// progressive parse stops at the next token.
class PropertyListBuilder final : public xercesc::DefaultHandler
{
public:
    bool HasFailed() const { return fFailed; }
    std::optional<PropertyList> TakeResult()
    {
        if (fFailed || !fRootClosed || !fResult.has_value())
            return std::nullopt;
        return std::move(fResult);
    }

    void startElement(const XMLCh* const, const XMLCh* const, const XMLCh* const qname,
                      const Attributes&) override
    {
        if (fFailed)
            return;
        std::u16string_view name(qname);
        if (++fDepth > kMaxPropertyListDepth || fLeaf != Leaf::kNone)
            return Fail();
        if (!fRootOpened)
        {
            if (name != u"plist")
                return Fail();
            fRootOpened = true;
            return;
        }
        if (fRootClosed || (fContainers.empty() && fResult.has_value()))
            return Fail();
        bool inDictionary =
            !fContainers.empty() && fContainers.back().fValue.GetKind() == PropertyList::Kind::kDictionary;
        if (inDictionary && !fContainers.back().fKey.has_value())
        {
            // A dictionary holds key, value, key, value...
            if (name != u"key")
                return Fail();
            fLeaf = Leaf::kKey;
            fText.clear();
            return;
        }
        if (name == u"dict")
            fContainers.push_back({PropertyList::MakeDictionary(), std::nullopt, {}});
        else if (name == u"array")
            fContainers.push_back({PropertyList::MakeArray(), std::nullopt, {}});
        else if (name == u"string")
            fLeaf = Leaf::kString;
        else if (name == u"integer")
            fLeaf = Leaf::kInteger;
        else if (name == u"real")
            fLeaf = Leaf::kReal;
        else if (name == u"true")
            fLeaf = Leaf::kTrue;
        else if (name == u"false")
            fLeaf = Leaf::kFalse;
        else if (name == u"date")
            fLeaf = Leaf::kDate;
        else if (name == u"data")
            fLeaf = Leaf::kData;
        else
            return Fail();
        fText.clear();
    }

    void endElement(const XMLCh* const, const XMLCh* const, const XMLCh* const qname) override
    {
        if (fFailed)
            return;
        --fDepth;
        if (fLeaf != Leaf::kNone)
        {
            Leaf leaf = fLeaf;
            fLeaf = Leaf::kNone;
            return EndLeaf(leaf);
        }
        if (!fContainers.empty())
        {
            Container closed = std::move(fContainers.back());
            fContainers.pop_back();
            if (closed.fKey.has_value())
                return Fail();
            return Deliver(std::move(closed.fValue));
        }
        if (std::u16string_view(qname) != u"plist")
            return Fail();
        fRootClosed = true;
    }

    void characters(const XMLCh* const chars, const XMLSize_t length) override
    {
        if (fFailed)
            return;
        if (fLeaf != Leaf::kNone)
        {
            fText.append(chars, length);
            return;
        }
        if (!Trim(std::u16string_view(chars, length)).empty())
            Fail();
    }

    xercesc::InputSource* resolveEntity(const XMLCh* const, const XMLCh* const) override
    {
        Fail();
        return nullptr;
    }

    void error(const SAXParseException&) override { Fail(); }
    void fatalError(const SAXParseException&) override { Fail(); }
    void warning(const SAXParseException&) override {}

private:
    enum class Leaf
    {
        kNone,
        kKey,
        kString,
        kInteger,
        kReal,
        kTrue,
        kFalse,
        kDate,
        kData,
    };

    struct Container
    {
        PropertyList fValue;
        // In a dictionary: the key whose value comes next, and the keys so far by their hash.
        std::optional<std::string> fKey;
        _VPackedKeyIndex fIndex;
    };

    void Fail() { fFailed = true; }

    void EndLeaf(Leaf leaf)
    {
        switch (leaf)
        {
        case Leaf::kKey:
            fContainers.back().fKey = ToUTF8(fText);
            return;
        case Leaf::kString:
            return Deliver(PropertyList::MakeString(ToUTF8(fText)));
        case Leaf::kInteger:
            if (std::optional<int64_t> number = ParseNumber<int64_t>(fText))
                return Deliver(PropertyList::MakeInteger(*number));
            return Fail();
        case Leaf::kReal:
            if (std::optional<double> number = ParseNumber<double>(fText, std::chars_format::general))
                return Deliver(PropertyList::MakeReal(*number));
            return Fail();
        case Leaf::kTrue:
        case Leaf::kFalse:
            if (!Trim(fText).empty())
                return Fail();
            return Deliver(PropertyList::MakeBoolean(leaf == Leaf::kTrue));
        case Leaf::kDate:
            if (std::optional<double> date = ParseDate(fText))
                return Deliver(PropertyList::MakeDate(*date));
            return Fail();
        case Leaf::kData:
            if (std::optional<std::vector<uint8_t>> bytes = ParseBase64(fText))
                return Deliver(PropertyList::MakeData(std::move(*bytes)));
            return Fail();
        case Leaf::kNone:
            return;
        }
    }

    void Deliver(PropertyList value)
    {
        if (fContainers.empty())
        {
            fResult = std::move(value);
            return;
        }
        Container& container = fContainers.back();
        if (container.fValue.GetKind() == PropertyList::Kind::kArray)
        {
            container.fValue.Append(std::move(value));
            return;
        }
        // A key that comes again replaces the value of the first.
        PropertyList& dictionary = container.fValue;
        std::string& key = *container.fKey;
        const uint32_t hash = _VPackedKeyIndex::HashOf(key.data(), key.size());
        const uint32_t slot =
            container.fIndex.IsEmpty()
                ? _VPackedKeyIndex::kNoSlot
                : container.fIndex.Find(hash, [&](uint32_t at) { return dictionary.fKeys[at] == key; });
        if (slot != _VPackedKeyIndex::kNoSlot)
        {
            dictionary.fItems[slot] = std::move(value);
        }
        else
        {
            if (!container.fIndex.Insert(hash, uint32_t(dictionary.fKeys.size())))
                return Fail();
            dictionary.fKeys.push_back(std::move(key));
            dictionary.fItems.push_back(std::move(value));
        }
        container.fKey.reset();
    }

    std::vector<Container> fContainers;
    std::optional<PropertyList> fResult;
    std::u16string fText;
    Leaf fLeaf = Leaf::kNone;
    size_t fDepth = 0;
    bool fRootOpened = false;
    bool fRootClosed = false;
    bool fFailed = false;
};

namespace
{

std::optional<PropertyList> Parse(const char* bytes, size_t size)
{
    PropertyListBuilder builder;
    xercesc::SecurityManager securityManager;
    CountedBlocks blocks;
    PropertyListReader reader(&blocks);
    ApplyUntrustedInputSettings(reader, securityManager, size);
    reader.setFeature(xercesc::XMLUni::fgSAX2CoreNameSpaces, false);
    reader.setFeature(xercesc::XMLUni::fgSAX2CoreValidation, false);
    reader.setFeature(xercesc::XMLUni::fgXercesLoadExternalDTD, false);
    reader.setContentHandler(&builder);
    reader.setErrorHandler(&builder);
    reader.setEntityResolver(&builder);
    // Without a handler of declarations the library tells the reader nothing of the document type.
    reader.setDeclarationHandler(&builder);

    xercesc::MemBufInputSource source(reinterpret_cast<const XMLByte*>(bytes), size, "plist");
    // The library reads the caller's bytes in place, without a copy of its own.
    source.setCopyBufToStream(false);
    xercesc::XMLPScanToken token;
    bool read = true;
    try
    {
        bool more = reader.parseFirst(source, token);
        while (more && !builder.HasFailed())
            more = reader.parseNext(token);
    }
    catch (...)
    {
        // The library reports some faults by exceptions (malformed input, exhausted memory), and
        // the reader refuses an internal subset by one.
        read = false;
    }
    blocks.End();
    if (!read || blocks.IsExceeded())
        return std::nullopt;
    if (builder.HasFailed())
        reader.parseReset(token);
    return builder.TakeResult();
}

} // namespace

std::optional<PropertyList> ReadXMLPropertyList(const char* bytes, size_t size)
{
    if (bytes == nullptr || size == 0 || size > kMaxPropertyListSize)
        return std::nullopt;
    if (!XMLLibraryInitialize())
        return std::nullopt;
    std::optional<PropertyList> result;
    try
    {
        result = Parse(bytes, size);
    }
    catch (...)
    {
        // The library may throw as it makes its reader (exhausted memory): absent.
        result.reset();
    }
    XMLLibraryTerminate();
    return result;
}

std::optional<PropertyList> ReadXMLPropertyListFile(const std::string& path)
{
    // Opened without waiting and read only when it is a regular file: a pipe or a device named
    // there (a bundle is anyone's download) would hold the reader for ever.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    struct stat status = {};
    bool failed = ::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode) ||
                  uint64_t(status.st_size) > kMaxPropertyListSize;
    std::string bytes;
    char chunk[65536];
    while (!failed)
    {
        const ssize_t read = ::read(fd, chunk, sizeof(chunk));
        if (read == 0)
            break;
        if (read < 0)
        {
            failed = errno != EINTR;
            continue;
        }
        // The file may grow while it is read.
        failed = bytes.size() + size_t(read) > kMaxPropertyListSize;
        if (!failed)
            bytes.append(chunk, size_t(read));
    }
    ::close(fd);
    if (failed)
        return std::nullopt;
    return ReadXMLPropertyList(bytes.data(), bytes.size());
}

} // namespace kova::cf
