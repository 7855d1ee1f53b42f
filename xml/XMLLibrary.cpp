#include "xml/XMLLibrary.h"

#include <xercesc/dom/DOMConfiguration.hpp>
#include <xercesc/parsers/SAXParser.hpp>
#include <xercesc/sax2/SAX2XMLReader.hpp>
#include <xercesc/util/PlatformUtils.hpp>
#include <xercesc/util/SecurityManager.hpp>
#include <xercesc/util/XMLUni.hpp>

#include <mutex>

namespace kova
{

namespace
{

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

} // namespace

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

} // namespace kova
