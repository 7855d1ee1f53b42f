#include "kernel/files/VFSObjectIterator.h"

namespace kova
{

VFolderIterator::~VFolderIterator() = default;

VFileIterator::~VFileIterator() = default;

} // namespace kova
