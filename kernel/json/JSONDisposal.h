// The last release of a JSON object or array destroys it through DisposeJSONCollection. A
// collection destroyed while another one is being destroyed on the same thread is queued and
// destroyed after it, so that dropping a tree nested thousands of levels deep takes a few frames
// of stack, not one per level.
#pragma once

namespace kova
{

class IRefCountable;

void DisposeJSONCollection(IRefCountable* inCollection);

} // namespace kova
