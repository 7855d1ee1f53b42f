// What every user of the XML library (Xerces-C) shares: the process lock around the library's
// counted initialisation, the settings that make a parser safe with untrusted input, and the
// bridge between the library's XMLCh and the toolbox's UniChar (both UTF-16 units).
//
// Untrusted input: the library never resolves an entity or a DTD by itself (no file, no network);
// what its users' entity resolvers give is all it reads. Entity expansions are counted, in
// proportion to the document, so that nested entities cannot blow a small document up. Depth and
// the text that entities add are capped by the parsers' handlers, with the limits below, and what
// the library holds for a document by a budget in proportion to it. The DOM parser also bounds the
// attributes a DTD declares for one element; both parsers bound what the declared attributes cost
// the document's elements, and refuse names made to share the library's hash.
//
// Used before the toolbox's memory manager exists (the property-list reader of the main bundle):
// nothing here allocates through it.
#pragma once

#include "kernel/values/KovaTypes.h"

#include <xercesc/util/XercesDefs.hpp>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <type_traits>
#include <unordered_map>
#include <unordered_set>

XERCES_CPP_NAMESPACE_BEGIN
class MemoryManager;
class SAXParser;
class SAX2XMLReader;
class DOMConfiguration;
class SecurityManager;
class XMLScanner;
class XMLEntityDecl;
class XMLElementDecl;
class XMLAttr;
class XMLAttDef;
template <class TElem>
class RefVectorOf;
XERCES_CPP_NAMESPACE_END

namespace kova
{

static_assert(std::is_same_v<XMLCh, UniChar>, "the XML library's units are the toolbox's UTF-16 units");

// Deepest element nesting a document may have.
constexpr uint32_t kXMLMaxElementDepth = 1024;
// Entities a document may expand, nested ones and the parameter entities of its DTD included: a
// base, and one more for every so many bytes of the document and of the external entities it
// reads (the predefined entities and character references are no expansions). A reference takes
// three bytes at least, so that only nesting reaches it; each expansion costs the library a
// reader of its own, some microseconds.
constexpr size_t kXMLEntityExpansionBase = 20000;
constexpr size_t kXMLInputBytesPerEntityExpansion = 2;
// Units of character data that entity expansions may add to a document's text.
constexpr size_t kXMLMaxEntityText = 16 * 1024 * 1024;
// What the DOM parser may spend on the attributes a DTD declares: at each attribute list of an
// element, the library makes every default declared for it so far, searching each among the
// others, so each list counts the square of the attributes declared for its element. One list of
// 4,096 attributes, or some 360 lists of one attribute for the same element, reach it.
constexpr size_t kXMLMaxDeclaredAttributeWork = size_t(1) << 24;
// What the attributes a DTD declares may cost a document's elements, in units: at each element the
// library goes through every attribute declared for it and makes each default that the start tag
// leaves out, so an element counts one for each attribute declared for it, and the units of the
// name and of the value of each default it takes. A base, and so much for each byte of the
// document: a DTD of a few kilobytes, taken again by every element, costs no more than a document
// of many defaults would.
constexpr size_t kXMLDefaultsWorkBase = 16 * 1024 * 1024;
constexpr size_t kXMLDefaultsWorkPerInputByte = 16;
// Distinct names of a document that may share the library's hash of them. Ordinary names share it
// by chance only, a few at most.
constexpr size_t kXMLMaxNamesOfOneHash = 32;
// Bytes the library may hold at once while it reads a document: a base, and so much for each byte
// of the document and of the external entities it reads. What it frees is given back.
constexpr size_t kXMLAllocationBase = 64 * 1024 * 1024;
constexpr size_t kXMLAllocationPerInputByte = 128;
// Bytes more that the DOM may hold for each default of the DTD that an element takes, and for each
// unit of its value: it keeps three copies of the default in the element, which the document's
// bytes do not pay for. In all no more than kXMLAllocationPerDefault for each byte of the document.
constexpr size_t kXMLAllocationPerDefault = 1024;
constexpr size_t kXMLAllocationPerDefaultUnit = 8;

inline const UniChar* UniCharsOfXMLCh(const XMLCh* inText)
{
    return inText;
}
inline const XMLCh* XMLChOfUniChars(const UniChar* inText)
{
    return inText;
}

// Counted: the library stays up until as many terminations as initialisations have run. Both
// take one process-wide lock. False when the library could not start.
bool XMLLibraryInitialize();
void XMLLibraryTerminate();

// The expansions allowed to a document of so many bytes (kXMLEntityExpansionBase).
size_t XMLEntityExpansionLimit(size_t inInputSize);

// Sets a parser for untrusted input of so many bytes; the security manager must outlive the parse.
// Validation, namespaces and the loading of an external DTD stay the caller's choice.
void ApplyUntrustedInputSettings(xercesc::SAXParser& ioParser, xercesc::SecurityManager& ioSecurity,
                                 size_t inInputSize);
void ApplyUntrustedInputSettings(xercesc::SAX2XMLReader& ioReader, xercesc::SecurityManager& ioSecurity,
                                 size_t inInputSize);
// The same for a DOM parser, through its configuration.
void ApplyUntrustedInputSettings(xercesc::DOMConfiguration& ioConfig, xercesc::SecurityManager& ioSecurity,
                                 size_t inInputSize);

// What the library holds while it reads one document, under a budget in proportion to the
// document, and the entities it expands: the library expands the entities of a DTD (its parameter
// entities, and the general entities of its attribute defaults) without any limit of its own, nor
// any event that would let a parser count them, but it makes a reader for each of them, which its
// memory manager sees. One budget per parse, on the parse's thread, for a parser made with
// XMLBudgetedMemoryManager, from its construction to End; an allocation past it throws the
// library's OutOfMemoryException. The parse's readers come and go one after the other: the budget
// keeps a few of them for the next ones, so that an expansion costs no large block.
class StXMLAllocationBudget
{
public:
    explicit StXMLAllocationBudget(size_t inInputSize);
    ~StXMLAllocationBudget() { End(); }
    StXMLAllocationBudget(const StXMLAllocationBudget&) = delete;
    StXMLAllocationBudget& operator=(const StXMLAllocationBudget&) = delete;

