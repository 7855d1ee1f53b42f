#include "kernel/errors/VErrorContext.h"

#include "kernel/errors/ErrorBagKeys.h"
#include "kernel/errors/KovaErrors.h"
#include "kernel/errors/VErrorTaskContext.h"
#include "kernel/tasks/VTask.h"
#include "kernel/values/VBagArray.h"
#include "kernel/values/VValueBag.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace kova
{
namespace
{

std::u16string Text(const VString& inString)
{
    return std::u16string(inString.GetCPointer(), size_t(inString.GetLength()));
}

constexpr VError kA = MakeKovaError(1001);
constexpr VError kB = MakeKovaError(1002);
constexpr VError kC = MakeKovaError(1003);

// The codes of a context's errors, oldest first.
std::vector<VError> Codes(const VErrorContext& inContext)
{
    std::vector<VError> codes;
    for (size_t i = 1; i <= inContext.GetErrorCount(); ++i)
        codes.push_back(inContext.GetNthError(i)->GetError());
    return codes;
}

// Pushes a new error of the code; true when it would be reported to the debug manager.
bool Push(VErrorTaskContext& ioTask, VError inError)
{
    VRefPtr<VErrorBase> error(new VErrorBase(inError));
    bool silent = true;
    EXPECT_TRUE(ioTask.PushError(error.Get(), &silent));
    return !silent;
}

// One scope on a task error state, opened and closed as an installer does.
class Scope
{
public:
    Scope(VErrorTaskContext& ioTask, bool inKeep, bool inSilent, std::vector<VError> inFilter = {})
        : fTask(ioTask), fContext(ioTask.PushNewContext(inKeep, inSilent))
    {
        for (VError error : inFilter)
            fContext->AddErrorToFilter(error);
    }
    ~Scope()
    {
        fTask.PopContext();
        fTask.RecycleContext(fContext);
    }
    Scope(const Scope&) = delete;
    Scope& operator=(const Scope&) = delete;

    VErrorContext& operator*() const { return *fContext; }

private:
    VErrorTaskContext& fTask;
    VErrorContext* fContext;
};

// Installers work on the calling task's error state: each such test gets a task of its own.
template <class BODY>
void OnFreshTask(BODY&& inBody)
{
    VRefPtr<VTask> task(
        new VTask(0, eTaskStylePreemptive, std::function<void()>(std::forward<BODY>(inBody))));
    ASSERT_TRUE(task->Run());
    EXPECT_TRUE(task->WaitForDeath(60000));
}

// ---------------------------------------------------------------------------------------------
// VErrorContext

TEST(VErrorContext, PushingTheMemoryErrorMarksTheContextUntilFlushed)
{
    VRefPtr<VErrorContext> context(new VErrorContext);
    EXPECT_FALSE(context->PushError(nullptr));
    VRefPtr<VErrorBase> memory(new VErrorBase(VE_MEMORY_FULL));
    EXPECT_TRUE(context->PushError(memory.Get()));
    EXPECT_TRUE(context->FailedForMemory());
    EXPECT_EQ(memory->GetRefCount(), 2u);
    context->Flush();
    EXPECT_FALSE(context->FailedForMemory());
    EXPECT_TRUE(context->IsEmpty());
    EXPECT_EQ(memory->GetRefCount(), 1u);
}

TEST(VErrorContext, ParametersOfTheContextOverwriteThoseOfPushedErrors)
{
    VRefPtr<VErrorContext> context(new VErrorContext);
    EXPECT_EQ(context->GetParametersForPushedErrors(false), nullptr);
    context->GetParametersForPushedErrors(true)->SetString("path", VString(u"/context"));
    VRefPtr<VErrorBase> error(new VErrorBase(kA));
    error->GetBag()->SetString("path", VString(u"/error"));
    error->GetBag()->SetString("name", VString(u"kept"));
    context->PushError(error.Get());
    VString text;
    error->GetBag()->GetString("path", text);
    EXPECT_EQ(Text(text), u"/context");
    error->GetBag()->GetString("name", text);
    EXPECT_EQ(Text(text), u"kept");
}

TEST(VErrorContext, FindsByCode)
{
    VRefPtr<VErrorContext> context(new VErrorContext);
    EXPECT_FALSE(context->FindAny(kA, 0));
    VRefPtr<VErrorBase> first(new VErrorBase(kA));
    VRefPtr<VErrorBase> second(new VErrorBase(kA));
    context->PushError(first.Get());
    context->PushError(second.Get());
    EXPECT_EQ(context->Find(kA), first.Get());
    EXPECT_EQ(context->Find(kB), nullptr);
    EXPECT_TRUE(context->FindAny(kB, kA, 0));
    // The list ends at its first 0.
    EXPECT_FALSE(context->FindAny(kB, 0, kA));
    EXPECT_FALSE(context->FindAny(VE_OK, kA));
    EXPECT_EQ(context->GetFirst(), first.Get());
    EXPECT_EQ(context->GetLast(), second.Get());
    EXPECT_TRUE(context->DebugDisplay());
}

TEST(VErrorContext, MergingKeepsTheFailedForMemoryFlagOfEither)
{
    VRefPtr<VErrorContext> parent(new VErrorContext);
    VRefPtr<VErrorBase> memory(new VErrorBase(VE_MEMORY_FULL));
    parent->PushError(memory.Get());
    VRefPtr<VErrorContext> child(new VErrorContext);
    VRefPtr<VErrorBase> other(new VErrorBase(kA));
    child->PushError(other.Get());

    parent->PushErrors(*child);
    EXPECT_TRUE(parent->FailedForMemory());
    EXPECT_EQ(Codes(*parent), (std::vector<VError>{VE_MEMORY_FULL, kA}));

    VRefPtr<VErrorContext> clean(new VErrorContext);
    clean->PushErrors(*parent);
    EXPECT_TRUE(clean->FailedForMemory());
}

TEST(VErrorContext, MergingIntoItselfDoublesItsErrorsOnce)
{
    VRefPtr<VErrorContext> context(new VErrorContext);
    VRefPtr<VErrorBase> error(new VErrorBase(kA));
    context->PushError(error.Get());
    context->PushError(error.Get());
    context->PushErrors(*context);
    EXPECT_EQ(context->GetErrorCount(), 4u);
}

TEST(VErrorContext, CopiesAreKeptAndUnfilteredWithTheSameErrors)
{
    VRefPtr<VErrorContext> source(new VErrorContext(false, true));
    source->AddErrorToFilter(kC);
    source->GetParametersForPushedErrors(true)->SetString("path", VString(u"/p"));
    VRefPtr<VErrorBase> error(new VErrorBase(kA));
    source->PushError(error.Get());
    VRefPtr<VErrorContext> copy(new VErrorContext(*source));
    EXPECT_TRUE(copy->IsKeep());
    EXPECT_FALSE(copy->IsSilent());
    EXPECT_FALSE(copy->IsErrorFiltered(kC));
    EXPECT_EQ(copy->GetLast(), error.Get());
    ASSERT_NE(copy->GetParametersForPushedErrors(false), nullptr);
    EXPECT_NE(copy->GetParametersForPushedErrors(false), source->GetParametersForPushedErrors(false));
}

TEST(VErrorContext, BagFormKeepsEveryErrorInOrder)
{
    VRefPtr<VErrorContext> context(new VErrorContext);
    for (VError code : {kA, kB, kC})
    {
        VRefPtr<VErrorBase> error(new VErrorBase(code));
        error->GetBag()->SetLong("n", int32_t(code & 0xFFFF));
        context->PushError(error.Get());
    }
    VRefPtr<VValueBag> bag(new VValueBag);
    EXPECT_EQ(context->SaveToBag(*bag), VE_OK);
    ASSERT_NE(bag->GetElements(ErrorBagKeys::error), nullptr);
    EXPECT_EQ(bag->GetElements(ErrorBagKeys::error)->GetCount(), 3);

    VRefPtr<VErrorContext> loaded(new VErrorContext);
    EXPECT_EQ(loaded->LoadFromBag(*bag), VE_OK);
    EXPECT_EQ(Codes(*loaded), (std::vector<VError>{kA, kB, kC}));
    int32_t n = 0;
    EXPECT_TRUE(loaded->GetLast()->GetBag()->GetLong("n", n));
    EXPECT_EQ(n, 1003);

    VRefPtr<VValueBag> empty(new VValueBag);
    EXPECT_EQ(loaded->LoadFromBag(*empty), VE_OK);
    EXPECT_EQ(loaded->GetErrorCount(), 3u);
}

// ---------------------------------------------------------------------------------------------
// VErrorTaskContext

TEST(VErrorTaskContext, AFilteredCodeSilencesAndDropsItsScope)
{
    VRefPtr<VErrorTaskContext> task(new VErrorTaskContext);
    Scope outer(*task, true, false);
    {
        Scope filtering(*task, true, false, {kA});
        EXPECT_TRUE(Push(*task, kB));
        EXPECT_FALSE(Push(*task, kA));
        EXPECT_FALSE(Push(*task, kC));
        EXPECT_TRUE((*filtering).IsSilent());
        EXPECT_FALSE((*filtering).IsKeep());
    }
    EXPECT_TRUE((*outer).IsEmpty());
}

TEST(VErrorTaskContext, AnOuterFilterSilencesTheInnerScope)
{
    VRefPtr<VErrorTaskContext> task(new VErrorTaskContext);
    Scope outer(*task, true, false, {kA});
    {
        Scope inner(*task, true, false);
        EXPECT_FALSE(Push(*task, kA));
        EXPECT_FALSE((*inner).IsKeep());
    }
    EXPECT_TRUE((*outer).IsEmpty());
    // Outside the inner scope the outer context is the innermost: it turns silent itself.
    EXPECT_FALSE(Push(*task, kA));
    EXPECT_TRUE((*outer).IsSilent());
}

TEST(VErrorTaskContext, KeptSilentScopesHandTheirErrorsOutward)
{
    VRefPtr<VErrorTaskContext> task(new VErrorTaskContext);
    Scope outer(*task, true, false);
    {
        Scope quiet(*task, true, true);
        EXPECT_FALSE(Push(*task, kA));
        EXPECT_FALSE(Push(*task, kB));
    }
    EXPECT_EQ(Codes(*outer), (std::vector<VError>{kA, kB}));
    {
        Scope dropped(*task, false, true);
        EXPECT_FALSE(Push(*task, kC));
    }
    EXPECT_EQ(Codes(*outer), (std::vector<VError>{kA, kB}));
    EXPECT_TRUE(Push(*task, kC));
}

TEST(VErrorTaskContext, ClosingAChildAddsItsMemoryFailureToTheParent)
{
    VRefPtr<VErrorTaskContext> task(new VErrorTaskContext);
    Scope outer(*task, true, false);
    Push(*task, VE_MEMORY_FULL);
    {
        Scope child(*task, true, false);
        Push(*task, kA);
        EXPECT_FALSE(task->FailedForMemory());
    }
    EXPECT_TRUE(task->FailedForMemory());
    task->Flush();
    EXPECT_FALSE(task->FailedForMemory());
    {
        Scope child(*task, true, false);
        Push(*task, VE_MEMORY_FULL);
    }
    EXPECT_TRUE(task->FailedForMemory());
}

TEST(VErrorTaskContext, LastErrorLooksAtTheInnermostContextOnly)
{
    VRefPtr<VErrorTaskContext> task(new VErrorTaskContext);
    EXPECT_EQ(task->GetLastError(), VE_OK);
    EXPECT_EQ(task->GetLast(), nullptr);
    Scope outer(*task, true, false);
    Push(*task, kA);
    Push(*task, kB);
    Scope inner(*task, true, false);
    EXPECT_EQ(task->GetLastError(), VE_OK);
    ASSERT_NE(task->GetLast(), nullptr);
    EXPECT_EQ(task->GetLast()->GetError(), kB);
    EXPECT_EQ(task->GetFirst()->GetError(), kA);
    Push(*task, kC);
    EXPECT_EQ(task->GetLastError(), kC);
    EXPECT_EQ(task->Find(kB)->GetError(), kB);
    EXPECT_EQ(task->Find(MakeKovaError(5)), nullptr);

    VRefPtr<VErrorContext> all(new VErrorContext);
    task->GetErrors(*all);
    EXPECT_EQ(Codes(*all), (std::vector<VError>{kA, kB, kC}));
}

TEST(VErrorTaskContext, APushOnAnEmptyStackMakesTheBottomContext)
{
    VRefPtr<VErrorTaskContext> task(new VErrorTaskContext);
    EXPECT_FALSE(task->PushError(nullptr, nullptr));
    EXPECT_TRUE(Push(*task, kA));
    EXPECT_EQ(task->GetContextCount(), 1u);
    EXPECT_EQ(task->GetLastError(), kA);
    // The bottom context keeps its errors when popped.
    task->PopContext();
    EXPECT_EQ(task->GetContextCount(), 1u);
    EXPECT_EQ(task->GetLastError(), kA);
}

TEST(VErrorTaskContext, ContextsComeBackAsTheSpareOnlyWhenUntouched)
{
    VRefPtr<VErrorTaskContext> task(new VErrorTaskContext);
    EXPECT_TRUE(task->HasSpareContext());
    VErrorContext* spare = nullptr;
    {
        Scope scope(*task, true, false);
        spare = &*scope;
        EXPECT_FALSE(task->HasSpareContext());
    }
    EXPECT_TRUE(task->HasSpareContext());
    {
        Scope reused(*task, false, true);
        EXPECT_EQ(&*reused, spare);
        EXPECT_FALSE((*reused).IsKeep());
        EXPECT_TRUE((*reused).IsSilent());
    }
    {
        Scope filtering(*task, true, false, {kA});
    }
    EXPECT_FALSE(task->HasSpareContext());
    {
        Scope withParameters(*task, true, false);
        (*withParameters).GetParametersForPushedErrors(true);
    }
    EXPECT_FALSE(task->HasSpareContext());
    task->RecycleContext(nullptr);
}

TEST(VErrorTaskContext, MergeAndFlushMovesTheErrorsOutwardAndKeepsTheContext)
{
    VRefPtr<VErrorTaskContext> task(new VErrorTaskContext);
    task->MergeAndFlushLastContext(false);
    Push(*task, kA);
    task->MergeAndFlushLastContext(true);
    ASSERT_EQ(task->GetContextCount(), 2u);
    EXPECT_EQ(task->GetLastError(), VE_OK);
    EXPECT_TRUE(task->GetInnermostContext()->IsSilent());
    EXPECT_EQ(task->GetLast()->GetError(), kA);

    Push(*task, kB);
    task->GetInnermostContext()->SetSilent(false);
    task->MergeAndFlushLastContext(false);
    EXPECT_EQ(task->GetContextCount(), 2u);
    EXPECT_TRUE(task->GetInnermostContext()->IsEmpty());
    EXPECT_FALSE(task->GetInnermostContext()->IsSilent());
    EXPECT_EQ(task->GetLast()->GetError(), kB);
    EXPECT_EQ(task->GetFirst()->GetError(), kA);
}

TEST(VErrorTaskContext, ErrorsComeFromContextsAndBags)
{
    VRefPtr<VErrorTaskContext> task(new VErrorTaskContext);
    VRefPtr<VErrorContext> source(new VErrorContext);
    for (VError code : {kA, kB})
    {
        VRefPtr<VErrorBase> error(new VErrorBase(code));
        source->PushError(error.Get());
    }
    task->PushErrorsFromContext(nullptr);
    task->PushErrorsFromContext(source.Get());
    EXPECT_EQ(Codes(*task->GetInnermostContext()), (std::vector<VError>{kA, kB}));

    VRefPtr<VValueBag> bag(new VValueBag);
    source->SaveToBag(*bag);
    task->PushErrorsFromBag(*bag);
    EXPECT_EQ(Codes(*task->GetInnermostContext()), (std::vector<VError>{kA, kB, kA, kB}));
}

// ---------------------------------------------------------------------------------------------
// Installers on the calling thread

TEST(StErrorContextInstaller, KeptErrorsOutliveTheOnlyScope)
{
    OnFreshTask(
        []
        {
            {
                StErrorContextInstaller errors;
                _ThrowError(kA);
                _ThrowError(kB);
                EXPECT_EQ(errors.GetLastError(), kB);
            }
            VErrorTaskContext* task = VTask::GetErrorContext(false);
            ASSERT_NE(task, nullptr);
            EXPECT_EQ(task->GetContextCount(), 1u);
            EXPECT_EQ(task->GetLastError(), kB);
            EXPECT_FALSE(task->GetInnermostContext()->IsSilent());
            VTask::FlushErrors();
            EXPECT_EQ(task->GetLastError(), VE_OK);
        });
}

TEST(StErrorContextInstaller, SilentKeptScopesEndOnANonSilentBottom)
{
    OnFreshTask(
        []
        {
            {
                StErrorContextInstaller errors(true, true);
                EXPECT_TRUE(errors.GetContext()->IsSilent());
                EXPECT_TRUE(errors.GetContext()->IsFilterEmpty());
                _ThrowError(kA);
            }
            VErrorTaskContext* task = VTask::GetErrorContext(false);
            ASSERT_NE(task, nullptr);
            EXPECT_EQ(task->GetLastError(), kA);
            EXPECT_FALSE(task->GetInnermostContext()->IsSilent());
        });
}

TEST(StErrorContextInstaller, ErrorsOfAScopeThatKeepsNothingAreGone)
{
    OnFreshTask(
        []
        {
            {
                StErrorContextInstaller outer;
                {
                    StErrorContextInstaller dropped(false, false);
                    _ThrowError(kA);
                    EXPECT_EQ(dropped.GetLastError(), kA);
                }
                EXPECT_EQ(outer.GetLastError(), VE_OK);
                {
                    StErrorContextInstaller filtered(kB, kC, 0);
                    EXPECT_TRUE(filtered.GetContext()->IsErrorFiltered(kC));
                    _ThrowError(kC);
                }
                EXPECT_EQ(outer.GetLastError(), VE_OK);
                {
                    StErrorContextInstaller kept;
                    _ThrowError(kB);
                }
                EXPECT_EQ(outer.GetLastError(), kB);
            }
            EXPECT_EQ(VTask::GetErrorContext(false)->GetLastError(), kB);
        });
}

TEST(StErrorContextInstaller, TheFirstFilteredCodeCountsEvenWhenZero)
{
    OnFreshTask(
        []
        {
            StErrorContextInstaller filtered(VE_OK, kA, 0, kB);
            EXPECT_TRUE(filtered.GetContext()->IsErrorFiltered(VE_OK));
            EXPECT_TRUE(filtered.GetContext()->IsErrorFiltered(kA));
            EXPECT_FALSE(filtered.GetContext()->IsErrorFiltered(kB));
            StErrorContextInstaller one(kB);
            EXPECT_TRUE(one.GetContext()->IsErrorFiltered(kB));
        });
}

TEST(StErrorContextInstaller, ErrorStackListsEveryErrorOuterContextFirst)
{
    OnFreshTask(
        []
        {
            VRefPtr<VValueBag> none(new VValueBag);
            VErrorTaskContext::BuildErrorStack(*none);
            EXPECT_TRUE(none->IsEmpty());

            StErrorContextInstaller outer;
            _ThrowError(MakeVError(kCOMPONENT_CARBON, uint32_t(-43)));
            StErrorContextInstaller inner;
            _ThrowError(MakeKovaError(600));
            VRefPtr<VValueBag> bag(new VValueBag);
            VErrorTaskContext::BuildErrorStack(*bag);
            VBagArray* entries = bag->GetElements("__ERROR");
            ASSERT_NE(entries, nullptr);
            ASSERT_EQ(entries->GetCount(), 2);

            VString text;
            int32_t number = 0;
            EXPECT_TRUE(entries->GetNth(1)->GetString("componentSignature", text));
            EXPECT_EQ(Text(text), u"CARB");
            EXPECT_TRUE(entries->GetNth(1)->GetLong("errCode", number));
            EXPECT_EQ(number, -43);
            EXPECT_TRUE(entries->GetNth(2)->GetString("message", text));
            EXPECT_EQ(Text(text), u"Error code: 600 (kova)");
            EXPECT_TRUE(entries->GetNth(2)->GetString("componentSignature", text));
            EXPECT_EQ(Text(text), u"kova");
        });
}

// The updater's exit status is read this way once every scope has closed.
TEST(StErrorContextInstaller, TheTaskAnswersForItsInnermostContext)
{
    OnFreshTask(
        []
        {
            EXPECT_EQ(VTask::GetLastError(), VE_OK);
            EXPECT_FALSE(VTask::FailedForMemory());
            // Asking makes no error state.
            EXPECT_EQ(VTask::GetErrorContext(false), nullptr);
            {
                StErrorContextInstaller errors;
                _ThrowError(kA);
            }
            EXPECT_EQ(VTask::GetLastError(), kA);
            {
                StErrorContextInstaller inner;
                EXPECT_EQ(VTask::GetLastError(), VE_OK);
                _ThrowError(VE_MEMORY_FULL);
                EXPECT_TRUE(VTask::FailedForMemory());
            }
            EXPECT_EQ(VTask::GetLastError(), VE_MEMORY_FULL);
            EXPECT_TRUE(VTask::FailedForMemory());
            VTask::FlushErrors();
            EXPECT_EQ(VTask::GetLastError(), VE_OK);
            EXPECT_FALSE(VTask::FailedForMemory());
        });
}

TEST(StErrorContextInstaller, PushedContextsJoinTheInnermostScope)
{
    OnFreshTask(
        []
        {
            VTask::PushErrors(nullptr);
            EXPECT_EQ(VTask::GetErrorContext(false), nullptr);
            VRefPtr<VErrorContext> source(new VErrorContext);
            VRefPtr<VErrorBase> error(new VErrorBase(kA));
            source->PushError(error.Get());
            StErrorContextInstaller errors;
            VTask::PushErrors(source.Get());
            EXPECT_EQ(errors.GetLastError(), kA);
            EXPECT_FALSE(VTask::PushError(nullptr));
        });
}

} // namespace
} // namespace kova
