// VErrorImported is an error received from elsewhere (a remote service) with its message already
// written: the text stands for its description and its dump.
#pragma once

#include "kernel/errors/VErrorBase.h"
#include "kernel/text/VString.h"

namespace kova
{

class VErrorImported : public VErrorBase
{
public:
    VErrorImported(VError inError, const VString& inText);

    // Both are the text.
    void GetErrorDescription(VString& outText) const override;
    void DumpToString(VString& outDump) const override;
    // "REST Imported Error".
    void GetLocation(VString& outText) const override;

private:
    VString fText;
};

} // namespace kova
