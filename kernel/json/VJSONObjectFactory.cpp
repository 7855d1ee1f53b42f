#include "kernel/json/VJSONObjectFactory.h"

#include "kernel/json/VJSONBlob.h"

namespace kova
{

VJSONObjectFactory::VJSONObjectFactory()
{
    fCreators[kBlobSignature] = &VJSONBlob::CreateIJSONObject;
}

VJSONObjectFactory::~VJSONObjectFactory() = default;

VJSONObjectFactory& VJSONObjectFactory::Get()
{
    static VJSONObjectFactory sFactory;
    return sFactory;
}

void VJSONObjectFactory::RegisterSignature(uint32_t inSignature, JSONObjectCreator inCreator)
{
    StLocker locker(fLock);
    fCreators[inSignature] = inCreator;
}

void VJSONObjectFactory::UnRegisterSignature(uint32_t inSignature)
{
    StLocker locker(fLock);
    fCreators.erase(inSignature);
}

bool VJSONObjectFactory::IsSignatureSupported(uint32_t inSignature) const
{
    StLocker locker(fLock);
    return fCreators.count(inSignature) != 0;
}

IJSONObject* VJSONObjectFactory::CreateForSignature(VJSONObject* inObject, uint32_t inSignature,
                                                    const void* inData, size_t inSize,
                                                    VRefPtr<VJSONObject>& outClassObject,
                                                    VError* outError) const
{
    JSONObjectCreator creator = nullptr;
    {
        StLocker locker(fLock);
        auto found = fCreators.find(inSignature);
        if (found != fCreators.end())
            creator = found->second;
    }
    if (creator == nullptr)
        return nullptr;
    return creator(inObject, inSignature, inData, inSize, outClassObject, outError);
}

} // namespace kova
