#include "platform/mac/frameworks/NSURL.h"

#include <cstdlib>
#include <new>
#include <unistd.h>

namespace kova::ns
{

URL::URL(std::string path) : fPath(std::move(path)), fRepresentation(fPath)
{
    while (fRepresentation.size() > 1 && fRepresentation.back() == '/')
        fRepresentation.pop_back();
}

URL* URL::FileURLWithPath(const std::string& path, bool isDirectory)
{
    if (path.empty())
        return nullptr;
    std::string full;
    if (path[0] != '/')
    {
        char* cwd = getcwd(nullptr, 0);
        if (cwd == nullptr)
            return nullptr;
        full.assign(cwd);
        free(cwd);
        if (full.back() != '/')
            full.push_back('/');
    }
    full.append(path);
    if (isDirectory && full.back() != '/')
        full.push_back('/');
    return new (std::nothrow) URL(std::move(full));
}

void URL::Release() const
{
    if (fCount.fetch_sub(1, std::memory_order_acq_rel) == 1)
        delete this;
}

} // namespace kova::ns
