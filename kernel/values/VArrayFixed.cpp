#include "kernel/values/VArrayFixed.h"

#include "kernel/files/VStream.h"

#include <type_traits>
#include <utility>

namespace kova
{

template <class T>
void VArrayFixed<T>::SwapElements(uint8_t* inData, int32_t inFirst, int32_t inSecond)
{
    T* elements = reinterpret_cast<T*>(inData);
    std::swap(elements[inFirst], elements[inSecond]);
}

template <class T>
int32_t VArrayFixed<T>::CompareElements(uint8_t* inData, int32_t inFirst, int32_t inSecond)
{
    const T* elements = reinterpret_cast<const T*>(inData);
    return CompareNatives(elements[inFirst], elements[inSecond]);
}

template <class T>
int32_t VArrayFixed<T>::_Find(T inValue, int32_t inStart, uint8_t inForward, CompareMethod inMethod) const
{
    const T* elements = _Elements();
    return FindInArray(fCount, inStart, inForward, inMethod,
                       [&](int32_t i)
                       { return MatchesCompareMethod(CompareNatives(inValue, elements[i]), inMethod); });
}

template <class T>
int32_t VArrayFixed<T>::_QuickFind(T inValue) const
{
    const T* elements = _Elements();
    return BisectArray(fCount, [&](int32_t i) { return CompareNatives(elements[i], inValue); });
}

template <class T>
VError VArrayFixed<T>::WriteToStream(VStream* ioStream, int32_t inParam) const
{
    _WriteStreamHeader(ioStream, inParam);
    if (fCount == 0)
        return ioStream->GetLastError();
    if constexpr (sizeof(T) == 1)
        return ioStream->PutData(fData, size_t(fCount));
    else if constexpr (sizeof(T) == 2)
        return ioStream->PutWords(reinterpret_cast<const int16_t*>(fData), fCount);
    else if constexpr (sizeof(T) == 4)
        return ioStream->PutLongs(reinterpret_cast<const int32_t*>(fData), fCount);
    else if constexpr (std::is_floating_point_v<T>)
        return ioStream->PutReals(reinterpret_cast<const double*>(fData), fCount);
    else
        return ioStream->PutLong8s(reinterpret_cast<const int64_t*>(fData), fCount);
}

template <class T>
VError VArrayFixed<T>::ReadFromStream(VStream* ioStream, int32_t)
{
    int32_t count = 0;
    VError error = _ReadStreamCount(ioStream, sizeof(T), count);
    if (error == VE_OK)
        error = _ResetForRead(count);
    if (error != VE_OK || count == 0)
        return error;
    int32_t read = count;
    if constexpr (sizeof(T) == 1)
        ioStream->GetData(fData, size_t(count));
    else if constexpr (sizeof(T) == 2)
        ioStream->GetWords(reinterpret_cast<int16_t*>(fData), &read);
    else if constexpr (sizeof(T) == 4)
        ioStream->GetLongs(reinterpret_cast<int32_t*>(fData), &read);
    else if constexpr (std::is_floating_point_v<T>)
        ioStream->GetReals(reinterpret_cast<double*>(fData), &read);
    else
        ioStream->GetLong8s(reinterpret_cast<int64_t*>(fData), &read);
    return ioStream->GetLastError();
}

template class VArrayFixed<int8_t>;
template class VArrayFixed<int16_t>;
template class VArrayFixed<int32_t>;
template class VArrayFixed<int64_t>;
template class VArrayFixed<uint64_t>;
template class VArrayFixed<double>;

} // namespace kova
