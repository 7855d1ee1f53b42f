#include "kernel/json/VJSONWriter.h"

#include "kernel/errors/KovaErrors.h"
#include "kernel/errors/VErrorBase.h"
#include "kernel/files/IFile.h"
#include "kernel/json/IJSONObject.h"
#include "kernel/json/JSONErrors.h"
#include "kernel/json/StJSONNesting.h"
#include "kernel/json/VJSONArray.h"
#include "kernel/json/VJSONObject.h"
#include "kernel/json/VJSONClass.h"
#include "kernel/json/VJSONPropertyConstOrderedIterator.h"
#include "kernel/json/VJSONValue.h"
#include "kernel/values/VReal.h"
#include "kernel/values/VRefPtr.h"
#include "kernel/values/VTime.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace kova
{

// The text being written: one growing block, handed to the caller's string at the end.
class VJSONWriter::Output
{
public:
    int64_t GetLength() const { return fLength; }

    // Room for inCount more units; false (kova 107 raised) when the text would be too long.
    bool Reserve(int64_t inCount)
    {
        if (fLength + inCount <= fCapacity)
            return true;
        return _Grow(inCount);
    }
    // The units past the text, after Reserve.
    UniChar* GetEnd() { return fUnits + fLength; }
    void Advance(int32_t inCount) { fLength += inCount; }

    bool Append(UniChar inUnit)
    {
        if (!Reserve(1))
            return false;
        fUnits[fLength++] = inUnit;
        return true;
    }
    bool Append(const UniChar* inUnits, int32_t inCount)
    {
        if (inCount <= 0)
            return true;
        if (!Reserve(inCount))
            return false;
        std::memcpy(fUnits + fLength, inUnits, size_t(inCount) * sizeof(UniChar));
        fLength += inCount;
        return true;
    }
    bool Append(const VString& inText) { return Append(inText.GetCPointer(), inText.GetLength()); }
    // ASCII only.
    bool AppendASCII(const char* inText)
    {
        int32_t count = int32_t(std::strlen(inText));
        if (!Reserve(count))
            return false;
        for (int32_t i = 0; i < count; ++i)
            fUnits[fLength + i] = UniChar(uint8_t(inText[i]));
        fLength += count;
        return true;
    }

    void MoveTo(VString& outText)
    {
        fText.Validate(int32_t(fLength));
        outText = std::move(fText);
    }

private:
    // A string holds at most this many units (VString's limit, with room for its terminator).
    static constexpr int64_t kMaxLength = 0x7FFFFFF0;

    bool _Grow(int64_t inCount)
    {
        int64_t needed = fLength + inCount;
        if (needed > kMaxLength)
        {
            _ThrowError(VE_STRING_ALLOC_FAILED);
            return false;
        }
        int64_t capacity = std::min(std::max({needed, fCapacity * 2, int64_t(256)}), kMaxLength);
        fText.Validate(int32_t(fLength));
        if (!fText.EnsureSize(int32_t(capacity)))
            return false;
        fUnits = fText.GetCPointerForWrite();
        fCapacity = fText.GetMaxLength();
        return true;
    }

    VString fText;
    UniChar* fUnits = nullptr;
    int64_t fLength = 0;
    int64_t fCapacity = 0;
};

namespace
{

constexpr UniChar kCircularText[] = u"\"[circular]\"";

} // namespace

VJSONWriter::VJSONWriter(uint32_t inOptions) : VJSONWriter(nullptr, inOptions) {}

VJSONWriter::VJSONWriter(VDBLanguageContext* inContext, uint32_t inOptions)
    : fContext(inContext), fOptions(inOptions)
{
    if ((fOptions & kIndented) != 0)
        fIndent.AppendUniChar(u'\n');
}

VJSONWriter::~VJSONWriter() = default;

// ---------------------------------------------------------------------------------------------
// Public entry points: each writes into an output of its own, so that a delegate may call them
// while the writer is busy with an enclosing value.

template <class WRITE>
VError VJSONWriter::_Public(VString& outText, WRITE&& inWrite)
{
    VError error = VE_OK;
    try
    {
        Output output;
        error = inWrite(output);
        if (error == VE_OK)
            output.MoveTo(outText);
    }
    catch (const std::bad_alloc&)
    {
        _ThrowError(VE_MEMORY_FULL);
        error = VE_MEMORY_FULL;
    }
    return error;
}

VError VJSONWriter::StringifyValue(const VJSONValue& inValue, VString& outText)
{
    return _Public(outText, [&](Output& ioOutput) { return _WriteValue(inValue, ioOutput); });
}

VError VJSONWriter::StringifyObject(const VJSONObject* inObject, VString& outText)
{
    return _Public(outText, [&](Output& ioOutput) { return _WriteObject(inObject, ioOutput); });
}

VError VJSONWriter::StringifyArray(const VJSONArray* inArray, VString& outText)
{
    return _Public(outText, [&](Output& ioOutput) { return _WriteArray(inArray, ioOutput); });
}

void VJSONWriter::IncrementLevel()
{
    ++fLevel;
    if ((fOptions & kIndented) != 0)
        fIndent.AppendUniChar(u'\t');
}

void VJSONWriter::DecrementLevel()
{
    if (fLevel > 0)
        --fLevel;
    if ((fOptions & kIndented) != 0 && fIndent.GetLength() > 1)
        fIndent.Truncate(fIndent.GetLength() - 1);
}

void VJSONWriter::InsertIndentString(VString& ioText) const
{
    if ((fOptions & kIndented) != 0)
        ioText.Insert(fIndent, 1);
}

void VJSONWriter::AppendIndentString(VString& ioText) const
{
    if ((fOptions & kIndented) != 0)
        ioText.AppendString(fIndent);
}

VError VJSONWriter::StringifyValueToFile(const IFile* inFile, const VJSONValue& inValue, uint32_t inOptions)
{
    if (inFile == nullptr)
        return VE_OK;
    VJSONWriter writer(inOptions);
    VString text;
    VError error = writer.StringifyValue(inValue, text);
    if (error != VE_OK)
        return error;
    return inFile->SetContentAsString(text, VTC_UTF_8, eCRM_NONE, false);
}

// ---------------------------------------------------------------------------------------------
// Writing

VError VJSONWriter::_WriteValue(const VJSONValue& inValue, Output& ioOutput)
{
    bool written = true;
    switch (inValue.GetType())
    {
    case JSON_null:
    case JSON_undefined:
        written = ioOutput.AppendASCII("null");
        break;
    case JSON_false:
        written = ioOutput.AppendASCII("false");
        break;
    case JSON_true:
        written = ioOutput.AppendASCII("true");
        break;
    case JSON_string:
    {
        int32_t length = 0;
        const UniChar* units = inValue.GetStringUnits(&length);
        return _WriteString(units, length, ioOutput);
    }
    case JSON_number:
        return _WriteNumber(inValue.GetNumber(), ioOutput);
    case JSON_object:
        return _WriteObject(inValue.GetObject(), ioOutput);
    case JSON_array:
        return _WriteArray(inValue.GetArray(), ioOutput);
    case JSON_date:
        return _WriteDate(inValue, ioOutput);
    default:
        break;
    }
    return written ? VE_OK : VE_STRING_ALLOC_FAILED;
}

VError VJSONWriter::_WriteHeld(const VJSONValue& inValue, Output& ioOutput)
{
    // A collection may run code (a delegate) that changes the container holding the value: it is
    // held for as long as it is written. Scalars run no code.
    if (VJSONObject* object = inValue.GetObject())
    {
        VRefPtr<VJSONObject> held = VRefPtr<VJSONObject>::Retained(object);
        return _WriteObject(held.Get(), ioOutput);
    }
    if (VJSONArray* array = inValue.GetArray())
    {
        VRefPtr<VJSONArray> held = VRefPtr<VJSONArray>::Retained(array);
        return _WriteArray(held.Get(), ioOutput);
    }
    return _WriteValue(inValue, ioOutput);
}

VError VJSONWriter::_WriteString(const UniChar* inUnits, int32_t inLength, Output& ioOutput)
{
    // The escaped text never exceeds 6 units a unit and the two quotes.
    if (!ioOutput.Reserve(int64_t(inLength) * 6 + 2))
        return VE_STRING_ALLOC_FAILED;
    ioOutput.Advance(VString::WriteJSONEscaped(inUnits, inLength, fOptions, ioOutput.GetEnd()));
    return VE_OK;
}

VError VJSONWriter::_WriteNumber(double inNumber, Output& ioOutput)
{
    VReal::RealToJSONString(inNumber, fScratch);
    return ioOutput.Append(fScratch) ? VE_OK : VE_STRING_ALLOC_FAILED;
}

VError VJSONWriter::_WriteDate(const VJSONValue& inValue, Output& ioOutput)
{
    int16_t year = 0, month = 0, day = 0;
    inValue.GetDate(year, month, day);
    VTime time;
    if ((fOptions & kLocalDates) != 0)
        time.FromLocalTime(year, month, day, 0, 0, 0, 0);
    else
        time.FromUTCTime(year, month, day, 0, 0, 0, 0);
    VError error = time.GetJSONString(fScratch, fOptions);
    if (error != VE_OK)
        return error;
    return ioOutput.Append(fScratch) ? VE_OK : VE_STRING_ALLOC_FAILED;
}

bool VJSONWriter::_CountMember(size_t inLength)
{
    if ((fOptions & kCut) == 0)
        return false;
    // The member during which the count passed the limit is written whole; the next one is the
    // last, and the container stays open.
    if (fWrittenCount > kCutLength)
        return true;
    fWrittenCount += inLength;
    return false;
}

bool VJSONWriter::_IsOpen(const void* inContainer) const
{
    const auto scanned = fOpenContainers.begin() + std::min(fOpenContainers.size(), kScannedLevels);
    return std::find(fOpenContainers.begin(), scanned, inContainer) != scanned ||
           (fOpenContainers.size() > kScannedLevels && fDeepContainers.Find(inContainer) != nullptr);
}

void VJSONWriter::_Open(const void* inContainer)
{
    fOpenContainers.push_back(inContainer);
    if (fOpenContainers.size() > kScannedLevels)
        fDeepContainers.Add(inContainer, 0);
}

void VJSONWriter::_Close()
{
    if (fOpenContainers.size() > kScannedLevels)
        fDeepContainers.Remove(fOpenContainers.back());
    fOpenContainers.pop_back();
}

VError VJSONWriter::_WriteArray(const VJSONArray* inArray, Output& ioOutput)
{
    if (inArray == nullptr)
        return ioOutput.AppendASCII("undefined") ? VE_OK : VE_STRING_ALLOC_FAILED;
    if (inArray->GetCount() == 0)
        return ioOutput.AppendASCII("[]") ? VE_OK : VE_STRING_ALLOC_FAILED;
    if (_IsOpen(inArray))
    {
        _ThrowError(VE_JSON_CIRCULAR);
        return VE_JSON_CIRCULAR;
    }
    StJSONNesting level;
    if (!level.IsOK())
        return VE_JSON_NOT_ENOUGH_STACK;

    _Open(inArray);
    IncrementLevel();
    bool indented = (fOptions & kIndented) != 0;
    bool cut = false;
    VError error = ioOutput.Append(u'[') ? VE_OK : VE_STRING_ALLOC_FAILED;
    // By index, checked at every step: writing an element may run a delegate that changes the
    // array.
    for (size_t i = 0; error == VE_OK && i < inArray->GetCount(); ++i)
    {
        if (i > 0 && !ioOutput.Append(u','))
        {
            error = VE_STRING_ALLOC_FAILED;
            break;
        }
        int64_t start = ioOutput.GetLength();
        if (indented && !ioOutput.Append(fIndent))
        {
            error = VE_STRING_ALLOC_FAILED;
            break;
        }
        if (inArray->_GetLocker() != nullptr)
        {
            // A shared array is read under its locks, one element at a time.
            VJSONValue element;
            if (!inArray->GetAt(i, element))
                break;
            error = _WriteHeld(element, ioOutput);
        }
        else
        {
            error = _WriteHeld(inArray->_GetValues()[i], ioOutput);
        }
        if (error == VE_OK && _CountMember(size_t(ioOutput.GetLength() - start)))
            cut = true;
        if (cut)
            break;
    }
    DecrementLevel();
    _Close();
    if (error != VE_OK)
        return error;

    bool closed = (!indented || ioOutput.Append(fIndent)) && (cut || ioOutput.Append(u']'));
    if (closed && cut && !fCutDone)
    {
        fCutDone = true;
        closed = ioOutput.AppendASCII("...");
    }
    return closed ? VE_OK : VE_STRING_ALLOC_FAILED;
}

VError VJSONWriter::_WriteObject(const VJSONObject* inObject, Output& ioOutput)
{
    if (inObject == nullptr)
        return ioOutput.AppendASCII("undefined") ? VE_OK : VE_STRING_ALLOC_FAILED;
    if (_IsOpen(inObject))
    {
        if ((fOptions & kCircularMarker) != 0)
            return ioOutput.Append(kCircularText, int32_t(std::size(kCircularText) - 1))
                       ? VE_OK
                       : VE_STRING_ALLOC_FAILED;
        _ThrowError(VE_JSON_CIRCULAR);
        return VE_JSON_CIRCULAR;
    }
    if ((fOptions & kRefuseSharedObjects) != 0)
    {
        if (!fSeenObjects.insert(inObject).second)
        {
            _ThrowError(VE_JSON_OBJECT_MET_TWICE);
            return VE_JSON_OBJECT_MET_TWICE;
        }
        fSeenReferences.push_back(VRefPtr<VJSONObject>::Retained(const_cast<VJSONObject*>(inObject)));
    }
    StJSONNesting level;
    if (!level.IsOK())
        return VE_JSON_NOT_ENOUGH_STACK;

    _Open(inObject);
    bool cut = false;
    VError error = _WriteMembers(inObject, ioOutput, cut);
    _Close();
    if (error != VE_OK)
        return error;
    if (cut && !fCutDone)
    {
        fCutDone = true;
        if (!ioOutput.AppendASCII("..."))
            return VE_STRING_ALLOC_FAILED;
    }
    return VE_OK;
}

VError VJSONWriter::_WriteMembers(const VJSONObject* inObject, Output& ioOutput, bool& outCut)
{
    if ((fOptions & kRefuseClassInstances) != 0 && !inObject->IsGenericObject())
    {
        _ThrowError(VE_JSON_CLASS_INSTANCE);
        return VE_JSON_CLASS_INSTANCE;
    }
    IJSONObject* implementation = inObject->GetImplementation();
    if (implementation != nullptr)
    {
        if ((fOptions & kRefuseNativeBinary) != 0 && implementation->IJSON_GetBinarySignature() != 0)
        {
            _ThrowError(VE_JSON_NATIVE_OBJECT);
            return VE_JSON_NATIVE_OBJECT;
        }
        VString text;
        VError error = VE_OK;
        EJSONStatus status = implementation->IJSON_Stringify(inObject, *this, text, &error);
        if (status == EJSON_done)
        {
            if (error != VE_OK)
                return error;
            return ioOutput.Append(text) ? VE_OK : VE_STRING_ALLOC_FAILED;
        }
        if (status == EJSON_error)
            return error != VE_OK ? error : VE_UNKNOWN_ERROR;
    }

    bool indented = (fOptions & kIndented) != 0;
    VError error = VE_OK;
    bool any = false;
    // One member: its name, then its value; the name is written before any code can run.
    auto writeMember = [&](const UniChar* inName, int32_t inNameLength, const VJSONValue& inValue)
    {
        if (!ioOutput.Append(any ? u',' : u'{'))
            return VE_STRING_ALLOC_FAILED;
        any = true;
        int64_t start = ioOutput.GetLength();
        if (indented && !ioOutput.Append(fIndent))
            return VE_STRING_ALLOC_FAILED;
        VError result = _WriteString(inName, inNameLength, ioOutput);
        if (result == VE_OK && !(ioOutput.Append(u':') && (!indented || ioOutput.Append(u' '))))
            result = VE_STRING_ALLOC_FAILED;
        if (result == VE_OK)
            result = _WriteHeld(inValue, ioOutput);
        if (result == VE_OK && _CountMember(size_t(ioOutput.GetLength() - start)))
            outCut = true;
        return result;
    };

    IncrementLevel();
    // The iterator for what the object does not simply hold: a delegate's names, a class's
    // getters, and the properties of a shared object, read under its locks.
    const bool plain = implementation == nullptr && inObject->_GetLocker() == nullptr &&
                       (inObject->GetClass() == nullptr || !inObject->GetClass()->HasGetters());
    if (!plain)
    {
        for (VJSONPropertyConstOrderedIterator it(inObject, 0); error == VE_OK && !outCut && it.IsValid();
             ++it)
        {
            const VString& name = it.GetName();
            error = writeMember(name.GetCPointer(), name.GetLength(), it.GetValue(fContext));
        }
    }
    else
    {
        // By index, checked at every step: writing a value may run code that changes the
        // object. The name is written before any code can run.
        const auto& properties = inObject->_GetProperties();
        for (size_t i = 0; error == VE_OK && !outCut && i < properties.size(); ++i)
        {
            const VJSONObject::Property& property = properties[i];
            error = writeMember(property.fName.GetUnits(), property.fName.GetLength(), property.fValue);
        }
    }
    DecrementLevel();
    if (error != VE_OK)
        return error;
    if (!any)
        return ioOutput.AppendASCII("{}") ? VE_OK : VE_STRING_ALLOC_FAILED;
    bool closed = (!indented || ioOutput.Append(fIndent)) && (outCut || ioOutput.Append(u'}'));
    return closed ? VE_OK : VE_STRING_ALLOC_FAILED;
}

} // namespace kova
