// VErrorUserGenerated is an error whose message is a text given when it is raised
// (vThrowUserGeneratedError) rather than one found for its code.
#pragma once

#include "kernel/errors/VErrorBase.h"
#include "kernel/text/VString.h"

namespace kova
{

class VErrorUserGenerated : public VErrorBase
{
public:
    VErrorUserGenerated(VError inError, const VString& inText);

    // Both are the text.
    void GetErrorDescription(VString& outText) const override;
    void DumpToString(VString& outDump) const override;

private:
    VString fText;
};

} // namespace kova
