#include "xml/IXMLHandler.h"

#include "kernel/files/VFile.h"
#include "kernel/files/VFolder.h"
#include "xml/VXMLParser.h"

#include <xercesc/util/XMLChar.hpp>

namespace kova
{

VXMLEntityFolder::~VXMLEntityFolder()
{
    ReleaseRefCountable(&fFolder);
}

void VXMLEntityFolder::Set(const VString& inPrefix, VFolder* inFolder)
{
    if (inFolder != fFolder)
    {
        RetainRefCountable(inFolder);
        ReleaseRefCountable(&fFolder);
        fFolder = inFolder;
    }
    fPrefix.FromString(inPrefix);
}

VFile* VXMLEntityFolder::Resolve(const VString& inSystemID) const
{
    return VXMLParser::ResolveEntityFromFolder(fPrefix, fFolder, inSystemID);
}

IXMLHandler::~IXMLHandler() = default;

IXMLHandler* IXMLHandler::StartElement(const VString&)
{
    return nullptr;
}

void IXMLHandler::EndElement(const VString&) {}

void IXMLHandler::SetAttribute(const VString&, const VString&) {}

void IXMLHandler::SetText(const VString&) {}

VFile* IXMLHandler::ResolveEntity(const VString& inSystemID)
{
    return fEntityFolder.Resolve(inSystemID);
}

namespace
{

// A token of the pseudo-attributes without its quotes (both ends the same quote) and blanks.
void UnquoteAndTrim(VString& ioToken)
{
    int32_t length = ioToken.GetLength();
    if (length > 0)
    {
        UniChar first = ioToken.GetUniChar(1);
        UniChar last = ioToken.GetUniChar(length);
        if ((first == u'"' && last == u'"') || (first == u'\'' && last == u'\''))
        {
            ioToken.Truncate(length - 1);
            if (length >= 2)
                ioToken.Remove(1, 1);
        }
    }
    int32_t start = 1;
    int32_t end = ioToken.GetLength();
    while (start <= end && IXMLHandler::WCharIsSpace(ioToken.GetUniChar(start)))
        ++start;
    while (end >= start && IXMLHandler::WCharIsSpace(ioToken.GetUniChar(end)))
        --end;
    ioToken.Truncate(end);
    ioToken.Remove(1, start - 1);
}

} // namespace

void IXMLHandler::processingInstruction(const VString& inTarget, const VString& inData)
{
    if (inTarget.IsEmpty() || inData.IsEmpty() || inTarget.IsNull() || inData.IsNull() ||
        !inTarget.EqualToString(VString("xml-stylesheet"), true))
        return;

    StartStyleSheet();
    VString token;
    VString name;
    // Set by "=" until the next token ends: that token is a value, not a name.
    bool afterEquals = false;
    const UniChar* units = inData.GetCPointer();
    for (int32_t index = 0; index < inData.GetLength(); ++index)
    {
        UniChar unit = units[index];
        if (unit == u'=')
        {
            if (!token.IsEmpty())
                name = token;
            token.Clear();
            afterEquals = true;
        }
        else if (WCharIsSpace(unit))
        {
            if (token.IsEmpty())
                continue;
            UnquoteAndTrim(token);
            if (!afterEquals)
                name = token;
            else if (!name.IsEmpty())
                SetStyleSheetAttribute(name, token);
            token.Clear();
            afterEquals = false;
        }
        else
        {
            token.AppendUniChar(unit);
        }
    }
    if (!token.IsEmpty() && afterEquals)
    {
        UnquoteAndTrim(token);
        if (!name.IsEmpty())
            SetStyleSheetAttribute(name, token);
    }
    EndStyleSheet();
}

void IXMLHandler::StartStyleSheet() {}

void IXMLHandler::SetStyleSheetAttribute(const VString&, const VString&) {}

void IXMLHandler::EndStyleSheet() {}

void IXMLHandler::SetEntitiesLocalFolder(const VString& inPrefix, VFolder* inFolder)
{
    fEntityFolder.Set(inPrefix, inFolder);
}

bool IXMLHandler::WCharIsSpace(UniChar inUnit)
{
    return inUnit == 0x20 || inUnit == 0x09 || inUnit == 0x0A || inUnit == 0x0C || inUnit == 0x0D;
}

bool IXMLHandler::IsXMLChar(UniChar inUnit)
{
    return xercesc::XMLChar1_0::isXMLChar(inUnit);
}

IXMLHandler* VNullXMLHandler::StartElement(const VString&)
{
    Retain();
    return this;
}

void VNullXMLHandler::SetAttribute(const VString&, const VString&) {}

void VNullXMLHandler::SetText(const VString&) {}

} // namespace kova
