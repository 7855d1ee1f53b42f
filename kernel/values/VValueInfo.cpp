#include "kernel/values/VValueInfo.h"

namespace kova
{

VValueInfo::VValueInfo(ValueKind inKind) : VValueInfo(inKind, inKind) {}

VValueInfo::VValueInfo(ValueKind inKind, ValueKind inTrueKind) : fKind(inKind), fTrueKind(inTrueKind)
{
    VValue::RegisterValueInfo(this);
}

VValueInfo::~VValueInfo()
{
    VValue::UnregisterValueInfo(this);
}

CompareResult VValueInfo::CompareTwoPtrToData(const void*, const void*, bool) const
{
    return CR_EQUAL;
}

CompareResult VValueInfo::CompareTwoPtrToDataBegining(const void*, const void*, bool) const
{
    return CR_EQUAL;
}

CompareResult VValueInfo::CompareTwoPtrToData_Like(const void* inData1, const void* inData2, bool inDiacritical) const
{
    return CompareTwoPtrToData(inData1, inData2, inDiacritical);
}

CompareResult VValueInfo::CompareTwoPtrToDataBegining_Like(const void* inData1, const void* inData2,
                                                           bool inDiacritical) const
{
    return CompareTwoPtrToDataBegining(inData1, inData2, inDiacritical);
}

CompareResult VValueInfo::CompareTwoPtrToDataWithOptions(const void*, const void*, const VCompareOptions&) const
{
    return CR_EQUAL;
}

size_t VValueInfo::GetSizeOfValueDataPtr(const void*) const
{
    return 0;
}

size_t VValueInfo::GetAvgSpace() const
{
    return 0;
}

} // namespace kova
