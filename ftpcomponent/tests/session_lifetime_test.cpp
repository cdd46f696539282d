// The session's worker: a start that comes too late, a worker that has ended, and a status
// callback still inside the session when the next operation starts.
#include "../debugreport.h"
#include "../nimbrel.h"
#include "message_window.h"

#include <gtest/gtest.h>

namespace {

// Holds its worker back behind a gate at the thread's first step, so the start can be made late
// at will. (Suspending the thread instead would race its start: a worker already running when
// suspended never ends, and one suspended inside the loader or the heap would stall this thread.)
class HeldSession : public CSession {
public:
    bool hold = true;
    HANDLE held = nullptr;     // our own copy of the thread handle; the test closes it
    HANDLE release = nullptr;  // set to let the held worker start; the test closes it

protected:
    HANDLE BeginWorkerThread(unsigned(__stdcall* routine)(void*), void* argument) override
    {
        if (!hold) return CSession::BeginWorkerThread(routine, argument);
        release = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        // The gate belongs to the thread: the session may be gone before the thread first runs.
        auto* gate = new Gate{nullptr, routine, argument};
        DuplicateHandle(GetCurrentProcess(), release, GetCurrentProcess(), &gate->release, 0, FALSE, DUPLICATE_SAME_ACCESS);
        const HANDLE thread = CSession::BeginWorkerThread(&Gate::Run, gate);
        if (!thread) {
            CloseHandle(gate->release);
            delete gate;
            return thread;
        }
        DuplicateHandle(GetCurrentProcess(), thread, GetCurrentProcess(), &held, 0, FALSE, DUPLICATE_SAME_ACCESS);
        return thread;
    }

private:
    struct Gate {
        HANDLE release;
        unsigned(__stdcall* routine)(void*);
        void* argument;
        // Bounded, so a test that fails before its release still lets the thread end.
        static unsigned __stdcall Run(void* self)
        {
            const Gate gate = *static_cast<Gate*>(self);
            delete static_cast<Gate*>(self);
            WaitForSingleObject(gate.release, 30000);
            CloseHandle(gate.release);
            return gate.routine(gate.argument);
        }
    };
};

// Lets a held worker start and waits for it to end; returns its exit code.
DWORD ReleaseAndJoin(HANDLE release, HANDLE thread)
{
    SetEvent(release);
    CloseHandle(release);
    DWORD code = STILL_ACTIVE;
    if (WaitForSingleObject(thread, 10000) == WAIT_OBJECT_0) GetExitCodeThread(thread, &code);
    CloseHandle(thread);
    return code;
}

struct SlotWords {
    volatile LONG serial = 0x10000 | 5;
    volatile LONG counterA = 0;
    volatile LONG counterB = 0;
    DWORD toggle() const
    {
        return static_cast<DWORD>(reinterpret_cast<uintptr_t>(&counterA) ^ reinterpret_cast<uintptr_t>(&counterB));
    }
};

TEST(SessionWorker, AWorkerThatDoesNotStartInTimeFailsTheStartAndLaterEndsWithoutTouchingTheSession)
{
    SlotWords slot;
    CIndexDeque deque;
    ASSERT_TRUE(deque.Initialise(1));
    auto* session = new HeldSession();
    session->SetStartTimeout(200);
    EXPECT_EQ(session->Initialise(&slot.serial, &slot.counterA, slot.toggle(), &deque, nullptr, 0), -5);
    ASSERT_NE(session->held, nullptr);
    EXPECT_EQ(session->Shutdown(), -1) << "nothing is left initialised";
    const HANDLE thread = session->held;
    const HANDLE release = session->release;
    delete session;
    // The thread runs only now, after its session is gone: it must end at once, on its own.
    EXPECT_EQ(ReleaseAndJoin(release, thread), 0u) << "the abandoned start, not a worker's run (31)";
    EXPECT_EQ(slot.serial, 0x10000 | 5) << "the slot was not touched";
    deque.Destroy();
}

TEST(SessionWorker, ASessionWhoseStartWasGivenUpCanBeInitialisedAgain)
{
    SlotWords slot;
    CIndexDeque deque;
    ASSERT_TRUE(deque.Initialise(1));
    HeldSession session;
    session.SetStartTimeout(100);
    ASSERT_EQ(session.Initialise(&slot.serial, &slot.counterA, slot.toggle(), &deque, nullptr, 0), -5);
    EXPECT_EQ(ReleaseAndJoin(session.release, session.held), 0u);
    // Everything the failed start made was released: the next start works.
    session.hold = false;
    EXPECT_EQ(session.Initialise(&slot.serial, &slot.counterA, slot.toggle(), &deque, nullptr, 0), 0);
    EXPECT_EQ(session.Shutdown(), 0);
    deque.Destroy();
}

TEST(SessionWorker, CollectingFromASessionWhoseWorkerHasEndedFailsInsteadOfWaitingForever)
{
    MessageWindow window;
    CSessionTable table;
    ASSERT_EQ(table.Initialize(window.hwnd(), kMessage, 1), 0);
    ASSERT_EQ(table.CreateSession(), 1);
    CSession* session = table.SessionFor(0);
    const long reports = NimbrelAssertionCount();
    session->QueueItem(true, 99, nullptr);  // an invalid code stops the worker
    for (int i = 0; i < 200 && !session->WorkerEnded(); ++i) Sleep(50);
    ASSERT_TRUE(session->WorkerEnded());
    EXPECT_EQ(NimbrelAssertionCount(), reports + 1);

    NIMBREL_CONNECT c = {};
    lstrcpyA(c.szHost, "127.0.0.1");
    for (BOOL wait : {TRUE, FALSE}) {
        ASSERT_EQ(table.StartOperation(1, &c, true, nullptr), 0);
        void* request = nullptr;
        EXPECT_EQ(table.GetResult(1, &request, wait), 0);
        EXPECT_EQ(request, &c);
        EXPECT_EQ(c.nStatus, NIMBREL_STATUS_FAILURE) << "wait " << wait;
        EXPECT_EQ(table.GetResult(1, &request, wait), -3) << "the operation is over";
    }
    const LONG before = *table.SerialFor(0);
    EXPECT_EQ(table.CloseSession(1), 0);
    // Closing still invalidated the session (its handles closed, its serial moved on).
    ASSERT_EQ(table.CreateSession(), 1);
    EXPECT_FALSE(table.SessionFor(0)->Enter(before));
    EXPECT_TRUE(table.SessionFor(0)->Enter(before + 0x20000));
    table.SessionFor(0)->Leave(before + 0x20000);
    EXPECT_EQ(table.CloseSession(1), 0);
}

TEST(SessionSerial, AnOperationStartedWhileACallbackIsInsideLeavesTheHandshakeToThatCallback)
{
    MessageWindow window;
    CSessionTable table;
    ASSERT_EQ(table.Initialize(window.hwnd(), kMessage, 1), 0);
    ASSERT_EQ(table.CreateSession(), 1);
    CSession* session = table.SessionFor(0);
    NIMBREL_CONNECT c = {};
    lstrcpyA(c.szHost, "127.0.0.1");
    void* request = nullptr;
    ASSERT_EQ(table.StartOperation(1, &c, true, nullptr), 0);
    session->WriteCompletion(PROCESS_COMPLETION, NIMBREL_STATUS_FAILURE, FLAGS_BACK_TO_INITIALISED);
    ASSERT_EQ(table.GetResult(1, &request, TRUE), 0);

    const DWORD_PTR context = *table.SerialFor(0);  // slot 0, first generation
    ASSERT_TRUE(session->Enter(context)) << "a late callback of the finished operation";
    ASSERT_EQ(table.StartOperation(1, &c, true, nullptr), 0);
    EXPECT_FALSE(session->Enter(context)) << "the callback is still inside: the start must not reopen the door";

    // With the callback still inside, Disconnect's invalidation waits for it to leave.
    ASSERT_EQ(table.Disconnect(1), 0);
    Sleep(500);
    EXPECT_EQ(table.GetResult(1, &request, FALSE), 0);
    EXPECT_EQ(c.nStatus, NIMBREL_STATUS_PENDING) << "invalidation went on while a callback was inside";
    session->Leave(context);
    EXPECT_EQ(table.GetResult(1, &request, TRUE), 0);
    EXPECT_EQ(c.nStatus, NIMBREL_STATUS_DISCONNECTED);
    EXPECT_FALSE(session->Enter(context)) << "a stale context after invalidation";
    EXPECT_TRUE(session->Enter(context + 0x20000)) << "the next generation's context";
    session->Leave(context + 0x20000);
    EXPECT_EQ(table.CloseSession(1), 0);
}

}  // namespace
