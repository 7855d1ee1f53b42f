#include "kernel/json/VJSONIter.h"

#include "kernel/json/VJSONArray.h"
#include "kernel/json/VJSONObject.h"
#include "kernel/json/VJSONPropertyConstOrderedIterator.h"
#include "kernel/json/VStorageLocker.h"

#include <algorithm>

namespace kova
{

VJSONIter::VJSONIter(VJSONObject* inObject, int32_t inStart, int32_t inEnd, bool inFlag) : fValue(inObject)
{
    if (inObject == nullptr)
        return;
    fDelegate = inObject->GetImplementation();
    if (fDelegate != nullptr)
    {
        VObject* made =
            fDelegate->IJSON_MakeIterator(inObject, size_t(int64_t(inStart)), size_t(int64_t(inEnd)), inFlag);
        fDelegateIterator = dynamic_cast<VJSONIter*>(made);
        // Only an iterator of this kind can answer NextValue; anything else is dropped.
        if (fDelegateIterator == nullptr)
            delete made;
        else
            return;
    }
    for (VJSONPropertyConstOrderedIterator it(inObject, 0); it.IsValid(); ++it)
        fNames.push_back(it.GetName());
    fNameEnd = fNames.size();
}

VJSONIter::VJSONIter(VJSONArray* inArray, int32_t inStart, int32_t inEnd, bool inToEnd) : fValue(inArray)
{
    if (inArray == nullptr)
        return;
    const int64_t count = int64_t(std::min<size_t>(inArray->GetCount(), INT32_MAX));
    const int64_t start = inStart < 0 ? std::max<int64_t>(0, inStart + count) : inStart;
    int64_t end = count;
    if (!inToEnd)
        end = std::min<int64_t>(inEnd < 0 ? inEnd + count : inEnd, count);
    fNextIndex = int32_t(start);
    fEndIndex = int32_t(std::max<int64_t>(end, 0));
}

VJSONIter::~VJSONIter()
{
    if (fDelegateIterator != nullptr)
        fDelegateIterator->Release();
}

bool VJSONIter::NextValue(VJSONValue& outValue)
{
    outValue.SetUndefined();
    if (fDelegateIterator != nullptr)
        return fDelegateIterator->NextValue(outValue);
    if (fValue.IsObject())
    {
        if (fNamePosition >= fNameEnd)
            return false;
        outValue.SetString(fNames[fNamePosition++]);
        return true;
    }
    VJSONArray* array = fValue.GetArray();
    if (array == nullptr)
        return false;
    VJSONUser user(array);
    if (fNextIndex >= fEndIndex || size_t(fNextIndex) >= array->GetCount())
        return false;
    outValue = array->GetAt(size_t(fNextIndex));
    ++fNextIndex;
    return true;
}

} // namespace kova
