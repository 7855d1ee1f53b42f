// Remote progress messages and session records from another process: any bag, read from its
// stream form or made by flipping bytes of a sound message, is read and applied to a mirroring
// indicator without a fault, and the indicator's sessions stay consistent.
#include "fuzz/FuzzSetup.h"

#include "kernel/errors/VErrorContext.h"
#include "kernel/errors/VProgressIndicator.h"
#include "kernel/errors/VProgressSessionInfo.h"
#include "kernel/errors/VRemoteProgressSessionInfo.h"
#include "kernel/files/VMemoryStream.h"
#include "kernel/values/VRefPtr.h"
#include "kernel/values/VValueBag.h"

#include <string>

using namespace kova;

namespace
{

// The stream form of a sound message: three sessions, one with attributes.
const std::string& SoundMessage()
{
    static const std::string bytes = []
    {
        VRefPtr<VProgressIndicator> sender(new VProgressIndicator);
        sender->BeginSession(10, VString("outer {curValue}"));
        sender->SetAttribute(VString("file"), VString("a.txt"));
        sender->BeginSession(4, VString("middle"));
        sender->BeginUndeterminedSession(VString("inner"));
        VRemoteProgressSessionInfo message;
        sender->GetProgressInfo(message, nullptr);
        VValueBag bag;
        VString kind;
        message.SaveToBag(bag, kind, nullptr);
        while (sender->GetSessionCount() > 0)
            sender->EndSession();
        return fuzz::StreamBytesOf(bag);
    }();
    return bytes;
}

VRefPtr<VValueBag> ReadBag(const std::string& inBytes)
{
    VConstPtrStream stream(inBytes.data(), inBytes.size());
    stream.OpenReading();
    VRefPtr<VValueBag> bag(new VValueBag);
    const bool read = bag->ReadFromStream(&stream, 0) == VE_OK;
    stream.CloseReading();
    return read ? bag : VRefPtr<VValueBag>();
}

void Apply(VProgressIndicator& ioMirror, const VValueBag& inBag)
{
    VRemoteProgressSessionInfo message;
    message.LoadFromBag(inBag);
    ioMirror.UpdateFromRemoteInfo(message);
    fuzz::Check(ioMirror.GetSessionCount() >= 0, "the session count never goes below 0");
    VProgressSessionInfo summary;
    ioMirror.GetProgressInfo(summary);
    ioMirror.ComputePercentDone();
    VValueBag described;
    ioMirror.SaveInfoToBag(described);
    VString text;
    ioMirror.GetMessage(text);

    VProgressIndicatorInfo record;
    record.LoadFromBag(inBag);
    record.GetMessage(text);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* inData, size_t inSize)
{
    StErrorContextInstaller errors(false);
    std::string flipped = SoundMessage();
    for (size_t i = 0; i < inSize; ++i)
        flipped[i % flipped.size()] ^= char(inData[i]);
    const VRefPtr<VValueBag> bags[] = {ReadBag(std::string(reinterpret_cast<const char*>(inData), inSize)),
                                       ReadBag(flipped)};

    // A mirror with a local session under it, opened by a sound message, then told the input.
    VRefPtr<VProgressIndicator> mirror(new VProgressIndicator);
    mirror->BeginSession(2, VString("local"));
    VRefPtr<VValueBag> sound = ReadBag(SoundMessage());
    fuzz::Check(sound != nullptr, "the sound message reads");
    Apply(*mirror, *sound);
    for (const VRefPtr<VValueBag>& bag : bags)
    {
        if (bag != nullptr)
            Apply(*mirror, *bag);
    }
    int32_t ends = 0;
    while (mirror->GetSessionCount() > 0 && ends++ < 1000)
        mirror->EndSession();
    fuzz::Check(mirror->GetSessionCount() == 0, "every session ends");
    return 0;
}
