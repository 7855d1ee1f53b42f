#include "platform/mac/values/XMacLeaksChecker.h"

#include "platform/mac/frameworks/CFBundle.h"

namespace kova
{

namespace
{

// The most bytes of a file-system path, terminator included.
constexpr size_t kMaxPathBytes = 4096;

// The path less the extension of its last name. A name's leading dot starts no extension
// (".config"), and "." and ".." have none.
std::string DeletingPathExtension(const std::string& inPath)
{
    size_t nameStart = inPath.rfind('/');
    nameStart = nameStart == std::string::npos ? 0 : nameStart + 1;
    std::string_view name(inPath.data() + nameStart, inPath.size() - nameStart);
    if (name == "..")
        return inPath;
    size_t dot = name.rfind('.');
    if (dot == std::string_view::npos || dot == 0)
        return inPath;
    return inPath.substr(0, nameStart + dot);
}

} // namespace

std::string XMacLeaksChecker::GetMainBundlePathWithoutExtension()
{
    std::shared_ptr<const cf::Bundle> bundle = cf::GetMainBundle();
    if (bundle == nullptr || bundle->GetPath().empty())
        return std::string();
    std::string path = DeletingPathExtension(bundle->GetPath());
    if (path.size() + 1 > kMaxPathBytes)
        return std::string();
    return path;
}

} // namespace kova
