// IRefCountable is the intrusive, atomic reference count that shared objects mix in. An object
// starts with a count of 1 (its creator's reference); whoever retains releases, and the release
// that brings the count to 0 destroys the object through DoOnRefCountZero. Counting is const so
// that read-only shared objects can still be retained and released from any task.
#pragma once

#include <atomic>
#include <cstdint>

namespace kova
{

class IRefCountable
{
public:
    IRefCountable() noexcept : fRefCount(1) {}
    // A copy is a new object: it starts with its own single reference.
    IRefCountable(const IRefCountable&) noexcept : fRefCount(1) {}
    IRefCountable& operator=(const IRefCountable&) noexcept { return *this; }
    virtual ~IRefCountable();

    // Both return the new count. The tag serves debugging only.
    virtual uint32_t Retain(const char* tag = nullptr) const;
    virtual uint32_t Release(const char* tag = nullptr) const;

    // Drops references to other shared objects, to break cycles before the last release.
    virtual void ReleaseDependencies();

    // Called once, by the release that brings the count to 0. Deletes the object by default.
    virtual void DoOnRefCountZero();

    uint32_t GetRefCount() const { return fRefCount.load(std::memory_order_acquire); }

    // Adds a reference unless the count already reached 0, the object being on its way out: for
    // registries that list objects without holding a reference. Whether one was added.
    bool RetainIfAlive() const;

private:
    mutable std::atomic<uint32_t> fRefCount;
};

// Helpers for code that holds a possibly null reference.
template <class T>
inline T* RetainRefCountable(T* object)
{
    if (object != nullptr)
        object->Retain();
    return object;
}

template <class T>
inline void ReleaseRefCountable(T** ioObject)
{
    if (*ioObject != nullptr)
    {
        T* object = *ioObject;
        *ioObject = nullptr;
        object->Release();
    }
}

} // namespace kova
