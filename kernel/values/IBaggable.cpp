#include "kernel/values/IBaggable.h"

namespace kova
{

IBaggable::~IBaggable() = default;

VError IBaggable::LoadFromBagWithLoader(const VValueBag& inBag, VBagLoader*, void*)
{
    return LoadFromBag(inBag);
}

VError IBaggable::LoadFromBag(const VValueBag&)
{
    return VE_OK;
}

} // namespace kova