    // The parse is over: what the thread allocates from then on is no longer charged. The library
    // allocates as it tears a parser down, which must never meet a budget already spent.
    void End();

    bool IsExceeded() const { return fExceeded != Exceeded::kNo; }
    // Why, as an error message, once exceeded.
    const XMLCh* GetExceededMessage() const;
    // False, and the budget exceeded, when the bytes would pass what may be held.
    bool Take(size_t inBytes);
    // Bytes taken from this budget and freed.
    void Give(size_t inBytes);
    // An entity the library starts to expand: false, and the budget exceeded, past the expansions
    // allowed. Counted in the subsets of the DTD only: elsewhere the library counts its expansions
    // itself, and ends the parse cleanly where a refusal of ours would lose a block of it.
    bool TakeExpansion();
    // The library reads the internal or the external subset of the DTD, or is done with it.
    void EnterDTD() { fInDTD = true; }
    void LeaveDTD() { fInDTD = false; }
    // Unique in the process, never 0.
    uint64_t GetID() const { return fID; }
    // The bytes of an external entity that the document reads: they may cost what the document's
    // own bytes do.
    void AddInput(size_t inBytes);
    // An element's attributes, some of them defaults of the DTD, which the DOM copies into it: it
    // may hold more for each of those (kXMLAllocationPerDefault).
    void AllowDefaults(const xercesc::RefVectorOf<xercesc::XMLAttr>& inAttributes, size_t inCount);

    // A reader's block freed, still charged: kept for the next one when there is room.
    bool KeepSpareReader(void* inBlock);
    // A reader's block kept, or null.
    void* TakeSpareReader();

private:
    enum class Exceeded
    {
        kNo,
        kMemory,
        kExpansions,
    };
    static constexpr size_t kSpareReaders = 4;

    size_t fHeldLimit;
    size_t fHeld = 0;
    size_t fExpansionsLeft;
    size_t fDefaultsAllowanceLeft;
    uint64_t fID;
    Exceeded fExceeded = Exceeded::kNo;
    bool fInForce = true;
    bool fInDTD = false;
    void* fSpareReaders[kSpareReaders] = {};
    size_t fSpareCount = 0;
    StXMLAllocationBudget* fOuter;
};

// The library's memory manager, charging the budget of the thread's parse when there is one and
// giving a block back to the budget that paid for it. It lives as long as the process: what a
// parser made with it allocates (a DOM document) may outlive the parse.
xercesc::MemoryManager* XMLBudgetedMemoryManager();

// The work that the attributes a DTD declares cost one document's elements, held under
// kXMLDefaultsWorkBase and kXMLDefaultsWorkPerInputByte; each parser keeps one per parse and ends
// the parse when AddElement answers false. The library has done one element's work when it tells
// the element: a DTD's worth at most.
class VXMLDefaultsBudget
{
public:
    explicit VXMLDefaultsBudget(size_t inInputSize);
    // The bytes of an external entity that the document reads.
    void AddInput(size_t inBytes);

