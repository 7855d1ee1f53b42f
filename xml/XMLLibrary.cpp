#include "xml/XMLLibrary.h"

#include "kernel/values/VPackedKeyIndex.h"

#include <xercesc/dom/DOMConfiguration.hpp>
#include <xercesc/framework/MemoryManager.hpp>
#include <xercesc/framework/XMLAttDef.hpp>
#include <xercesc/framework/XMLAttDefList.hpp>
#include <xercesc/framework/XMLAttr.hpp>
#include <xercesc/framework/XMLElementDecl.hpp>
#include <xercesc/framework/XMLEntityDecl.hpp>
#include <xercesc/internal/XMLReader.hpp>
#include <xercesc/internal/XMLScanner.hpp>
#include <xercesc/parsers/SAXParser.hpp>
#include <xercesc/sax2/SAX2XMLReader.hpp>
#include <xercesc/util/OutOfMemoryException.hpp>
#include <xercesc/util/PlatformUtils.hpp>
#include <xercesc/util/SecurityManager.hpp>
#include <xercesc/util/XMLString.hpp>
#include <xercesc/util/XMLUni.hpp>

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <new>
#include <string>

namespace kova
{

namespace
{

// A base and so much for each of a count (a byte of the document, a byte allowed), without
// overflow.
size_t InProportion(size_t inBase, size_t inCount, size_t inEach)
{
    return inBase + std::min(inCount, (SIZE_MAX - inBase) / inEach) * inEach;
}

// The library counts its initialisations but does not lock them; the count here keeps a
// termination without its initialisation from taking the library down under another user.
std::mutex& LibraryMutex()
{
    static std::mutex sMutex;
    return sMutex;
}
size_t sInitCount = 0;

void SetUpSecurityManager(xercesc::SecurityManager& ioSecurity, size_t inInputSize)
{
    ioSecurity.setEntityExpansionLimit(XMLEntityExpansionLimit(inInputSize));
}

// The scanner reads its limit on expansions from this field at every expansion. It is set in
// place: installing a security manager with another limit would also reset the count of the
// expansions already made.
struct ScannerExpansionLimit : xercesc::XMLScanner
{
    static XMLSize_t& Of(xercesc::XMLScanner& ioScanner)
    {
        return ioScanner.*(&ScannerExpansionLimit::fEntityExpansionLimit);
    }
};

// The budget of the parse running on this thread; null outside a parse.
thread_local StXMLAllocationBudget* tBudget = nullptr;

std::atomic<uint64_t> sLastBudgetID{0};

// Before each block: its size and the budget that paid for it (0 for none), so that freeing the
// block gives its bytes back to that budget only: a DOM document outlives its parse, and may be
// freed in another one. Its size keeps the block aligned for any type.
struct alignas(std::max_align_t) BlockHeader
{
    size_t fSize;
    uint64_t fBudget;
};

// The library makes a reader for the document, and one for each entity that it expands, of any
// kind and wherever it is, each in a block of this size (the object and the header of the
// library's operator new): how its expansions are known.
size_t ReaderBlockSize()
{
    static const size_t sSize =
        xercesc::XMLPlatformUtils::alignPointerForNewBlockAllocation(sizeof(xercesc::MemoryManager*)) +
        sizeof(xercesc::XMLReader);
    return sSize;
}

class BudgetedMemoryManager : public xercesc::MemoryManager
{
public:
    xercesc::MemoryManager* getExceptionMemoryManager() override
    {
        return xercesc::XMLPlatformUtils::fgMemoryManager->getExceptionMemoryManager();
    }
    void* allocate(XMLSize_t inSize) override
    {
        if (inSize > SIZE_MAX - sizeof(BlockHeader))
            throw xercesc::OutOfMemoryException();
        StXMLAllocationBudget* budget = tBudget;
        if (budget != nullptr && inSize == ReaderBlockSize())
        {
            if (!budget->TakeExpansion())
                throw xercesc::OutOfMemoryException();
            if (void* spare = budget->TakeSpareReader())
                return static_cast<BlockHeader*>(spare) + 1;
        }
        if (budget != nullptr && !budget->Take(inSize))
            throw xercesc::OutOfMemoryException();
        void* block = nullptr;
        try
        {
            block = xercesc::XMLPlatformUtils::fgMemoryManager->allocate(sizeof(BlockHeader) + inSize);
        }
        catch (...)
        {
            if (budget != nullptr)
                budget->Give(inSize);
            throw;
        }
        auto* header = new (block) BlockHeader{inSize, budget != nullptr ? budget->GetID() : 0};
        return header + 1;
    }
    void deallocate(void* inBlock) override
    {
        if (inBlock == nullptr)
            return;
        BlockHeader* header = static_cast<BlockHeader*>(inBlock) - 1;
        if (tBudget != nullptr && header->fBudget == tBudget->GetID())
        {
            if (header->fSize == ReaderBlockSize() && tBudget->KeepSpareReader(header))
                return;
            tBudget->Give(header->fSize);
        }
        xercesc::XMLPlatformUtils::fgMemoryManager->deallocate(header);
    }
};

} // namespace

size_t XMLEntityExpansionLimit(size_t inInputSize)
{
    return kXMLEntityExpansionBase + inInputSize / kXMLInputBytesPerEntityExpansion;
}

StXMLAllocationBudget::StXMLAllocationBudget(size_t inInputSize)
    : fHeldLimit(InProportion(kXMLAllocationBase, inInputSize, kXMLAllocationPerInputByte)),
      fExpansionsLeft(XMLEntityExpansionLimit(inInputSize)),
      fDefaultsAllowanceLeft(InProportion(0, inInputSize, kXMLAllocationPerDefault)), fID(++sLastBudgetID),
      fOuter(tBudget)
{
    tBudget = this;
}

void StXMLAllocationBudget::End()
{
    if (!fInForce)
        return;
    fInForce = false;
    tBudget = fOuter;
    for (; fSpareCount > 0; --fSpareCount)
        xercesc::XMLPlatformUtils::fgMemoryManager->deallocate(fSpareReaders[fSpareCount - 1]);
}

const XMLCh* StXMLAllocationBudget::GetExceededMessage() const
{
    return fExceeded == Exceeded::kExpansions ? u"the document expands too many entities"
                                              : u"the document takes too much memory to read";
}

bool StXMLAllocationBudget::Take(size_t inBytes)
{
    if (IsExceeded() || inBytes > fHeldLimit - fHeld)
    {
        if (!IsExceeded())
            fExceeded = Exceeded::kMemory;
        return false;
    }
    fHeld += inBytes;
    return true;
}

bool StXMLAllocationBudget::TakeExpansion()
{
    if (!fInDTD)
        return true;
    if (IsExceeded() || fExpansionsLeft == 0)
    {
        if (!IsExceeded())
            fExceeded = Exceeded::kExpansions;
        return false;
    }
    --fExpansionsLeft;
    return true;
}

void StXMLAllocationBudget::AddInput(size_t inBytes)
{
    fHeldLimit = InProportion(fHeldLimit, inBytes, kXMLAllocationPerInputByte);
    fExpansionsLeft = InProportion(fExpansionsLeft, inBytes / kXMLInputBytesPerEntityExpansion, 1);
}

bool StXMLAllocationBudget::KeepSpareReader(void* inBlock)
{
    if (fSpareCount == kSpareReaders)
        return false;
    fSpareReaders[fSpareCount++] = inBlock;
    return true;
}

void* StXMLAllocationBudget::TakeSpareReader()
{
    return fSpareCount > 0 ? fSpareReaders[--fSpareCount] : nullptr;
}

void StXMLAllocationBudget::AllowDefaults(const xercesc::RefVectorOf<xercesc::XMLAttr>& inAttributes,
                                          size_t inCount)
{
    size_t allowance = 0;
    for (size_t index = 0; index < inCount && allowance < fDefaultsAllowanceLeft; ++index)
    {
        const xercesc::XMLAttr* attribute = inAttributes.elementAt(index);
        if (!attribute->getSpecified())
            allowance +=
                kXMLAllocationPerDefault +
                kXMLAllocationPerDefaultUnit * std::char_traits<XMLCh>::length(attribute->getValue());
    }
    allowance = std::min(allowance, fDefaultsAllowanceLeft);
    fDefaultsAllowanceLeft -= allowance;
    fHeldLimit += std::min(SIZE_MAX - fHeldLimit, allowance);
}

void StXMLAllocationBudget::Give(size_t inBytes)
{
    fHeld -= std::min(fHeld, inBytes);
}

xercesc::MemoryManager* XMLBudgetedMemoryManager()
{
    static BudgetedMemoryManager sManager;
    return &sManager;
}

bool XMLLibraryInitialize()
{
    std::lock_guard<std::mutex> lock(LibraryMutex());
    try
    {
        xercesc::XMLPlatformUtils::Initialize();
        ++sInitCount;
        return true;
    }
    catch (...)
    {
        return false;
    }
}

void XMLLibraryTerminate()
{
    std::lock_guard<std::mutex> lock(LibraryMutex());
    if (sInitCount == 0)
        return;
    --sInitCount;
    xercesc::XMLPlatformUtils::Terminate();
}

void ApplyUntrustedInputSettings(xercesc::SAXParser& ioParser, xercesc::SecurityManager& ioSecurity,
                                 size_t inInputSize)
{
    SetUpSecurityManager(ioSecurity, inInputSize);
    ioParser.setSecurityManager(&ioSecurity);
    ioParser.setDisableDefaultEntityResolution(true);
    ioParser.setDoSchema(false);
    ioParser.setLoadSchema(false);
}

void ApplyUntrustedInputSettings(xercesc::SAX2XMLReader& ioReader, xercesc::SecurityManager& ioSecurity,
                                 size_t inInputSize)
{
    SetUpSecurityManager(ioSecurity, inInputSize);
    ioReader.setProperty(xercesc::XMLUni::fgXercesSecurityManager, &ioSecurity);
    ioReader.setFeature(xercesc::XMLUni::fgXercesDisableDefaultEntityResolution, true);
    ioReader.setFeature(xercesc::XMLUni::fgXercesSchema, false);
    ioReader.setFeature(xercesc::XMLUni::fgXercesLoadSchema, false);
}

void ApplyUntrustedInputSettings(xercesc::DOMConfiguration& ioConfig, xercesc::SecurityManager& ioSecurity,
                                 size_t inInputSize)
{
    SetUpSecurityManager(ioSecurity, inInputSize);
    ioConfig.setParameter(xercesc::XMLUni::fgXercesSecurityManager, &ioSecurity);
    ioConfig.setParameter(xercesc::XMLUni::fgXercesDisableDefaultEntityResolution, true);
    ioConfig.setParameter(xercesc::XMLUni::fgXercesSchema, false);
    ioConfig.setParameter(xercesc::XMLUni::fgXercesLoadSchema, false);
}

VXMLDefaultsBudget::VXMLDefaultsBudget(size_t inInputSize)
    : fLeft(InProportion(kXMLDefaultsWorkBase, inInputSize, kXMLDefaultsWorkPerInputByte))
{
}

void VXMLDefaultsBudget::AddInput(size_t inBytes)
{
    fLeft = InProportion(fLeft, inBytes, kXMLDefaultsWorkPerInputByte);
}

bool VXMLDefaultsBudget::AddElement(const xercesc::XMLElementDecl& inDecl,
                                    const xercesc::RefVectorOf<xercesc::XMLAttr>& inAttributes,
                                    size_t inCount)
{
    if (!inDecl.hasAttDefs())
        return true;
    size_t work = inDecl.getAttDefList().getAttDefCount();
    for (size_t index = 0; index < inCount; ++index)
    {
        const xercesc::XMLAttr* attribute = inAttributes.elementAt(index);
        if (attribute->getSpecified())
            continue;
        work += std::char_traits<XMLCh>::length(attribute->getQName()) +
                std::char_traits<XMLCh>::length(attribute->getValue());
    }
    if (work > fLeft)
    {
        fLeft = 0;
        return false;
    }
    fLeft -= work;
    return true;
}

size_t VXMLNameCollisions::KeyedHash::operator()(std::u16string_view inName) const
{
    return _VPackedKeyIndex::HashOf(reinterpret_cast<const char*>(inName.data()),
                                    inName.size() * sizeof(XMLCh));
}

size_t VXMLNameCollisions::KeyedHash::operator()(uint64_t inHash) const
{
    return _VPackedKeyIndex::HashOf(reinterpret_cast<const char*>(&inHash), sizeof(inHash));
}

bool VXMLNameCollisions::Add(const XMLCh* inName)
{
    return inName == nullptr || Add(inName, std::char_traits<XMLCh>::length(inName));
}

bool VXMLNameCollisions::Add(const XMLCh* inName, size_t inLength)
{
    // Most names come again: found without a copy.
    const std::u16string_view name(inName, inLength);
    if (inLength == 0 || fNames.find(name) != fNames.end())
        return true;
    fNames.emplace(name);
    // XMLString::hash, before it takes the modulus of a table.
    uint64_t hash = inName[0];
    for (size_t index = 1; index < inLength; ++index)
        hash = hash * 38 + (hash >> 24) + inName[index];
    return ++fShared[hash] <= kXMLMaxNamesOfOneHash;
}

bool VXMLNameCollisions::AddStartTag(const xercesc::XMLElementDecl& inDecl,
                                     const xercesc::RefVectorOf<xercesc::XMLAttr>& inAttributes,
                                     size_t inCount)
{
    if (fElements.insert(&inDecl).second && (!Add(inDecl.getFullName()) || !Add(inDecl.getBaseName())))
        return false;
    for (size_t index = 0; index < inCount; ++index)
    {
        const xercesc::XMLAttr* attribute = inAttributes.elementAt(index);
        const XMLCh* name = attribute->getQName();
        if (!Add(name) || !Add(attribute->getName()) || !Add(attribute->getPrefix()))
            return false;
        const XMLCh* value = attribute->getValue();
        switch (attribute->getType())
        {
        case xercesc::XMLAttDef::ID:
        case xercesc::XMLAttDef::IDRef:
        case xercesc::XMLAttDef::IDRefs:
            break;
        default:
            // A namespace's name is filed too.
            if (!xercesc::XMLString::startsWith(name, xercesc::XMLUni::fgXMLNSString))
                continue;
        }
        // The tokens of the value.
        for (const XMLCh* token = value; *token != 0;)
        {
            while (*token == u' ')
                ++token;
            const XMLCh* end = token;
            while (*end != 0 && *end != u' ')
                ++end;
            if (!Add(token, size_t(end - token)))
                return false;
            token = end;
        }
    }
    return true;
}

void VXMLEntityBudget::Declared(xercesc::XMLScanner& ioScanner, const xercesc::XMLEntityDecl& inDecl)
{
    fDeclaresEntities = true;
    fLongestValue = std::max<size_t>(fLongestValue, inDecl.getValueLen());
    LimitExpansions(ioScanner);
}

void VXMLEntityBudget::AddInput(xercesc::XMLScanner& ioScanner, size_t inBytes)
{
    fInput = InProportion(fInput, inBytes, 1);
    LimitExpansions(ioScanner);
}

void VXMLEntityBudget::LimitExpansions(xercesc::XMLScanner& ioScanner) const
{
    size_t limit = XMLEntityExpansionLimit(fInput);
    if (fLongestValue > 0)
        limit = std::min(limit, kXMLMaxEntityText / fLongestValue);
    ScannerExpansionLimit::Of(ioScanner) = limit;
}

void VXMLEntityBudget::DeclaredAttribute(const xercesc::XMLAttDef& inDef)
{
    // A general entity is declared before a default may refer to it.
    const XMLCh* value = inDef.getValue();
    if (fDeclaresEntities && value != nullptr && *value != 0)
        fDefaultsMayExpand = true;
}

void VXMLEntityBudget::LeaveEntity()
{
    if (fOpenEntities > 0)
        --fOpenEntities;
}

bool VXMLEntityBudget::AddText(size_t inLength)
{
    if (fOpenEntities == 0)
        return true;
    fText += inLength;
    return fText <= kXMLMaxEntityText;
}

bool VXMLEntityBudget::AddReadAgain(size_t inBytes)
{
    fText = InProportion(fText, inBytes, 1);
    return fText <= kXMLMaxEntityText;
}

bool VXMLEntityBudget::AddAttributes(const xercesc::RefVectorOf<xercesc::XMLAttr>& inAttributes,
                                     size_t inCount)
{
    if (!fDefaultsMayExpand)
        return true;
    for (size_t index = 0; index < inCount; ++index)
    {
        const xercesc::XMLAttr* attribute = inAttributes.elementAt(index);
        if (attribute->getSpecified())
            continue;
        fText += std::char_traits<XMLCh>::length(attribute->getValue());
        if (fText > kXMLMaxEntityText)
            return false;
    }
    return true;
}

} // namespace kova
