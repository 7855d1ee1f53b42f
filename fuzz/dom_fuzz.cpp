// DOM documents read from untrusted bytes: any bytes parse without a fault, a refused document
// says so with an xmlc error, and an accepted one can be walked into a bag (or says why not), copied, given
// its IDs and serialized, in UTF-8 without a single line feed left.
#include "fuzz/FuzzSetup.h"

#include "kernel/errors/VErrorContext.h"
#include "kernel/values/VBlob.h"
#include "kernel/values/VRefPtr.h"
#include "kernel/values/VValueBag.h"
#include "xml/IXMLDomWrapper.h"
#include "xml/VXMLParser.h"

#include <cstring>

using namespace kova;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* inData, size_t inSize)
{
    fuzz::HoldXMLLibrary();
    StErrorContextInstaller errors(false, true);
    VXMLDOMDocument_opaque* document = IXMLDomWrapper::CreateNodeDocumentFromBuffer(inData, inSize, nullptr);
    if (document == nullptr)
    {
        fuzz::Check(ComponentOfError(errors.GetLastError()) == kCOMPONENT_XML,
                    "a refused document leaves an xmlc error");
        return 0;
    }
    VXMLDOMElement_opaque* root = IXMLDomWrapper::GetRootNodeElement(document);
    fuzz::Check(root != nullptr, "an accepted document has a root element");
    VRefPtr<VValueBag> bag(new VValueBag);
    // A bag may refuse a name (too long for its keys): the read then answers the error it pushed.
    const VError readError = ReadBagFromDomXML(root, *bag);
    fuzz::Check(readError == VE_OK || readError == errors.GetLastError(), "a failed read answers its error");
    IXMLDomWrapper::RegisterNodeIDs(document);

    VXMLDOMDocument_opaque* clone = IXMLDomWrapper::CloneNodeDocument(document);
    // The library refuses to copy some names its parser took (null then), but never faults.
    IXMLDomWrapper::ReleaseNode(clone);

    errors.GetContext()->Flush();
    VBlobWithPtr blob;
    size_t written = 0;
    if (IXMLDomWrapper::SerializeToBlob(document, &blob, 0, written, true))
    {
        fuzz::Check(written == blob.GetSize(), "the bytes written are the blob's");
        const char* bytes = static_cast<const char*>(blob.GetDataPtr());
        const bool utf8 =
            written >= 40 && std::memcmp(bytes, "<?xml version=\"1.0\" encoding=\"UTF-8\"", 36) == 0;
        fuzz::Check(!utf8 || std::memchr(bytes, '\n', written) == nullptr, "no line feed is left");
    }
    else
    {
        fuzz::Check(errors.GetLastError() != VE_OK, "a failed serialization says why");
    }
    IXMLDomWrapper::ReleaseNode(document);
    return 0;
}
