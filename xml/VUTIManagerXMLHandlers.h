// The handlers that read type declarations out of a property list for VUTIManager. The document
// handler walks the whole property list and hands the "UTExportedTypeDeclarations" and
// "UTImportedTypeDeclarations" arrays, at whatever depth, to an array handler; each "dict" of
// such an array is one declaration, read by a declaration handler into a new VUTI and offered to
// the manager at the dict's end. The "UTTypeTagSpecification" dict and the string arrays under a key have
// handlers of their own.
//
// Declarations are untrusted: unknown keys are skipped, a declaration without identifier is
// dropped, and nothing here fails.
#pragma once

#include "kernel/text/VString.h"
#include "kernel/values/VObject.h"
#include "xml/IXMLHandler.h"

#include <vector>

namespace kova
{

class VUTI;
class VUTIManager;

class VUTIManagerXMLHandler : public VObject, public IXMLHandler
{
public:
    explicit VUTIManagerXMLHandler(VUTIManager* inManager) : fManager(inManager) {}

    IXMLHandler* StartElement(const VString& inElementName) override;
    void EndElement(const VString& inElementName) override;
    void SetText(const VString& inText) override;

    // Forgets what a previous document left behind (a broken one may end inside a key).
    void Reset();

private:
    VUTIManager* fManager;
    VString fElementName;
    VString fLastKey;
    bool fInKey = false;
};

class VUTIManagerArrayHandler : public VObject, public IXMLHandler
{
public:
    explicit VUTIManagerArrayHandler(VUTIManager* inManager) : fManager(inManager) {}

    IXMLHandler* StartElement(const VString& inElementName) override;

private:
    VUTIManager* fManager;
};

class VUTIManagerUTIHandler : public VObject, public IXMLHandler
{
public:
    explicit VUTIManagerUTIHandler(VUTIManager* inManager);
    ~VUTIManagerUTIHandler() override;

    IXMLHandler* StartElement(const VString& inElementName) override;
    void EndElement(const VString& inElementName) override;
    void SetText(const VString& inText) override;

private:
    VUTIManager* fManager;
    VString fElementName;
    VString fLastKey;
    VString fPendingKey;
    bool fInText = false;
    VUTI* fType;
    std::vector<VString> fOpenChildren;
};

class VUTIManagerUTIKeyUTISpecificationHandler : public VObject, public IXMLHandler
{
public:
    explicit VUTIManagerUTIKeyUTISpecificationHandler(VUTI* inType);
    ~VUTIManagerUTIKeyUTISpecificationHandler() override;

    IXMLHandler* StartElement(const VString& inElementName) override;
    void EndElement(const VString& inElementName) override;
    void SetText(const VString& inText) override;

private:
    VUTI* fType;
    VString fElementName;
    VString fLastKey;
    VString fPendingKey;
    bool fInText = false;
    VString fExtension;
    VString fOSType;
    VString fMIMEType;
};

class VUTIManagerUTIKeyArrayStringHandler : public VObject, public IXMLHandler
{
public:
    VUTIManagerUTIKeyArrayStringHandler(VUTI* inType, const VString& inKey);
    ~VUTIManagerUTIKeyArrayStringHandler() override;

    IXMLHandler* StartElement(const VString& inElementName) override;
    void EndElement(const VString& inElementName) override;
    void SetText(const VString& inText) override;

private:
    VUTI* fType;
    VString fKey;
    VString fElementName;
    bool fInText = false;
    VString fConformsTo;
    VString fExtension;
    VString fOSType;
    VString fMIMEType;
};

} // namespace kova
