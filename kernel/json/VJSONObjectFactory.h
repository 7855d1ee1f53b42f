// VJSONObjectFactory turns the native records of the binary form back into delegates: each kind
// of native object registers a creator under the four-character signature it writes, and the
// binary reader asks the factory for the creator of the signature it meets. One factory exists
// per process; it knows the blob ('JBlb') from the start.
#pragma once
#include "kernel/tasks/VCriticalSection.h"
#include "kernel/values/KovaTypes.h"
#include "kernel/values/VObject.h"
#include "kernel/values/VRefPtr.h"
#include <cstddef>
#include <cstdint>
#include <map>

namespace kova
{

class IJSONObject;
class VJSONObject;

// (object being read, signature, record bytes, their size, class object out, error out): the new
// delegate with one reference for the caller, or null.
using JSONObjectCreator = IJSONObject* (*)(VJSONObject* inObject, uint32_t inSignature, const void* inData,
                                           size_t inSize, VRefPtr<VJSONObject>& outClassObject,
                                           VError* outError);

class VJSONObjectFactory : public VObject
{
public:
    static constexpr uint32_t kBlobSignature = 0x4A426C62; // 'JBlb'

    VJSONObjectFactory();
    ~VJSONObjectFactory() override;

    // The process's factory, made on first use.
    static VJSONObjectFactory& Get();

    // Adds the creator, or replaces the one registered for the signature.
    void RegisterSignature(uint32_t inSignature, JSONObjectCreator inCreator);
    void UnRegisterSignature(uint32_t inSignature);
    bool IsSignatureSupported(uint32_t inSignature) const;
    // The creator's result, called outside the lock; null when none is registered.
    IJSONObject* CreateForSignature(VJSONObject* inObject, uint32_t inSignature, const void* inData,
                                    size_t inSize, VRefPtr<VJSONObject>& outClassObject,
                                    VError* outError) const;

private:
    mutable VCriticalSection fLock;
    std::map<uint32_t, JSONObjectCreator> fCreators;
};

} // namespace kova
