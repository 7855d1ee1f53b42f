#include "kernel/values/VArrayReal.h"

namespace kova
{

double VArrayReal::GetSum() const
{
    double sum = 0.0;
    const double* elements = _Elements();
    for (int32_t i = 0; i < fCount; ++i)
        sum += elements[i];
    return sum;
}

double VArrayReal::GetAverage() const
{
    return fCount == 0 ? 0.0 : GetSum() / fCount;
}

double VArrayReal::GetSquareSum() const
{
    if (fCount == 0)
        return 0.0;
    const double average = GetAverage();
    double sum = 0.0;
    const double* elements = _Elements();
    for (int32_t i = 0; i < fCount; ++i)
        sum += (elements[i] - average) * (elements[i] - average);
    return sum;
}

double VArrayReal::GetStdDev() const
{
    return fCount == 0 ? 0.0 : GetSquareSum() / fCount;
}

} // namespace kova
