// Our stand-in for the property lists of CoreFoundation: the value tree (dictionary, array,
// string, integer, real, boolean, date, data) and a reader of XML property lists over Xerces-C.
// It serves code that runs before the toolbox's memory manager exists (the main bundle's
// information dictionary), so it allocates only through the C++ standard library.
//
// The reader trusts nothing: malformed XML, an unknown element, a dictionary whose keys and values
// do not alternate, a number or date or Base64 text that does not parse, nesting deeper than
// kMaxPropertyListDepth, input larger than kMaxPropertyListSize, a document type with an internal
// subset or a start tag of some hundreds of attributes all give an absent result (std::nullopt).
// External entities and DTDs are never loaded.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kova::cf
{

constexpr size_t kMaxPropertyListDepth = 256;
constexpr size_t kMaxPropertyListSize = 16 * 1024 * 1024;

class PropertyList
{
public:
    enum class Kind
    {
        kDictionary,
        kArray,
        kString,
        kInteger,
        kReal,
        kBoolean,
        kDate,
        kData,
    };

    // An empty dictionary.
    PropertyList() = default;

    static PropertyList MakeDictionary() { return PropertyList(Kind::kDictionary); }
    static PropertyList MakeArray() { return PropertyList(Kind::kArray); }
    static PropertyList MakeString(std::string text);
    static PropertyList MakeInteger(int64_t value);
    static PropertyList MakeReal(double value);
    static PropertyList MakeBoolean(bool value);
    // Seconds since 2001-01-01 00:00:00 UTC.
    static PropertyList MakeDate(double absoluteTime);
    static PropertyList MakeData(std::vector<uint8_t> bytes);

    Kind GetKind() const { return fKind; }
    bool IsString() const { return fKind == Kind::kString; }

    // Each getter answers the value of its own kind, and an empty one for another kind.
    const std::string& GetString() const;
    int64_t GetInteger() const { return fKind == Kind::kInteger ? fInteger : 0; }
    double GetReal() const { return fKind == Kind::kReal ? fReal : 0.0; }
    bool GetBoolean() const { return fKind == Kind::kBoolean && fInteger != 0; }
    double GetDate() const { return fKind == Kind::kDate ? fReal : 0.0; }
    const std::vector<uint8_t>& GetData() const;

    // Arrays: the elements; dictionaries: the values, in the order of GetKeys.
    const std::vector<PropertyList>& GetItems() const { return fItems; }
    const std::vector<std::string>& GetKeys() const { return fKeys; }
    size_t GetCount() const { return fItems.size(); }

    // The value of a key of a dictionary; null when absent or when this is no dictionary.
    const PropertyList* GetValue(std::string_view key) const;
    // Dictionaries: sets or replaces a key's value.
    void SetValue(std::string key, PropertyList value);
    // Arrays: appends an element.
    void Append(PropertyList value);

    friend bool operator==(const PropertyList&, const PropertyList&) = default;

private:
    // The reader fills a dictionary through an index of its keys.
    friend class PropertyListBuilder;

    explicit PropertyList(Kind kind) : fKind(kind) {}

    Kind fKind = Kind::kDictionary;
    int64_t fInteger = 0;
    double fReal = 0.0;
    std::string fString;
    std::vector<uint8_t> fData;
    std::vector<std::string> fKeys;
    std::vector<PropertyList> fItems;
};

// Reads an XML property list (a "plist" root element holding one value).
std::optional<PropertyList> ReadXMLPropertyList(const char* bytes, size_t size);
// The same from a file; absent when the file cannot be read, is no regular file (a pipe or a
// device is never waited on) or exceeds kMaxPropertyListSize.
std::optional<PropertyList> ReadXMLPropertyListFile(const std::string& path);

} // namespace kova::cf
