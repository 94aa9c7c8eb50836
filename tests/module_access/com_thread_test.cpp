#include "module_access/com_thread.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <ole2.h>

#include <thread>

#include "module_access/module_access.h"

namespace {

using ::testing::Return;

class MockFilter : public IMessageFilter {
public:
    STDMETHODIMP QueryInterface(REFIID, void** ppv) override {
        *ppv = nullptr;  // nobody asks a message filter
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++refs; }
    STDMETHODIMP_(ULONG) Release() override { return --refs; }
    MOCK_METHOD(DWORD, HandleInComingCall, (DWORD, HTASK, DWORD, LPINTERFACEINFO),
                (Calltype(STDMETHODCALLTYPE), override));
    MOCK_METHOD(DWORD, RetryRejectedCall, (HTASK, DWORD, DWORD), (Calltype(STDMETHODCALLTYPE), override));
    MOCK_METHOD(DWORD, MessagePending, (HTASK, DWORD, DWORD), (Calltype(STDMETHODCALLTYPE), override));
    ULONG refs = 1;
};

// The filter COM currently has registered on this thread (with a reference).
IMessageFilter* RegisteredFilter() {
    IMessageFilter* current = nullptr;
    CoRegisterMessageFilter(nullptr, &current);
    CoRegisterMessageFilter(current, nullptr);
    return current;
}

void RunOnNewThread(void (*body)()) { std::thread(body).join(); }

TEST(BusyRetryFilter, RetriesBusyEvery250MsForeverAndForwardsTheRest) {
    ThreadComContext* filter = new ThreadComContext(nullptr);
    EXPECT_EQ(250u, filter->RetryRejectedCall(nullptr, 0, SERVERCALL_RETRYLATER));
    EXPECT_EQ(250u, filter->RetryRejectedCall(nullptr, 60 * 60 * 1000, SERVERCALL_RETRYLATER));
    // Any other rejection cancels at once without an earlier filter.
    EXPECT_EQ(static_cast<DWORD>(-1), filter->RetryRejectedCall(nullptr, 0, SERVERCALL_REJECTED));
    EXPECT_EQ(static_cast<DWORD>(SERVERCALL_ISHANDLED),
              filter->HandleInComingCall(CALLTYPE_TOPLEVEL, nullptr, 0, nullptr));
    EXPECT_EQ(static_cast<DWORD>(PENDINGMSG_WAITDEFPROCESS), filter->MessagePending(nullptr, 0, 0));
    EXPECT_EQ(0u, filter->Release());

    // With an earlier filter, everything but busy goes to it.
    MockFilter previous;
    EXPECT_CALL(previous, RetryRejectedCall(nullptr, 10, SERVERCALL_REJECTED)).WillOnce(Return(1000));
    EXPECT_CALL(previous, RetryRejectedCall(nullptr, 10, SERVERCALL_RETRYLATER)).Times(0);
    EXPECT_CALL(previous, HandleInComingCall(CALLTYPE_NESTED, nullptr, 5, nullptr))
        .WillOnce(Return(SERVERCALL_RETRYLATER));
    EXPECT_CALL(previous, MessagePending(nullptr, 7, PENDINGTYPE_TOPLEVEL))
        .WillOnce(Return(PENDINGMSG_CANCELCALL));

    filter = new ThreadComContext(&previous);
    EXPECT_EQ(2u, previous.refs);
    EXPECT_EQ(250u, filter->RetryRejectedCall(nullptr, 10, SERVERCALL_RETRYLATER));
    EXPECT_EQ(1000u, filter->RetryRejectedCall(nullptr, 10, SERVERCALL_REJECTED));
    EXPECT_EQ(static_cast<DWORD>(SERVERCALL_RETRYLATER),
              filter->HandleInComingCall(CALLTYPE_NESTED, nullptr, 5, nullptr));
    EXPECT_EQ(static_cast<DWORD>(PENDINGMSG_CANCELCALL),
              filter->MessagePending(nullptr, 7, PENDINGTYPE_TOPLEVEL));
    filter->Release();
    EXPECT_EQ(1u, previous.refs);
}

TEST(ComThread, NestedBracketsShareOneFilterAndRestoreTheEarlierOne) {
    RunOnNewThread([] {
        ASSERT_TRUE(SUCCEEDED(OleInitialize(nullptr)));
        MockFilter earlier;
        IMessageFilter* none = nullptr;
        ASSERT_EQ(S_OK, CoRegisterMessageFilter(&earlier, &none));
        const LONG objects = ModuleObjectCount();

        ASSERT_EQ(S_OK, EnterComThread());
        ThreadComContext* context = CurrentComContext();
        ASSERT_NE(nullptr, context);
        EXPECT_EQ(1, context->nesting());
        EXPECT_EQ(&earlier, context->previous());
        EXPECT_TRUE(context->oleInitialized());  // S_FALSE counts: it is balanced later
        EXPECT_EQ(objects + 1, ModuleObjectCount());
        IMessageFilter* registered = RegisteredFilter();
        EXPECT_EQ(static_cast<IMessageFilter*>(context), registered);
        registered->Release();

        ASSERT_EQ(S_OK, EnterComThread());
        EXPECT_EQ(context, CurrentComContext());
        EXPECT_EQ(2, context->nesting());

        LeaveComThread();
        EXPECT_EQ(context, CurrentComContext());

        LeaveComThread();
        EXPECT_EQ(nullptr, CurrentComContext());
        registered = RegisteredFilter();
        EXPECT_EQ(static_cast<IMessageFilter*>(&earlier), registered);
        registered->Release();
        EXPECT_EQ(objects, ModuleObjectCount());

        LeaveComThread();  // unmatched: nothing happens
        EXPECT_EQ(nullptr, CurrentComContext());
        CoRegisterMessageFilter(nullptr, nullptr);
        EXPECT_EQ(1u, earlier.refs);
        OleUninitialize();
    });
}

TEST(ComThread, OwnsTheOleInitialisationOfABareThreadAndRefusesAMultithreadedOne) {
    RunOnNewThread([] {
        ASSERT_EQ(S_OK, EnterComThread());
        EXPECT_TRUE(CurrentComContext()->oleInitialized());
        EXPECT_EQ(nullptr, CurrentComContext()->previous());
        // OLE is up: a second initialisation only counts.
        EXPECT_EQ(S_FALSE, CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
        CoUninitialize();
        LeaveComThread();
        // The bracket took its initialisation down with it.
        EXPECT_EQ(S_OK, CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
        CoUninitialize();

        // A multithreaded apartment is refused and nothing changes.
        ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED)));
        const LONG objects = ModuleObjectCount();
        EXPECT_TRUE(FAILED(EnterComThread()));
        EXPECT_EQ(nullptr, CurrentComContext());
        EXPECT_EQ(objects, ModuleObjectCount());
        LeaveComThread();
        CoUninitialize();
    });
}

TEST(ComThread, ScopeBracketsEachThreadWithItsOwnRecord) {
    RunOnNewThread([] {
        ThreadComContext* theirs = nullptr;
        {
            ComThreadScope outer;
            ASSERT_TRUE(outer.ok());
            std::thread([&theirs] {
                ComThreadScope scope;
                theirs = CurrentComContext();
            }).join();
            EXPECT_NE(nullptr, theirs);
            EXPECT_NE(CurrentComContext(), theirs);
        }
        EXPECT_EQ(nullptr, CurrentComContext());
    });
}

}  // namespace
