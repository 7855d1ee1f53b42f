#include "kernel/files/VFileDesc.h"

#include "kernel/errors/KovaErrors.h"
#include "kernel/files/VFile.h"
#include "kernel/files/VFileError.h"
#include "kernel/values/VValueBag.h"

#include <cstdint>
#include <new>

namespace kova
{

namespace
{

// "count" is a 32-bit value; a count beyond it keeps its whole value in a 64-bit one.
void SetCount(VValueBag& ioBag, size_t inCount)
{
    if (inCount <= size_t(INT32_MAX))
        ioBag.SetLong("count", int32_t(inCount));
    else
        ioBag.SetLong8("count", int64_t(inCount));
}

} // namespace

VFileDesc::VFileDesc(const VFile* inFile, int inFD, FileAccess inAccess)
    : fAccess(inAccess), fFile(RetainRefCountable(const_cast<VFile*>(inFile))), fImpl(inFD)
{
}

VFileDesc::~VFileDesc()
{
    ReleaseRefCountable(&fFile);
}

VError VFileDesc::_ThrowNative(VError inResult, VError inOperationError) const
{
    return VFileError::ThrowFromNative(fFile != nullptr ? fFile->GetPath() : VFilePath(), inResult,
                                       inOperationError);
}

VError VFileDesc::_ThrowTransfer(VError inResult, VError inOperationError, size_t inCount,
                                 int64_t inOffset) const
{
    const VFilePath path = fFile != nullptr ? fFile->GetPath() : VFilePath();
    auto setParameters = [this, inCount, inOffset](VValueBag& ioBag)
    {
        SetCount(ioBag, inCount);
        ioBag.SetLong8("offset", inOffset);
        int64_t size = 0;
        if (fImpl.GetSize(&size) == VE_OK)
            ioBag.SetLong8("size", size);
    };
    if (inResult == VE_STREAM_EOF)
    {
        VFileError* error = new (std::nothrow) VFileError(path, VE_STREAM_EOF);
        if (error != nullptr)
            setParameters(*error->GetBag());
        _PushRetainedError(error, VE_OK);
        return VE_STREAM_EOF;
    }
    return VFileError::ThrowFromNative(path, inResult, inOperationError, setParameters);
}

int64_t VFileDesc::GetSize() const
{
    int64_t size = 0;
    return _ThrowNative(fImpl.GetSize(&size), VE_FILE_CANNOT_GET_SIZE) == VE_OK ? size : 0;
}

VError VFileDesc::SetSize(int64_t inSize) const
{
    const VError result = fImpl.SetSize(inSize);
    return VFileError::ThrowFromNative(fFile != nullptr ? fFile->GetPath() : VFilePath(), result,
                                       VE_FILE_CANNOT_SET_SIZE,
                                       [inSize](VValueBag& ioBag) { ioBag.SetLong8("size", inSize); });
}

VError VFileDesc::GetData(void* outBuffer, size_t inCount, int64_t inOffset, size_t* outRead) const
{
    size_t count = inCount;
    const VError result = fImpl.GetData(outBuffer, &count, inOffset, true);
    if (outRead != nullptr)
        *outRead = count;
    return _ThrowTransfer(result, VE_FILE_CANNOT_READ, inCount, inOffset);
}

VError VFileDesc::GetDataAtPos(void* outBuffer, size_t inCount, int64_t inOffset, size_t* outRead) const
{
    size_t count = inCount;
    const VError result = fImpl.GetData(outBuffer, &count, inOffset, false);
    if (outRead != nullptr)
        *outRead = count;
    // Reaching the end of the data is how a read from the current position learns that it is done.
    if (result == VE_STREAM_EOF)
        return result;
    return _ThrowTransfer(result, VE_FILE_CANNOT_READ, inCount, inOffset);
}

VError VFileDesc::PutData(const void* inData, size_t inCount, int64_t inOffset, size_t* outWritten) const
{
    size_t count = inCount;
    const VError result = fImpl.PutData(inData, &count, inOffset, true);
    if (outWritten != nullptr)
        *outWritten = count;
    return _ThrowTransfer(result, VE_FILE_CANNOT_WRITE, inCount, inOffset);
}

VError VFileDesc::PutDataAtPos(const void* inData, size_t inCount, int64_t inOffset, size_t* outWritten) const
{
    size_t count = inCount;
    const VError result = fImpl.PutData(inData, &count, inOffset, false);
    if (outWritten != nullptr)
        *outWritten = count;
    return _ThrowTransfer(result, VE_FILE_CANNOT_WRITE, inCount, inOffset);
}

int64_t VFileDesc::GetPos() const
{
    int64_t position = 0;
    return _ThrowNative(fImpl.GetPos(&position), VE_FILE_CANNOT_GET_POS) == VE_OK ? position : 0;
}

VError VFileDesc::SetPos(int64_t inPosition, bool inAbsolute) const
{
    const VError result = fImpl.SetPos(inPosition, inAbsolute);
    return VFileError::ThrowFromNative(fFile != nullptr ? fFile->GetPath() : VFilePath(), result,
                                       VE_FILE_CANNOT_SET_POS,
                                       [this, inPosition](VValueBag& ioBag)
                                       {
                                           ioBag.SetLong8("offset", inPosition);
                                           int64_t size = 0;
                                           if (fImpl.GetSize(&size) == VE_OK)
                                               ioBag.SetLong8("size", size);
                                       });
}

VError VFileDesc::Flush() const
{
    return _ThrowNative(fImpl.Flush(), VE_FILE_CANNOT_FLUSH);
}

} // namespace kova
