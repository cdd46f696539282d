// The component object's table, deque and notification counting, driven the way a client does:
// a real window receives the component's messages.
#include "../nimbrel.h"
#include "../asyncftp/tests/thread_count.h"
#include "../debugreport.h"
#include "../module.h"
#include "message_window.h"

#include <gtest/gtest.h>

#include <vector>

#include <set>

#include <memory>


namespace {


NIMBREL_CONNECT MakeConnect()
{
    NIMBREL_CONNECT c = {};
    lstrcpyA(c.szHost, "127.0.0.1");
    c.wPort = 21;
    c.dwPassive = 1;
    return c;
}

TEST(NimbrelTable, InitializeAcceptsOneToFourThousandNinetySixOnce)
{
    for (DWORD bad : {0u, 4097u, 0xFFFFFFFFu}) {
        CNimbrel object;
        EXPECT_EQ(object.Initialize(nullptr, kMessage, bad), -2) << bad;
        EXPECT_EQ(object.CreateSession(), 0) << "still not initialised";
    }
    for (DWORD good : {1u, 4096u}) {
        CNimbrel object;
        EXPECT_EQ(object.Initialize(nullptr, kMessage, good), 0) << good;
        EXPECT_EQ(object.Initialize(nullptr, kMessage, good), -1) << "a second call";
    }
}

TEST(NimbrelTable, SixteenObjectsMayBeInitialisedAtOnceAndEachHasSerialsOfItsOwn)
{
    std::vector<std::unique_ptr<CSessionTable>> tables;
    std::set<LONG> serials;
    for (int i = 0; i < 16; ++i) {
        tables.push_back(std::make_unique<CSessionTable>());
        ASSERT_EQ(tables.back()->Initialize(nullptr, kMessage, 2), 0) << i;
        for (DWORD slot = 0; slot < 2; ++slot) {
            const LONG serial = *tables.back()->SerialFor(slot);
            EXPECT_TRUE(serials.insert(serial).second) << "serial " << serial << " of table " << i << " taken";
            EXPECT_EQ(serial & 0xFFF, static_cast<LONG>(slot));
        }
    }
    CSessionTable seventeenth;
    EXPECT_EQ(seventeenth.Initialize(nullptr, kMessage, 2), -3) << "no number left to tell its serials apart";
    EXPECT_EQ(seventeenth.CreateSession(), 0);
    tables.erase(tables.begin() + 5);
    CSessionTable next;
    EXPECT_EQ(next.Initialize(nullptr, kMessage, 2), 0) << "a number comes free with its table";
    EXPECT_EQ(serials.count(static_cast<LONG>(*next.SerialFor(0))), 0u) << "not even the serials of the table that had the number";
}

TEST(NimbrelTable, TheDequeHoldsAnEntryForEverySession)
{
    CSessionTable small, full, odd;
    ASSERT_EQ(small.Initialize(nullptr, kMessage, 1), 0);
    ASSERT_EQ(full.Initialize(nullptr, kMessage, 4096), 0);
    ASSERT_EQ(odd.Initialize(nullptr, kMessage, 300), 0);
    EXPECT_EQ(small.DequeCapacity(), 256u);
    EXPECT_EQ(full.DequeCapacity(), 4096u);
    EXPECT_EQ(odd.DequeCapacity(), 512u);
}

TEST(NimbrelTable, SessionNumbersAreReusedLastFreedFirst)
{
    CNimbrel object;
    ASSERT_EQ(object.Initialize(nullptr, kMessage, 1), 0);
    EXPECT_EQ(object.CreateSession(), 1);
    EXPECT_EQ(object.CreateSession(), 0) << "table full";
    EXPECT_EQ(object.CloseSession(1), 0);
    EXPECT_EQ(object.CloseSession(1), -2) << "already closed";
    EXPECT_EQ(object.CreateSession(), 1);
    EXPECT_EQ(object.CloseSession(1), 0);

    CNimbrel three;
    ASSERT_EQ(three.Initialize(nullptr, kMessage, 3), 0);
    EXPECT_EQ(three.CreateSession(), 1);
    EXPECT_EQ(three.CreateSession(), 2);
    EXPECT_EQ(three.CreateSession(), 3);
    EXPECT_EQ(three.SetSessionData(2, 0xC0FFEE), 0);
    EXPECT_EQ(three.CloseSession(2), 0);
    EXPECT_EQ(three.CloseSession(1), 0);
    EXPECT_EQ(three.CreateSession(), 1);
    EXPECT_EQ(three.CreateSession(), 2);
    DWORD data = 7;
    EXPECT_EQ(three.GetSessionData(2, &data), 0);
    EXPECT_EQ(data, 0u) << "closing clears the session data";
    for (int n = 1; n <= 3; ++n) EXPECT_EQ(three.CloseSession(n), 0);
}

TEST(NimbrelTable, ReleasingWithSessionsStillOpenStopsThem)
{
    // The client should close its sessions first; one that forgets must not leave a worker
    // running on the freed table.
    const int threadsBefore = ThreadCount();
    auto* object = new CNimbrel();
    object->AddRef();
    ASSERT_EQ(object->Initialize(nullptr, kMessage, 2), 0);
    ASSERT_EQ(object->CreateSession(), 1);
    NIMBREL_CONNECT c = MakeConnect();
    ASSERT_EQ(object->Connect(1, &c), 0);
    EXPECT_GE(ThreadCount(), threadsBefore + 1);
    EXPECT_EQ(object->Release(), 0u);
    // The worker is joined; the connection's own thread ends once its closing has run.
    for (int i = 0; i < 200 && ThreadCount() != threadsBefore; ++i) Sleep(50);
    EXPECT_EQ(ThreadCount(), threadsBefore) << "the session's threads have ended";
}

TEST(NimbrelTable, NumbersOutsideTheTableAndEmptySlotsAreRefusedByEveryMethod)
{
    CNimbrel object;
    ASSERT_EQ(object.Initialize(nullptr, kMessage, 2), 0);
    NIMBREL_CONNECT c = MakeConnect();
    NIMBREL_DIRECTORY d = {};
    NIMBREL_FIND f = {};
    NIMBREL_DOWNLOAD dl = {};
    DWORD data = 0;
    void* request = nullptr;
    for (DWORD n : {0u, 3u, 0x80000001u}) {
        EXPECT_EQ(object.CloseSession(n), -1) << n;
        EXPECT_EQ(object.SetSessionData(n, 1), -1) << n;
        EXPECT_EQ(object.GetSessionData(n, &data), -1) << n;
        EXPECT_EQ(object.GetResult(n, &request, FALSE), -1) << n;
        EXPECT_EQ(object.Disconnect(n), -1) << n;
        EXPECT_EQ(object.Connect(n, &c), -1) << n;
        EXPECT_EQ(object.GetCurrentDirectory(n, &d), -1) << n;
        EXPECT_EQ(object.SetCurrentDirectory(n, &d), -1) << n;
        EXPECT_EQ(object.FindFiles(n, &f), -1) << n;
        EXPECT_EQ(object.Download(n, &dl), -1) << n;
    }
    // Slot 1 in range but empty.
    EXPECT_EQ(object.CloseSession(1), -2);
    EXPECT_EQ(object.SetSessionData(1, 1), -2);
    EXPECT_EQ(object.GetSessionData(1, &data), -2);
    EXPECT_EQ(object.GetResult(1, &request, FALSE), -2);
    EXPECT_EQ(object.Disconnect(1), -1);
    EXPECT_EQ(object.Connect(1, &c), -1);
    EXPECT_EQ(object.Download(1, &dl), -1);
}

TEST(NimbrelTable, OperationPreconditionsFollowTheSessionState)
{
    CNimbrel object;
    ASSERT_EQ(object.Initialize(nullptr, kMessage, 1), 0);
    ASSERT_EQ(object.CreateSession(), 1);
    NIMBREL_CONNECT c = MakeConnect();
    NIMBREL_DIRECTORY d = {};
    NIMBREL_FIND f = {};
    NIMBREL_DOWNLOAD dl = {};
    void* request = nullptr;
    EXPECT_EQ(object.Connect(1, nullptr), -2);
    EXPECT_EQ(object.GetCurrentDirectory(1, nullptr), -2);
    EXPECT_EQ(object.GetCurrentDirectory(1, &d), -3) << "not connected";
    EXPECT_EQ(object.FindFiles(1, &f), -3);
    EXPECT_EQ(object.Download(1, &dl), -3);
    EXPECT_EQ(object.GetResult(1, &request, FALSE), -3) << "idle: nothing to collect";
    EXPECT_EQ(object.Disconnect(1), -2) << "merely initialised";
    EXPECT_EQ(object.Connect(1, &c), 0);
    EXPECT_EQ(c.nStatus, NIMBREL_STATUS_PENDING);
    EXPECT_EQ(object.Connect(1, &c), -4) << "busy";
    EXPECT_EQ(object.CloseSession(1), 0);
}

TEST(NimbrelNotification, AnEmptyDequeAnnouncesNoSession)
{
    CNimbrel object;
    DWORD data = 5;
    const long reports = NimbrelAssertionCount();
    EXPECT_EQ(object.GetNotifiedSession(&data), 0) << "not even initialised";
    ASSERT_EQ(object.Initialize(nullptr, kMessage, 4), 0);
    EXPECT_EQ(object.GetNotifiedSession(&data), 0);
    EXPECT_EQ(data, 0u);
    EXPECT_EQ(object.GetNotifiedSession(nullptr), 0);
    EXPECT_EQ(NimbrelAssertionCount(), reports + 3) << "each empty pop is reported";
}

TEST(NimbrelNotification, ACompletionPostsOneMessageAndIsCollectedOnce)
{
    MessageWindow window;
    CNimbrel object;
    ASSERT_EQ(object.Initialize(window.hwnd(), kMessage, 2), 0);
    ASSERT_EQ(object.CreateSession(), 1);
    ASSERT_EQ(object.CreateSession(), 2);
    ASSERT_EQ(object.SetSessionData(2, 0xBEEF), 0);
    NIMBREL_CONNECT c = MakeConnect();
    ASSERT_EQ(object.Connect(2, &c), 0);
    ASSERT_TRUE(window.waitMessage());
    DWORD data = 0;
    EXPECT_EQ(object.GetNotifiedSession(&data), 2);
    EXPECT_EQ(data, 0xBEEFu);
    void* request = nullptr;
    EXPECT_EQ(object.GetResult(2, &request, TRUE), 0);
    EXPECT_EQ(request, &c);
    // This build has no transfer routines: the operation fails and the session is idle again.
    EXPECT_EQ(c.nStatus, NIMBREL_STATUS_FAILURE);
    EXPECT_EQ(object.GetResult(2, &request, FALSE), -3);
    Sleep(100);
    EXPECT_EQ(window.pending(), 0);
    EXPECT_EQ(object.GetNotifiedSession(nullptr), 0);
    EXPECT_EQ(object.Connect(2, &c), 0) << "the next operation may start";
    ASSERT_TRUE(window.waitMessage());
    EXPECT_EQ(object.GetNotifiedSession(nullptr), 2);
    EXPECT_EQ(object.GetResult(2, &request, TRUE), 0);
    EXPECT_EQ(object.CloseSession(1), 0);
    EXPECT_EQ(object.CloseSession(2), 0);
}

TEST(NimbrelNotification, TwoCompletionsBeforeTheClientReactsGiveTwoAnnouncements)
{
    MessageWindow window;
    CSessionTable table;
    ASSERT_EQ(table.Initialize(window.hwnd(), kMessage, 1), 0);
    ASSERT_EQ(table.CreateSession(), 1);
    NIMBREL_CONNECT c = MakeConnect();
    ASSERT_EQ(table.StartOperation(1, &c, true, &CSession::StartConnect), 0);
    ASSERT_TRUE(window.waitMessage());
    // A second completion published before the client reacts (as a status callback would).
    CSession* session = table.SessionFor(0);
    session->WriteCompletion(PROCESS_COMPLETION, NIMBREL_STATUS_PROGRESS, FLAGS_UNCHANGED);
    Sleep(300);
    EXPECT_EQ(window.pending(), 0) << "one message covers both publications";
    EXPECT_EQ(table.GetNotifiedSession(nullptr), 1);
    ASSERT_TRUE(window.waitMessage(2000)) << "the pop found more published and announced again";
    void* request = nullptr;
    EXPECT_EQ(table.GetResult(1, &request, FALSE), 0);
    EXPECT_EQ(c.nStatus, NIMBREL_STATUS_FAILURE);
    EXPECT_EQ(table.GetNotifiedSession(nullptr), 1);
    EXPECT_EQ(table.GetNotifiedSession(nullptr), 0) << "nothing left to announce";
    EXPECT_EQ(table.CloseSession(1), 0);
}

TEST(NimbrelNotification, DisconnectReplacesUncollectedCompletionsWithItsOwn)
{
    MessageWindow window;
    CNimbrel object;
    ASSERT_EQ(object.Initialize(window.hwnd(), kMessage, 1), 0);
    ASSERT_EQ(object.CreateSession(), 1);
    NIMBREL_CONNECT c = MakeConnect();
    ASSERT_EQ(object.Connect(1, &c), 0);
    ASSERT_TRUE(window.waitMessage());
    EXPECT_EQ(object.Disconnect(1), 0);
    EXPECT_EQ(object.Disconnect(1), -3) << "already under way";
    Sleep(300);
    EXPECT_EQ(window.pending(), 0) << "the announcement already made covers it";
    EXPECT_EQ(object.GetNotifiedSession(nullptr), 1);
    void* request = nullptr;
    EXPECT_EQ(object.GetResult(1, &request, TRUE), 0);
    EXPECT_EQ(c.nStatus, NIMBREL_STATUS_DISCONNECTED);
    EXPECT_EQ(object.Disconnect(1), -2) << "back to initialised";
    EXPECT_EQ(object.GetNotifiedSession(nullptr), 0);
    // The session keeps announcing through the counter Disconnect switched to.
    ASSERT_EQ(object.Connect(1, &c), 0);
    ASSERT_TRUE(window.waitMessage());
    EXPECT_EQ(object.GetNotifiedSession(nullptr), 1);
    EXPECT_EQ(object.CloseSession(1), 0);
    // ... and so does the next session in the same slot.
    ASSERT_EQ(object.CreateSession(), 1);
    ASSERT_EQ(object.Connect(1, &c), 0);
    EXPECT_EQ(object.GetResult(1, &request, TRUE), 0);
    ASSERT_TRUE(window.waitMessage());
    EXPECT_EQ(object.GetNotifiedSession(nullptr), 0) << "collected without a pop: nothing ready";
    EXPECT_EQ(object.CloseSession(1), 0);
}

TEST(NimbrelDeque, EverySessionOfAFullTableCanWaitAtOnce)
{
    // Each session has at most one entry at a time; with the table's full count waiting, every
    // entry must come back exactly once, in order.
    for (DWORD sessions : {300u, 4096u}) {
        CIndexDeque deque;
        ASSERT_TRUE(deque.Initialise(sessions));
        const long reports = NimbrelAssertionCount();
        for (DWORD i = 0; i < sessions; ++i) deque.Push(sessions - 1 - i);
        for (DWORD i = 0; i < sessions; ++i) {
            DWORD item = 0xFFFFFFFF;
            ASSERT_TRUE(deque.Pop(item)) << i;
            EXPECT_EQ(item, sessions - 1 - i);
        }
        DWORD item;
        EXPECT_FALSE(deque.Pop(item));
        EXPECT_EQ(NimbrelAssertionCount(), reports);
        deque.Destroy();
    }
}

TEST(NimbrelDeque, WrapsAroundAndRefusesAnEntryBeyondItsCapacityWithAReport)
{
    CIndexDeque deque;
    ASSERT_TRUE(deque.Initialise(1));
    ASSERT_EQ(deque.Capacity(), 256u);
    DWORD item = 0;
    // Many rounds through the ring: positions wrap and stay in step.
    for (DWORD round = 0; round < 3 * 256 + 5; ++round) {
        deque.Push(round);
        deque.Push(round + 100000);
        ASSERT_TRUE(deque.Pop(item));
        EXPECT_EQ(item, round);
        ASSERT_TRUE(deque.Pop(item));
        EXPECT_EQ(item, round + 100000);
    }
    const long reports = NimbrelAssertionCount();
    for (DWORD i = 0; i < 257; ++i) EXPECT_EQ(deque.Push(i), i < 256) << i;
    EXPECT_EQ(NimbrelAssertionCount(), reports + 1) << "the 257th entry would land on an unconsumed one";
    for (DWORD i = 0; i < 256; ++i) {
        ASSERT_TRUE(deque.Pop(item));
        EXPECT_EQ(item, i) << "nothing was overwritten";
    }
    EXPECT_FALSE(deque.Pop(item));
    deque.Destroy();
}

}  // namespace
