// VJSONImporter is the one reader of JSON text in the toolbox. It turns a UTF-16 text into a
// VJSONValue tree, or, through JSONObjectToBag, directly into a value bag. Every JSON file of the
// system passes through it (VJSONValue::ParseFromString and LoadFromFile, IFile::GetContentAsJSON,
// VValueBag::FromJSONString).
//
// The reader is lenient unless told otherwise: names need not be quoted, words that are not
// literals become strings, a string may run to the end of the text, and text after the first
// complete value is not examined. Option bits:
//   1      a failure yields undefined instead of what was read so far
//   2      strict: RFC 8259 (quoted names, literals and numbers only, closed strings, the listed
//          escapes only, no lone surrogate escape, no raw control unit in a string, blanks
//          limited to space, tab, LF and CR, nothing but blanks after the value; a file in
//          UTF-8 holds only well-formed UTF-8, 551 expecting "UTF-8" otherwise)
//   4      quiet tokens: an invalid or missing token pushes no error record (still 550)
//   8      symbols: the line and column of every property and element (GetPathsLines)
//   0x40   "!!" dates: a quoted "!!...!!" text of at least 4 units becomes a date
//   0x80   ISO dates: a quoted YYYY-MM-DD text becomes a date
//   0x100  shared: every object and array read gets the reading's one storage locker
//   0x200  with 0x40, only "!!YYYY-MM-DD!!" becomes a date; in bags it replaces the ISO rule
//
// A syntax failure pushes a specific record (551 to 554) and then 550 with the source, line and
// position of the offending token, and returns kova 550. Nesting deeper than 10,000 levels, or
// deep enough to leave less than 10,240 bytes of stack, fails with kova 108 and then 550.
//
// A value that binary forms ("__PRIVATE_BINARY_OBJECT") brought may expand no further than the
// bound of its distinct size (JSONExpandedSize.h): past it, kova 918 and undefined. A value bag
// holds each shared part as many times as it is met: the forms of its text may together expand
// no further than the copy bound of the text's length.
//
// An importer is made for one text and reads forward only: Parse and JSONObjectToBag start
// where the previous read stopped.
#pragma once

