#include "kernel/errors/VErrorBase.h"

#include "kernel/errors/VErrorContext.h"

#include <string>

namespace kova
{

VErrorBase::VErrorBase(VError inError) : fError(inError) {}

VErrorBase::~VErrorBase() = default;

void VErrorBase::SetParameter(const VString& inName, const VString& inValue)
{
    for (auto& parameter : fParameters)
    {
        if (parameter.first.GetLength() == inName.GetLength() &&
            std::char_traits<UniChar>::compare(parameter.first.GetCPointer(), inName.GetCPointer(),
                                               size_t(inName.GetLength())) == 0)
        {
            parameter.second = inValue;
            return;
        }
    }
    fParameters.emplace_back(inName, inValue);
}

bool VErrorBase::GetParameter(const VString& inName, VString& outValue) const
{
    for (const auto& parameter : fParameters)
    {
        if (parameter.first.GetLength() == inName.GetLength() &&
            std::char_traits<UniChar>::compare(parameter.first.GetCPointer(), inName.GetCPointer(),
                                               size_t(inName.GetLength())) == 0)
        {
            outValue = parameter.second;
            return true;
        }
    }
    return false;
}

void _ThrowError(VError inError, const VString* inP1, const VString* inP2, const VString* inP3)
{
    VRefPtr<VErrorBase> error(new VErrorBase(inError));
    const VString* texts[3] = {inP1, inP2, inP3};
    const char* names[3] = {"p1", "p2", "p3"};
    for (int i = 0; i < 3; ++i)
    {
        if (texts[i] != nullptr)
            error->SetParameter(VString(names[i]), *texts[i]);
    }
    VErrorTaskContext::GetCurrent()->PushError(error.Get());
}

} // namespace kova
