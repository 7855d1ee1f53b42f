// VErrorImported is an error received from elsewhere (a remote service) with its message already
// written: like a user-generated error, the text stands for its description and its dump; only
// its location tells where it came from.
#pragma once

#include "kernel/errors/VErrorUserGenerated.h"

namespace kova
{

class VErrorImported : public VErrorUserGenerated
{
public:
    using VErrorUserGenerated::VErrorUserGenerated;

    // "REST Imported Error".
    void GetLocation(VString& outText) const override;
};

} // namespace kova
