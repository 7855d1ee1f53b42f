// VRefPtr owns one reference of a reference-counted object (IRefCountable). Storing a raw pointer
// takes over the reference the caller held; use VRefPtr::Retained to add one instead. Copying
// retains, moving hands the reference over, destruction releases.
#pragma once

#include <cstddef>
#include <utility>

namespace kova
{

template <class T>
class VRefPtr
{
public:
    VRefPtr() noexcept = default;
    VRefPtr(std::nullptr_t) noexcept {}
    // Adopts the caller's reference.
    explicit VRefPtr(T* object) noexcept : fObject(object) {}
    VRefPtr(const VRefPtr& other) noexcept : fObject(other.fObject) { RetainIfAny(); }
    VRefPtr(VRefPtr&& other) noexcept : fObject(other.fObject) { other.fObject = nullptr; }
    template <class U>
    VRefPtr(const VRefPtr<U>& other) noexcept : fObject(other.Get())
    {
        RetainIfAny();
    }
    ~VRefPtr() { ReleaseIfAny(); }

    // A pointer that adds its own reference to the object.
    static VRefPtr Retained(T* object) noexcept
    {
        VRefPtr ptr(object);
        ptr.RetainIfAny();
        return ptr;
    }

    VRefPtr& operator=(const VRefPtr& other) noexcept
    {
        VRefPtr(other).Swap(*this);
        return *this;
    }
    VRefPtr& operator=(VRefPtr&& other) noexcept
    {
        VRefPtr(std::move(other)).Swap(*this);
        return *this;
    }
    VRefPtr& operator=(std::nullptr_t) noexcept
    {
        Reset();
        return *this;
    }

    // Adopts the caller's reference to object and releases the one held before.
    void Reset(T* object = nullptr) noexcept { VRefPtr(object).Swap(*this); }

    // Hands the reference to the caller.
    [[nodiscard]] T* Detach() noexcept
    {
        T* object = fObject;
        fObject = nullptr;
        return object;
    }

    void Swap(VRefPtr& other) noexcept { std::swap(fObject, other.fObject); }

    T* Get() const noexcept { return fObject; }
    T* operator->() const noexcept { return fObject; }
    T& operator*() const noexcept { return *fObject; }
    explicit operator bool() const noexcept { return fObject != nullptr; }

    friend bool operator==(const VRefPtr& a, const VRefPtr& b) noexcept { return a.fObject == b.fObject; }
    friend bool operator==(const VRefPtr& a, std::nullptr_t) noexcept { return a.fObject == nullptr; }

private:
    void RetainIfAny() noexcept
    {
        if (fObject != nullptr)
            fObject->Retain();
    }
    void ReleaseIfAny() noexcept
    {
        if (fObject != nullptr)
            fObject->Release();
    }

    T* fObject = nullptr;
};

} // namespace kova