    // An element's start tag, with the defaults the library added to it.
    bool AddElement(const xercesc::XMLElementDecl& inDecl,
                    const xercesc::RefVectorOf<xercesc::XMLAttr>& inAttributes, size_t inCount);

private:
    size_t fLeft;
};

// The distinct names of one document that the library files in its tables (of elements, attributes,
// namespaces, entities, IDs), counted by the library's own hash of them (XMLString::hash before its
// modulus), which anyone can compute: names made to share it fall in one chain of every table,
// whatever its length, searched from end to end at each use. Each parser keeps one per parse and
// ends the parse when Add answers false; names that do not share the hash are any number.
class VXMLNameCollisions
{
public:
    VXMLNameCollisions() = default;
    VXMLNameCollisions(const VXMLNameCollisions&) = delete;
    VXMLNameCollisions& operator=(const VXMLNameCollisions&) = delete;

    // False once more than kXMLMaxNamesOfOneHash distinct names share the name's hash.
    bool Add(const XMLCh* inName);
    bool Add(const XMLCh* inName, size_t inLength);
    // The names of an element's start tag that the library files: the element's, and those of
    // its attributes, of the namespaces they declare and of the IDs they give. The library has
    // searched its table of the tag's attributes already.
    bool AddStartTag(const xercesc::XMLElementDecl& inDecl,
                     const xercesc::RefVectorOf<xercesc::XMLAttr>& inAttributes, size_t inCount);

private:
    struct KeyedHash
    {
        using is_transparent = void;
        size_t operator()(std::u16string_view inName) const;
        size_t operator()(uint64_t inHash) const;
    };
    std::unordered_set<std::u16string, KeyedHash, std::equal_to<>> fNames;
    std::unordered_map<uint64_t, uint32_t, KeyedHash> fShared;
    // The elements already told, by their declaration.
    std::unordered_set<const void*> fElements;
};

// The text that one document's entities add, held under kXMLMaxEntityText; each parser keeps one
// per parse and ends the parse when an Add answers false.
// The library expands the entities of an attribute value without an event, so these expansions are
// charged through its own count: each one adds at most the longest value declared, and each
// declaration lowers the library's limit on expansions to what the cap can pay for. That limit is
// the document's (XMLEntityExpansionLimit) otherwise, and grows with the external entities read.
class VXMLEntityBudget
{
public:
    explicit VXMLEntityBudget(size_t inInputSize) : fInput(inInputSize) {}

    // After every entity declaration of the document.
    void Declared(xercesc::XMLScanner& ioScanner, const xercesc::XMLEntityDecl& inDecl);
    // The bytes of an external entity that the document reads.
    void AddInput(xercesc::XMLScanner& ioScanner, size_t inBytes);
    // After every attribute declaration that is not ignored.
    void DeclaredAttribute(const xercesc::XMLAttDef& inDef);
    void EnterEntity() { ++fOpenEntities; }
    void LeaveEntity();
    // Character data; counted inside an entity reference only.
    bool AddText(size_t inLength);
    // An external entity's file read again, of so many bytes: what it adds to the document at each
    // reference, as its text does (its first read counts as input of the document, AddInput).
    bool AddReadAgain(size_t inBytes);
    // An element's attributes. The values that the document gives are charged through the
    // library's count of expansions. A value that the DTD gives as a default was expanded there,
    // where the library counts nothing, and comes again with every element: once a default has
    // been declared after an entity (which part of it came from an expansion is not told), every
    // defaulted value counts whole.
    bool AddAttributes(const xercesc::RefVectorOf<xercesc::XMLAttr>& inAttributes, size_t inCount);

private:
    // Sets the library's limit for what was declared and read so far.
    void LimitExpansions(xercesc::XMLScanner& ioScanner) const;

    size_t fInput;
    size_t fOpenEntities = 0;
    size_t fText = 0;
    size_t fLongestValue = 0;
    bool fDeclaresEntities = false;
    bool fDefaultsMayExpand = false;
};

} // namespace kova
