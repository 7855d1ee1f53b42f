// The value bag stream form, and values read by their kind: any bytes are read without a fault,
// and what was read is written and read again to the same bytes.
#include "fuzz/FuzzSetup.h"

#include "kernel/errors/VErrorContext.h"
#include "kernel/files/VMemoryStream.h"
#include "kernel/values/VValueBag.h"
#include "kernel/values/VRefPtr.h"

#include <memory>
#include <string>

using namespace kova;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* inData, size_t inSize)
{
    StErrorContextInstaller errors(false);
    {
        VConstPtrStream stream(inData, inSize);
        stream.OpenReading();
        VRefPtr<VValueBag> bag(new VValueBag);
        if (bag->ReadFromStream(&stream, 0) == VE_OK)
        {
            const std::string bytes = fuzz::StreamBytesOf(*bag);
            VConstPtrStream again(bytes.data(), bytes.size());
            again.OpenReading();
            VRefPtr<VValueBag> read(new VValueBag);
            fuzz::Check(read->ReadFromStream(&again, 0) == VE_OK, "a written bag reads back");
            fuzz::Check(fuzz::StreamBytesOf(*read) == bytes, "a bag read back writes the same bytes");
            again.CloseReading();
        }
        stream.CloseReading();
    }
    {
        // Values by kind, one after the other, until the stream fails.
        VConstPtrStream stream(inData, inSize);
        stream.SetNeedSwap(inSize > 0 && (inData[0] & 1) != 0);
        stream.OpenReading();
        for (int i = 0; i < 16; ++i)
        {
            std::unique_ptr<VValue> value(stream.GetValue());
            if (value == nullptr || stream.GetLastError() != VE_OK)
                break;
        }
        stream.CloseReading();
    }
    return 0;
}
