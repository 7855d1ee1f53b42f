#include "kernel/errors/ILogger.h"

#include "kernel/errors/ILoggerBagKeys.h"
#include "kernel/errors/VErrorBase.h"
#include "kernel/tasks/VProcess.h"
#include "kernel/tasks/VTask.h"
#include "kernel/tasks/VTaskMgr.h"
#include "kernel/values/VRefPtr.h"
#include "kernel/values/VValueBag.h"
#include "platform/mac/errors/XMacStackCrawl.h"

#include <cstring>
#include <new>
#include <string>
#include <string_view>

namespace kova
{

std::atomic<uint64_t> ILogger::sSequenceNumber{0};

namespace
{

VString LogSourceOfProcess()
{
    return VProcess::sInstance != nullptr ? VProcess::sInstance->GetLogSourceIdentifier() : VString();
}

void EraseAll(std::u16string& ioText, std::u16string_view inPattern)
{
    for (size_t at = ioText.find(inPattern); at != std::u16string::npos; at = ioText.find(inPattern, at))
        ioText.erase(at, inPattern.size());
}

std::u16string_view TrimSpaces(std::u16string_view inText)
{
    while (!inText.empty() && inText.front() == u' ')
        inText.remove_prefix(1);
    while (!inText.empty() && inText.back() == u' ')
        inText.remove_suffix(1);
    return inText;
}

void AddCompactedCrawl(VValueBag& ioRecord, const VString& inCrawl)
{
    if (inCrawl.IsEmpty())
        return;
    VString line;
    ILogger::CompactStackCrawl(inCrawl, line);
    ILoggerBagKeys::stack_crawl.Set(ioRecord, line);
}

} // namespace

uint64_t ILogger::GetSequenceNumber()
{
    return sSequenceNumber.fetch_add(1, std::memory_order_relaxed) + 1;
}

void ILogger::CompactStackCrawl(const VString& inCrawl, VString& outLine)
{
    std::u16string_view crawl(inCrawl.GetCPointer(), size_t(inCrawl.GetLength()));
    // The crawl's last line ends with a line feed: the empty part after it is no frame.
    if (!crawl.empty() && crawl.back() == u'\n')
        crawl.remove_suffix(1);
    std::u16string line;
    size_t start = 0;
    for (bool first = true;; first = false)
    {
        size_t end = crawl.find(u'\n', start);
        std::u16string frame(
            TrimSpaces(crawl.substr(start, end == std::u16string_view::npos ? end : end - start)));
        size_t open = frame.size() > 1 ? frame.find(u'(', 1) : std::u16string::npos;
        size_t close = open != std::u16string::npos ? frame.find(u')', open) : std::u16string::npos;
        if (close != std::u16string::npos)
            frame.erase(open, close - open + 1);
        EraseAll(frame, u"kova::");
        EraseAll(frame, u"non-virtual thunk to ");
        constexpr std::u16string_view kConst = u" const";
        if (frame.size() >= kConst.size() &&
            frame.compare(frame.size() - kConst.size(), kConst.size(), kConst) == 0)
            frame.resize(frame.size() - kConst.size());
        if (!first)
            line += u" <- ";
        line += frame;
        if (end == std::u16string_view::npos)
            break;
        start = end + 1;
    }
    outLine.FromUniString(line.data(), int32_t(line.size()));
}

void ILogger::LogErrorIfNecessary(VErrorBase* inError)
{
    if (inError == nullptr || !ShouldLog(EML_Error))
        return;
    VRefPtr<VValueBag> record(new (std::nothrow) VValueBag);
    if (!record)
        return;
    ILoggerBagKeys::level.Set(*record, VLong(EML_Error));
    inError->SaveToBag(*record);
    VString message;
    inError->GetErrorDescription(message);
    ILoggerBagKeys::message.Set(*record, message);
    if (OsType component = ComponentOfError(inError->GetError()); component != 0)
        ILoggerBagKeys::component_signature.Set(*record, VLong(int32_t(component)));
    bool hasSource = false;
    if (VTask* task = VTaskMgr::GetCurrentTask())
    {
        VRefPtr<VValueBag> properties(task->RetainProperties());
        VString text;
        if (properties && ILoggerBagKeys::source.Get(*properties, text))
        {
            ILoggerBagKeys::source.Set(*record, text);
            hasSource = true;
        }
        if (properties && ILoggerBagKeys::jobId.Get(*properties, text))
            ILoggerBagKeys::jobId.Set(*record, text);
    }
    if (!hasSource)
        ILoggerBagKeys::source.Set(*record, LogSourceOfProcess());
    VString crawl;
    inError->GetStackCrawl(crawl);
    AddCompactedCrawl(*record, crawl);
    LogBag(record.Get());
}

void ILogger::LogAssertIfNecessary(const char* inMessage, const char* inFile, int inLine)
{
    if (!ShouldLog(EML_Assert))
        return;
    VRefPtr<VValueBag> record(new (std::nothrow) VValueBag);
    if (!record)
        return;
    ILoggerBagKeys::level.Set(*record, VLong(EML_Assert));
    const char* file = inFile != nullptr ? inFile : "";
    if (const char* slash = std::strrchr(file, '/'))
        file = slash + 1;
    ILoggerBagKeys::file_name.Set(*record, VString(file, std::strlen(file), VTC_UTF_8));
    ILoggerBagKeys::line_number.Set(*record, VLong(inLine));
    const char* message = inMessage != nullptr ? inMessage : "";
    ILoggerBagKeys::message.Set(*record, VString(message, std::strlen(message), VTC_UTF_8));
    XMacStackCrawl crawl;
    crawl.LoadFrames(2, 8);
    VString crawlText;
    crawl.Dump(crawlText);
    AddCompactedCrawl(*record, crawlText);
    LogBag(record.Get());
}

} // namespace kova
