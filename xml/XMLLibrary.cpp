#include "xml/XMLLibrary.h"

#include <xercesc/dom/DOMConfiguration.hpp>
#include <xercesc/framework/MemoryManager.hpp>
#include <xercesc/framework/XMLAttDef.hpp>
#include <xercesc/framework/XMLAttr.hpp>
#include <xercesc/framework/XMLEntityDecl.hpp>
#include <xercesc/internal/XMLScanner.hpp>
#include <xercesc/parsers/SAXParser.hpp>
#include <xercesc/sax2/SAX2XMLReader.hpp>
#include <xercesc/util/OutOfMemoryException.hpp>
#include <xercesc/util/PlatformUtils.hpp>
#include <xercesc/util/SecurityManager.hpp>
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

// A base and so much for each byte of the document, without overflow.
size_t InProportion(size_t inInputSize, size_t inPerInputByte)
{
    return kXMLAllocationBase +
           std::min(inInputSize, (SIZE_MAX - kXMLAllocationBase) / inPerInputByte) * inPerInputByte;
}

// The library counts its initialisations but does not lock them; the count here keeps a
// termination without its initialisation from taking the library down under another user.
std::mutex& LibraryMutex()
{
    static std::mutex sMutex;
    return sMutex;
}
size_t sInitCount = 0;

void SetUpSecurityManager(xercesc::SecurityManager& ioSecurity)
{
    ioSecurity.setEntityExpansionLimit(kXMLEntityExpansionLimit);
}

// The scanner reads its limit on expansions from this field at every expansion. It is lowered in
// place: installing a security manager with a lower limit would also reset the count of the
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
            tBudget->Give(header->fSize);
        xercesc::XMLPlatformUtils::fgMemoryManager->deallocate(header);
    }
};

} // namespace

StXMLAllocationBudget::StXMLAllocationBudget(size_t inInputSize)
    : fHeldLimit(InProportion(inInputSize, kXMLAllocationPerInputByte)),
      fTurnoverLeft(fHeldLimit <= SIZE_MAX / kXMLAllocationTurnoverFactor
                        ? fHeldLimit * kXMLAllocationTurnoverFactor
                        : SIZE_MAX),
      fDeclarationsLeft(InProportion(inInputSize, kXMLDeclarationAllocationPerInputByte)),
      fID(++sLastBudgetID), fOuter(tBudget)
{
    tBudget = this;
}

StXMLAllocationBudget::~StXMLAllocationBudget()
{
    tBudget = fOuter;
}

bool StXMLAllocationBudget::Take(size_t inBytes)
{
    if (fExceeded || inBytes > fHeldLimit - fHeld || inBytes > fTurnoverLeft ||
        (fInDeclarations && inBytes > fDeclarationsLeft))
    {
        fExceeded = true;
        return false;
    }
    fHeld += inBytes;
    fTurnoverLeft -= inBytes;
    if (fInDeclarations)
        fDeclarationsLeft -= inBytes;
    return true;
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

void ApplyUntrustedInputSettings(xercesc::SAXParser& ioParser, xercesc::SecurityManager& ioSecurity)
{
    SetUpSecurityManager(ioSecurity);
    ioParser.setSecurityManager(&ioSecurity);
    ioParser.setDisableDefaultEntityResolution(true);
    ioParser.setDoSchema(false);
    ioParser.setLoadSchema(false);
}

void ApplyUntrustedInputSettings(xercesc::SAX2XMLReader& ioReader, xercesc::SecurityManager& ioSecurity)
{
    SetUpSecurityManager(ioSecurity);
    ioReader.setProperty(xercesc::XMLUni::fgXercesSecurityManager, &ioSecurity);
    ioReader.setFeature(xercesc::XMLUni::fgXercesDisableDefaultEntityResolution, true);
    ioReader.setFeature(xercesc::XMLUni::fgXercesSchema, false);
    ioReader.setFeature(xercesc::XMLUni::fgXercesLoadSchema, false);
}

void ApplyUntrustedInputSettings(xercesc::DOMConfiguration& ioConfig, xercesc::SecurityManager& ioSecurity)
{
    SetUpSecurityManager(ioSecurity);
    ioConfig.setParameter(xercesc::XMLUni::fgXercesSecurityManager, &ioSecurity);
    ioConfig.setParameter(xercesc::XMLUni::fgXercesDisableDefaultEntityResolution, true);
    ioConfig.setParameter(xercesc::XMLUni::fgXercesSchema, false);
    ioConfig.setParameter(xercesc::XMLUni::fgXercesLoadSchema, false);
}

void VXMLEntityBudget::Declared(xercesc::XMLScanner& ioScanner, const xercesc::XMLEntityDecl& inDecl)
{
    fDeclaresEntities = true;
    fLongestValue = std::max<size_t>(fLongestValue, inDecl.getValueLen());
    if (fLongestValue == 0)
        return;
    XMLSize_t& limit = ScannerExpansionLimit::Of(ioScanner);
    limit = std::min<XMLSize_t>(limit, kXMLMaxEntityText / fLongestValue);
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
