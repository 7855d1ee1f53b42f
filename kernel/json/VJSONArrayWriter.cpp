#include "kernel/json/VJSONArrayWriter.h"

#include "kernel/values/VReal.h"
#include "kernel/values/VValueSingle.h"

namespace kova
{

namespace
{

const VString sEmptyArray("[]");

} // namespace

// ----- VJSONArrayWriter

VJSONArrayWriter::VJSONArrayWriter() : fText(sEmptyArray) {}

void VJSONArrayWriter::_Reset()
{
    fText = sEmptyArray;
    fClosed = true;
}

void VJSONArrayWriter::_Reopen()
{
    if (!fClosed)
        return;
    fText.Truncate(fText.GetLength() - 1);
    // The "," that closing took from the last element comes back, or the new one would run into it.
    if (fText.GetLength() > 1)
        fText.AppendUniChar(u',');
    fClosed = false;
}

void VJSONArrayWriter::_Append(const VString& inElement)
{
    _Reopen();
    fText.AppendString(inElement);
    fText.AppendUniChar(u',');
}

void VJSONArrayWriter::Add(const VValueSingle& inValue, uint32_t inOptions)
{
    VString element;
    if (inValue.GetJSONString(element, inOptions) == VE_OK)
        _Append(element);
}

void VJSONArrayWriter::AddString(const char* inText, uint32_t inOptions)
{
    if (inText != nullptr)
        Add(VString(inText), inOptions);
}

void VJSONArrayWriter::AddString(const VString& inText, uint32_t inOptions)
{
    // A string too long to escape would leave an empty element: it is left out instead.
    Add(inText, inOptions);
}

void VJSONArrayWriter::AddStrings(const std::vector<VString>& inTexts, uint32_t inOptions)
{
    for (const VString& text : inTexts)
        AddString(text, inOptions);
}

void VJSONArrayWriter::AddBool(bool inValue)
{
    _Append(VString(inValue ? "true" : "false"));
}

void VJSONArrayWriter::AddLong(int32_t inValue)
{
    VString element;
    element.AppendLong(inValue);
    _Append(element);
}

void VJSONArrayWriter::AddReal(double inValue)
{
    VString element;
    VReal::RealToJSONString(inValue, element);
    _Append(element);
}

void VJSONArrayWriter::AddJSONArray(VJSONArrayWriter& ioOther)
{
    ioOther.Close();
    _Append(ioOther.fText);
    ioOther._Reset();
}

void VJSONArrayWriter::AddLongs(const int32_t* inValues, int32_t inCount)
{
    for (int32_t i = 0; inValues != nullptr && i < inCount; ++i)
        AddLong(inValues[i]);
}

void VJSONArrayWriter::AddWords(const int16_t* inValues, int32_t inCount)
{
    for (int32_t i = 0; inValues != nullptr && i < inCount; ++i)
        AddLong(inValues[i]);
}

void VJSONArrayWriter::AddBools(const char* inValues, int32_t inCount)
{
    for (int32_t i = 0; inValues != nullptr && i < inCount; ++i)
        AddBool(inValues[i] != 0);
}

void VJSONArrayWriter::AddReals(const double* inValues, int32_t inCount)
{
    for (int32_t i = 0; inValues != nullptr && i < inCount; ++i)
        AddReal(inValues[i]);
}

void VJSONArrayWriter::Close()
{
    if (fClosed)
        return;
    if (fText.IsEmpty())
    {
        fText = sEmptyArray;
    }
    else
    {
        // Every element left its ","; a bare "[" has none.
        if (fText.GetLength() > 1)
            fText.Truncate(fText.GetLength() - 1);
        fText.AppendUniChar(u']');
    }
    fClosed = true;
}

void VJSONArrayWriter::GetArray(VString& outText, bool inKeep)
{
    Close();
    outText = fText;
    if (!inKeep)
        _Reset();
}

// ----- VJSONSingleObjectWriter

VJSONSingleObjectWriter::VJSONSingleObjectWriter() : fText("{") {}

bool VJSONSingleObjectWriter::AddMember(const VString& inName, const VValueSingle& inValue,
                                        uint32_t inOptions)
{
    if (inName.IsEmpty())
        return false;
    VString value;
    VString name;
    // The name is escaped: a quote in it would otherwise end the name and inject members.
    if (inValue.GetJSONString(value, inOptions) != VE_OK || inName.GetJSONString(name, 1) != VE_OK)
        return false;
    if (fClosed)
    {
        fText.Truncate(fText.GetLength() - 1);
        fClosed = false;
    }
    if (fCount > 0)
        fText.AppendUniChar(u',');
    fText.AppendString(name);
    fText.AppendUniChar(u':');
    fText.AppendString(value);
    ++fCount;
    return true;
}

void VJSONSingleObjectWriter::GetObject(VString& outText)
{
    if (!fClosed)
    {
        fText.AppendUniChar(u'}');
        fClosed = true;
    }
    outText = fText;
}

} // namespace kova
