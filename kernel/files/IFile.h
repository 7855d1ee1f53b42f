// IFile is the interface of a file, implemented by VFile. Besides the operations each file
// implements, it reads and writes a whole file as text: through the file's own content
// operations, with a byte-order mark choosing the character set when the file has one.
#pragma once

#include "kernel/files/IFileSystemObject.h"
#include "kernel/text/CharSet.h"
#include "kernel/values/VMemoryBuffer.h"

#include <cstddef>
#include <cstdint>

namespace kova
{

class VFile;
class VFolder;
class VJSONValue;

class IFile : public IFileSystemObject
{
public:
    ~IFile() override;

    // IFileSystemObject: the file name without its extension.
    void GetNameWithoutExtension(VString& outName) const override;

    // The whole file into a growable buffer (its data size is the file's size).
    virtual VError GetContent(VMemoryBuffer<1024ul, 2ul, 1048576ul>& outContent) const = 0;
    // Up to inSize bytes from the file's start; *outRead, when given, tells how many.
    virtual VError GetData(void* outData, size_t inSize, size_t* outRead) const = 0;
    // Replaces the whole content.
    virtual VError SetContent(const void* inData, size_t inSize) const = 0;
    virtual VError AppendContent(const void* inData, size_t inSize) const = 0;
    virtual VError Delete() const = 0;
    virtual bool IsWritable() const = 0;
    virtual VError GetSize(int64_t* outSize) const = 0;
    virtual VError CopyTo(const VFile& inDestination, uint32_t inOptions) const = 0;
    virtual VError CopyTo(const VFolder& inDestination, VFile** outCopy, uint32_t inOptions) const = 0;

    // The whole file as text: a leading byte-order mark chooses the character set (and is
    // skipped), else inCharSet; line ends converted to inMode (eCRM_NONE keeps them). The
    // failures stay on a context of their own that hands them on; the result is its last error.
    // The text is cleared when the file cannot be read.
    VError GetContentAsString(VString& outText, CharSet inCharSet, ECarriageReturnMode inMode) const;
    // Replaces the content with the text encoded in inCharSet, line ends converted to inMode,
    // after the set's byte-order mark when inWithBOM and the text is not empty. Kova 208 when the
    // set has no converter; nothing is written on any failure.
    VError SetContentAsString(const VString& inText, CharSet inCharSet, ECarriageReturnMode inMode,
                              bool inWithBOM) const;
    // The whole file as JSON text (line ends kept), read with the importer's option 0x200.
    // Returns the first failure.
    VError GetContentAsJSON(VJSONValue& outValue, CharSet inCharSet) const;
    // The value written as JSON text (VJSONValue::Stringify with flags 1), then stored as text;
    // nothing is written when the value cannot be written.
    VError SetContentAsJSON(const VJSONValue& inValue, CharSet inCharSet, ECarriageReturnMode inMode,
                            bool inWithBOM) const;
};

} // namespace kova
