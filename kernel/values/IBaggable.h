// IBaggable is implemented by objects that save themselves into a value bag and load themselves
// back from one (errors, progress records, settings). SaveToBag also names the element under
// which the bag is to be stored, so that VValueBag::AddElement(const IBaggable*) can file it.
#pragma once

#include "kernel/values/KovaTypes.h"

namespace kova
{

class VBagLoader;
class VString;
class VValueBag;

class IBaggable
{
public:
    virtual ~IBaggable();

    // Loads with a loader (which may regenerate identifiers); by default LoadFromBag.
    virtual VError LoadFromBagWithLoader(const VValueBag& inBag, VBagLoader* inLoader,
                                         void* inContext = nullptr);
    // By default loads nothing and succeeds.
    virtual VError LoadFromBag(const VValueBag& inBag);
    // Fills the bag and sets outKind to the element name under which it is to be stored.
    virtual VError SaveToBag(VValueBag& ioBag, VString& outKind) const = 0;
};

} // namespace kova
