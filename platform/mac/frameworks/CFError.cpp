#include "platform/mac/frameworks/CFError.h"

#include "platform/mac/frameworks/CFBundle.h"
#include "platform/mac/frameworks/NSFileManager.h"

#include <atomic>
#include <new>
#include <string>

namespace kova::cf
{

namespace
{

struct CocoaText
{
    int64_t fCode;
    const char* fText;
};

// The file manager's codes, whatever errno they were mapped from, and the bundle's.
constexpr CocoaText kCocoaTexts[] = {
    {ns::kFileNoSuchFileError, "The file or folder does not exist."},
    {ns::kFileReadUnknownError, "The file could not be read."},
    {ns::kFileReadNoPermissionError, "The file could not be read: there is no permission to read it."},
    {ns::kFileReadNoSuchFileError, "The file to read does not exist."},
    {ns::kFileWriteUnknownError, "The file could not be written."},
    {ns::kFileWriteNoPermissionError,
     "The file could not be written: there is no permission to write there."},
    {ns::kFileWriteFileExistsError, "The item could not be written: an item of that name already exists."},
    {ns::kFileWriteOutOfSpaceError, "The file could not be written: there is no space left on the volume."},
    {ns::kFileWriteVolumeReadOnlyError, "The file could not be written: the volume is read-only."},
    {ns::kFeatureUnsupportedError, "The operation is not supported for this item or on its volume."},
    {kExecutableNotLoadableError, "The bundle's executable is missing or could not be loaded."},
    {kExecutableLinkError, "The bundle's executable could not be linked."},
};

} // namespace

struct Error
{
    Error(const char* inDomain, int64_t inCode) : fDomain(inDomain), fCode(inCode) {}

    std::atomic<int32_t> fRefCount{1};
    std::string fDomain;
    int64_t fCode;
};

Error* ErrorCreate(const char* inDomain, int64_t inCode)
{
    if (inDomain == nullptr)
        return nullptr;
    try
    {
        return new Error(inDomain, inCode);
    }
    catch (const std::bad_alloc&)
    {
        return nullptr;
    }
}

Error* ErrorRetain(Error* inError)
{
    if (inError != nullptr)
        inError->fRefCount.fetch_add(1, std::memory_order_relaxed);
    return inError;
}

void ErrorRelease(Error* inError)
{
    // The last owner must see every write the other owners made before they let go.
    if (inError != nullptr && inError->fRefCount.fetch_sub(1, std::memory_order_acq_rel) == 1)
        delete inError;
}

const char* ErrorGetDomain(const Error* inError)
{
    return inError->fDomain.c_str();
}

int64_t ErrorGetCode(const Error* inError)
{
    return inError->fCode;
}

int32_t ErrorGetRetainCount(const Error* inError)
{
    return inError->fRefCount.load(std::memory_order_relaxed);
}

std::string ErrorCopyDescription(const Error* inError)
{
    try
    {
        if (inError->fDomain == kErrorDomainCocoa)
        {
            for (const CocoaText& text : kCocoaTexts)
            {
                if (text.fCode == inError->fCode)
                    return text.fText;
            }
        }
        return inError->fDomain + " error " + std::to_string(inError->fCode) + ".";
    }
    catch (const std::bad_alloc&)
    {
        return std::string();
    }
}

} // namespace kova::cf
