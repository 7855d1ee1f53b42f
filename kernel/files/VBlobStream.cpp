#include "kernel/files/VBlobStream.h"

#include "kernel/errors/KovaErrors.h"
#include "kernel/errors/VErrorBase.h"
#include "kernel/values/VBlob.h"

namespace kova
{

namespace
{

// Blobs answer their codes without raising them; a failure of the stream is raised.
VError Raised(VError inError)
{
    if (inError != VE_OK)
        _ThrowError(inError);
    return inError;
}

} // namespace

VBlobStream::VBlobStream(VBlob* inBlob)
    : fBlob(inBlob != nullptr ? inBlob : new VBlobWithPtr()), fOwned(inBlob == nullptr)
{
}

VBlobStream::~VBlobStream()
{
    if (fOwned)
        delete fBlob;
}

VError VBlobStream::DoPutData(const void* inData, size_t inCount)
{
    return Raised(fBlob->PutData(inData, inCount, GetPos()));
}

VError VBlobStream::DoGetData(void* outBuffer, size_t* ioCount)
{
    size_t copied = 0;
    VError error = fBlob->GetData(outBuffer, *ioCount, GetPos(), &copied);
    *ioCount = copied;
    return Raised(error);
}

int64_t VBlobStream::DoGetSize()
{
    return int64_t(fBlob->GetSize());
}

VError VBlobStream::DoSetSize(int64_t inSize)
{
    if (inSize < 0 || uint64_t(inSize) > SIZE_MAX)
        return Raised(VE_INVALID_PARAMETER);
    // The blob itself fills what it gains with zeros.
    return Raised(fBlob->SetSize(size_t(inSize)));
}

VError VBlobStream::DoSetPos(int64_t inPos)
{
    if (inPos >= 0 && uint64_t(inPos) <= fBlob->GetSize())
        return VE_OK;
    return DoSetSize(inPos);
}

} // namespace kova
