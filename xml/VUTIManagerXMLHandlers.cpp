#include "xml/VUTIManagerXMLHandlers.h"

#include "xml/VUTI.h"
#include "xml/VUTIManager.h"

#include <new>

namespace kova
{

namespace
{

const VString kExportedDeclarations("UTExportedTypeDeclarations");
const VString kImportedDeclarations("UTImportedTypeDeclarations");
const VString kTypeIdentifier("UTTypeIdentifier");
const VString kTypeTagSpecification("UTTypeTagSpecification");
const VString kTypeConformsTo("UTTypeConformsTo");
const VString kTypeDescription("UTTypeDescription");
const VString kElementKey("key");
const VString kElementArray("array");
const VString kElementDict("dict");
const VString kElementString("string");

bool Is(const VString& inName, const VString& inConstant)
{
    return inName.EqualToString(inConstant, false);
}

bool IsTagClass(const VString& inKey)
{
    return Is(inKey, VUTIManager::kTagClassFilenameExtension) || Is(inKey, VUTIManager::kTagClassOSType) ||
           Is(inKey, VUTIManager::kTagClassMIMEType);
}

// The text for a tag class, null for another key.
VString* TextOfTagClass(const VString& inClass, VString& ioExtension, VString& ioOSType, VString& ioMIMEType)
{
    if (Is(inClass, VUTIManager::kTagClassFilenameExtension))
        return &ioExtension;
    if (Is(inClass, VUTIManager::kTagClassOSType))
        return &ioOSType;
    if (Is(inClass, VUTIManager::kTagClassMIMEType))
        return &ioMIMEType;
    return nullptr;
}

IXMLHandler* RetainedSelf(IXMLHandler* inHandler)
{
    inHandler->Retain();
    return inHandler;
}

} // namespace

// The document.

IXMLHandler* VUTIManagerXMLHandler::StartElement(const VString& inElementName)
{
    if ((Is(fLastKey, kExportedDeclarations) || Is(fLastKey, kImportedDeclarations)) &&
        Is(inElementName, kElementArray))
    {
        fLastKey.Clear();
        return new (std::nothrow) VUTIManagerArrayHandler(fManager);
    }
    fInKey = Is(inElementName, kElementKey);
    fElementName = inElementName;
    fLastKey.Clear();
    return RetainedSelf(this);
}

void VUTIManagerXMLHandler::EndElement(const VString&)
{
    fInKey = false;
}

void VUTIManagerXMLHandler::SetText(const VString& inText)
{
    if (fInKey && !inText.IsEmpty() && Is(fElementName, kElementKey))
        fLastKey.AppendString(inText);
}

void VUTIManagerXMLHandler::Reset()
{
    fElementName.Clear();
    fLastKey.Clear();
    fInKey = false;
}

// A declarations array.

IXMLHandler* VUTIManagerArrayHandler::StartElement(const VString& inElementName)
{
    if (Is(inElementName, kElementDict))
        return new (std::nothrow) VUTIManagerUTIHandler(fManager);
    return nullptr;
}

// One declaration.

VUTIManagerUTIHandler::VUTIManagerUTIHandler(VUTIManager* inManager)
    : fManager(inManager), fType(new (std::nothrow) VUTI())
{
}

VUTIManagerUTIHandler::~VUTIManagerUTIHandler()
{
    ReleaseRefCountable(&fType);
}

IXMLHandler* VUTIManagerUTIHandler::StartElement(const VString& inElementName)
{
    if (fType == nullptr)
        return nullptr;
    fElementName = inElementName;
    IXMLHandler* child = nullptr;
    const bool isString = Is(inElementName, kElementString);
    // Only the declaration's own keys count: a dictionary nested under another key has keys of
    // the same names that are not the declaration's.
    const bool direct = fOpenChildren.empty();
    if (!direct)
    {
        fPendingKey.Clear();
    }
    else if (isString && (Is(fLastKey, kTypeIdentifier) || Is(fLastKey, kTypeDescription)))
    {
        fPendingKey = fLastKey;
    }
    else
    {
        // Also for a string under another key, or under none: its text is nobody's.
        fPendingKey.Clear();
        if (Is(inElementName, kElementArray) && Is(fLastKey, kTypeConformsTo))
            child = new (std::nothrow) VUTIManagerUTIKeyArrayStringHandler(fType, fLastKey);
        else if (Is(inElementName, kElementDict) && Is(fLastKey, kTypeTagSpecification))
            child = new (std::nothrow) VUTIManagerUTIKeyUTISpecificationHandler(fType);
    }
    fLastKey.Clear();
    if (child != nullptr)
        return child;
    fOpenChildren.push_back(inElementName);
    if (isString || Is(inElementName, kElementKey))
        fInText = true;
    return RetainedSelf(this);
}

void VUTIManagerUTIHandler::SetText(const VString& inText)
{
    if (!fInText || inText.IsEmpty() || fOpenChildren.size() != 1)
        return;
    if (Is(fElementName, kElementKey))
    {
        fLastKey.AppendString(inText);
    }
    else if (Is(fElementName, kElementString))
    {
        if (Is(fPendingKey, kTypeIdentifier))
            fType->SetIdentifier(VString(fType->GetIdentifier()).AppendString(inText));
        else if (Is(fPendingKey, kTypeDescription))
            fType->SetDescription(VString(fType->GetDescription()).AppendString(inText));
    }
}

void VUTIManagerUTIHandler::EndElement(const VString&)
{
    if (!fOpenChildren.empty())
    {
        fInText = false;
        fOpenChildren.pop_back();
        return;
    }
    if (fType != nullptr)
        fManager->AddNewUTI(fType);
}

// "UTTypeTagSpecification".

VUTIManagerUTIKeyUTISpecificationHandler::VUTIManagerUTIKeyUTISpecificationHandler(VUTI* inType)
    : fType(RetainRefCountable(inType))
{
}

VUTIManagerUTIKeyUTISpecificationHandler::~VUTIManagerUTIKeyUTISpecificationHandler()
{
    ReleaseRefCountable(&fType);
}

IXMLHandler* VUTIManagerUTIKeyUTISpecificationHandler::StartElement(const VString& inElementName)
{
    fElementName = inElementName;
    fInText = Is(inElementName, kElementKey) || Is(inElementName, kElementString);
    IXMLHandler* child = nullptr;
    if (Is(inElementName, kElementString))
    {
        // A string under a key that is no tag class belongs to none of them.
        if (IsTagClass(fLastKey))
            fPendingKey = fLastKey;
        else
            fPendingKey.Clear();
    }
    else if (Is(inElementName, kElementArray) && !fLastKey.IsEmpty())
    {
        child = new (std::nothrow) VUTIManagerUTIKeyArrayStringHandler(fType, fLastKey);
    }
    fLastKey.Clear();
    return child != nullptr ? child : RetainedSelf(this);
}

void VUTIManagerUTIKeyUTISpecificationHandler::SetText(const VString& inText)
{
    if (!fInText || inText.IsEmpty())
        return;
    if (Is(fElementName, kElementKey))
    {
        fLastKey.AppendString(inText);
    }
    else if (Is(fElementName, kElementString))
    {
        if (VString* text = TextOfTagClass(fPendingKey, fExtension, fOSType, fMIMEType))
            text->AppendString(inText);
    }
}

void VUTIManagerUTIKeyUTISpecificationHandler::EndElement(const VString&)
{
    if (!fExtension.IsEmpty())
        fType->AddExtension(fExtension);
    else if (!fOSType.IsEmpty())
        fType->AddOSType(fOSType);
    else if (!fMIMEType.IsEmpty())
        fType->AddMIMEType(fMIMEType);
    fInText = false;
    fExtension.Clear();
    fOSType.Clear();
    fMIMEType.Clear();
}

// A string array under a key.

VUTIManagerUTIKeyArrayStringHandler::VUTIManagerUTIKeyArrayStringHandler(VUTI* inType, const VString& inKey)
    : fType(RetainRefCountable(inType)), fKey(inKey)
{
}

VUTIManagerUTIKeyArrayStringHandler::~VUTIManagerUTIKeyArrayStringHandler()
{
    ReleaseRefCountable(&fType);
}

IXMLHandler* VUTIManagerUTIKeyArrayStringHandler::StartElement(const VString& inElementName)
{
    fElementName = inElementName;
    if (Is(inElementName, kElementString))
        fInText = true;
    return RetainedSelf(this);
}

void VUTIManagerUTIKeyArrayStringHandler::SetText(const VString& inText)
{
    if (!fInText || !Is(fElementName, kElementString))
        return;
    if (Is(fKey, kTypeConformsTo))
        fConformsTo.AppendString(inText);
    else if (VString* text = TextOfTagClass(fKey, fExtension, fOSType, fMIMEType))
        text->AppendString(inText);
}

void VUTIManagerUTIKeyArrayStringHandler::EndElement(const VString&)
{
    if (Is(fElementName, kElementString))
    {
        if (!fConformsTo.IsEmpty())
        {
            // A placeholder until the manager links the declared parent in.
            if (VUTI* placeholder = new (std::nothrow) VUTI(fConformsTo, true))
            {
                fType->AddParentUTI(placeholder);
                placeholder->Release();
            }
        }
        fType->AddExtension(fExtension);
        fType->AddOSType(fOSType);
        fType->AddMIMEType(fMIMEType);
    }
    // The array's own end comes after its last string: nothing is added twice.
    fElementName.Clear();
    fConformsTo.Clear();
    fExtension.Clear();
    fOSType.Clear();
    fMIMEType.Clear();
    fInText = false;
}

} // namespace kova