#include "kernel/json/VJSONObject.h"
#include "kernel/json/VJSONValue.h"
#include "kernel/text/VString.h"
#include "kernel/values/KovaTypes.h"
#include "kernel/values/VObject.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace kova
{

class IFile;
class VStorageLocker;
class VValueBag;

class VJSONImporter : public VObject
{
public:
    static constexpr uint32_t kUndefinedOnFailure = 1;
    static constexpr uint32_t kStrict = 2;
    static constexpr uint32_t kQuietTokens = 4;
    static constexpr uint32_t kSymbols = 8;
    static constexpr uint32_t kBangDates = 0x40;
    static constexpr uint32_t kISODates = 0x80;
    static constexpr uint32_t kShared = 0x100;
    static constexpr uint32_t kNonAmbiguousDates = 0x200;

    enum JsonToken : uint32_t
    {
        jsonEnd = 0,
        jsonBeginObject = 1,
        jsonEndObject = 2,
        jsonBeginArray = 3,
        jsonEndArray = 4,
        jsonComma = 5,
        jsonColon = 6,
        jsonString = 7, // a quoted string or an unquoted word
        jsonBang = 8,   // never produced by the reader
    };

    VJSONImporter(const VString& inText, uint32_t inOptions);
    ~VJSONImporter() override;
    VJSONImporter(const VJSONImporter&) = delete;
    VJSONImporter& operator=(const VJSONImporter&) = delete;

    static VError ParseString(const VString& inText, VJSONValue& outValue, uint32_t inOptions);
    VError Parse(VJSONValue& outValue);
    // A null file gives undefined and succeeds. A file that cannot be read gives its error and
    // leaves the value untouched; a syntax failure leaves what was read (undefined with option 1).
    static VError ParseFile(const IFile* inFile, VJSONValue& outValue, uint32_t inOptions);

    // Reads one object into the bag: attributes for scalar properties, elements for objects and
    // for the objects of arrays. Commas are optional, trailing commas accepted, and the end of
    // the text closes what is open. What was added before a failure stays.
    VError JSONObjectToBag(VValueBag& ioBag);

    // The symbols object of option 8 (owned by the importer), else null.
    VJSONObject* GetPathsLines() const { return fSymbols; }
    // Under option 8, records the closing brace of the outermost object as the path "}".
    void SetPathLineForEncompasingObject();

    // The next token, with its text for jsonString. Without option 2 a string that reaches the
    // end of the text is returned as read; with it the failure is reported through outError
    // (when given) and jsonEnd is returned.
    JsonToken GetNextJSONToken(VString& outText, bool* outQuoted, VError* outError);
    // The same without building the text.
    JsonToken GetNextJSONToken(VError* outError);

    // The name under which a caller stores the symbols object.
    static const VString sNameOfThePropertyWithPathsAndLines;

private:
    class Scratch;

    // A token as read: its kind and, for jsonString, its units, which are a view of the source
    // unless escapes had to be decoded into fText.
    struct Token
    {
        JsonToken fKind = jsonEnd;
        bool fQuoted = false;
        const UniChar* fUnits = nullptr;
        int32_t fLength = 0;
        bool fDecoded = false;
        VString fText;

        // The text as a string of its own.
        VString GetText() const;
    };

    // The bytes of a file for a strict reading, as text: well-formed UTF-8 (the mark of another
    // form is honoured), else 551 and 550 naming the first byte that is not.
    static VError _ReadStrictContent(const IFile& inFile, const VString& inPath, VString& outText,
                                     uint32_t inOptions);
    // The name of the token's units, shared with the names met before when it is short.
    const VJSONObject::Name& _SharedName(const Token& inToken);
    // An object carrying "__PRIVATE_BINARY_OBJECT" as a string becomes the value it encodes.
    VError _DecodeBinaryObject(VJSONValue& ioValue);
    VError _ParseValue(VJSONValue& outValue);
    // The value that begins with the token just read (fToken): an object, an array or a scalar;
    // any other token is refused, expecting inExpectedToken (a refused word, inExpectedWord).
    VError _ValueOfToken(JsonToken inKind, VJSONValue& outValue, const char* inExpectedWord,
                         const char* inExpectedToken);
    VError _ParseObject(VJSONValue& outValue);
    VError _ParseArray(VJSONValue& outValue);
    VError _ReadTopValue(VJSONValue& outValue);
    VError _StringToValue(const VString& inText, bool inQuoted, VJSONValue& outValue, const char* inExpected);
    VError _TokenToValue(Token& ioToken, VJSONValue& outValue, const char* inExpected);
    VError _WordToValue(const UniChar* inUnits, int32_t inLength, VJSONValue& outValue,
                        const char* inExpected);
    bool _QuotedToDate(const UniChar* inUnits, int32_t inLength, VJSONValue& outValue) const;

    // The tokenizer. inWantText: build the text of a string that has escapes (a plain one is
    // always given as a view of the source).
    JsonToken _NextToken(Token& outToken, bool inWantText);
    // The tokenizer for the public entry points: records only when outError is given.
    JsonToken _PublicToken(Token& outToken, bool inWantText, VError* outError);
    bool _SkipBlanks();
    bool _ReadString(Token& ioToken, bool inWantText);
    void _ReadWord(Token& ioToken);
    void _CountLine(const UniChar* inAt);
    // Strict mode refuses the unit: 551 and 550.
    VError _RefuseStrict(const VString& inFound, const char* inExpected);
    // Option 0x100: the locker of every collection read, made on first need.
    VStorageLocker* _GetStorageLocker();

    VError _BagObject(VValueBag& ioBag, uint32_t inDepth);
    VError _BagValue(VValueBag& ioBag, const VString& inName, Token& ioToken, uint32_t inDepth);
    VError _BagArray(VValueBag& ioBag, const VString& inName, uint32_t inDepth);
    void _SetBagScalar(VValueBag& ioBag, const VString& inName, const Token& inToken, bool inQuotedAsString,
                       VError& outError);

    void _RecordSymbol(const VString& inPath, int64_t inOffset);
    void _AppendToPath(const VString& inName);

    static VString _TokenToString(JsonToken inToken);
    VString _GetStartTokenFirstChar() const;

    VError _ThrowErrorMalformed();
    VError _ThrowErrorInvalidToken(const VString& inFound, const char* inExpected);
    VError _ThrowErrorInvalidToken(JsonToken inFound, const char* inExpected);
    VError _ThrowErrorUnterminated();
    VError _ThrowErrorExtraComma(const char* inToken);

    VString fText;
    uint32_t fOptions;
    int32_t fLength;
    const UniChar* fCursor;
    const UniChar* fStart;
    const UniChar* fEnd;
    const UniChar* fTokenStart;
    VString fSourceName;
    VString fCurrentPath;
    VJSONObject* fSymbols = nullptr;
    // Retained; made under option 0x100.
    VStorageLocker* fStorageLocker = nullptr;
    uint32_t fLine = 1;
    const UniChar* fLineStart;
    bool fAnyDate;
    // What the binary forms still to be read into a bag may expand to.
    uint64_t fBagBudget;
    // Set once a binary form was read into the value being read.
    bool fDecodedForms = false;
    // Set once a tokenizer error has been reported, so that its callers add no record of theirs.
    bool fTokenFailed = false;
    VJSONObject::Name fLongName;
    // The token being read; the readers take what they need of it before reading the next.
    Token fToken;
    // The names met, and the members of the objects and arrays being read, nested ones above
    // their parents': each collection is filled once, at its end, with room for exactly its
    // members. The thread's own, lent to one reading at a time.
    Scratch* fScratch = nullptr;
    bool fOwnsScratch = false;
    static thread_local std::unique_ptr<Scratch> sThreadScratch;

    friend class VJSONValue;
};

} // namespace kova
