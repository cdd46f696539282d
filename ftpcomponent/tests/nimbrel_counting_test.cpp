// Announcements across close, reuse and collection without a pop, and the deque and counters
// under many publishing threads: every message has one entry, every entry one pop, and once
// everything is collected the component falls silent.
#include "../debugreport.h"
#include "../nimbrel.h"
#include "message_window.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <thread>
#include <vector>

namespace {

// Rounds of the stress cases: a few in the suite, many from scripts/stress_ftp.sh.
int StressRounds(int inSuite)
{
    const char* text = std::getenv("NIMBREL_STRESS_ROUNDS");
    return text && std::atoi(text) > 0 ? std::atoi(text) : inSuite;
}

NIMBREL_CONNECT MakeConnect()
{
    NIMBREL_CONNECT c = {};
    lstrcpyA(c.szHost, "127.0.0.1");
    return c;
}

// Starts an operation that runs nothing on the worker; its completion comes from Publish, as
// a status callback's would.
void Start(CSessionTable& table, DWORD n, NIMBREL_CONNECT& c)
{
    ASSERT_EQ(table.StartOperation(n, &c, true, nullptr), 0);
}
void Publish(CSessionTable& table, DWORD n)
{
    table.SessionFor(n - 1)->WriteCompletion(PROCESS_COMPLETION, NIMBREL_STATUS_FAILURE, FLAGS_BACK_TO_INITIALISED);
}

// No message arrives for a while and the deque is empty.
void ExpectSilence(CSessionTable& table, MessageWindow& window)
{
    Sleep(300);
    EXPECT_EQ(window.pending(), 0) << "a message nobody owes";
    const long reports = NimbrelAssertionCount();
    EXPECT_EQ(table.GetNotifiedSession(nullptr), 0);
    EXPECT_EQ(NimbrelAssertionCount(), reports + 1) << "the deque is empty";
}

// An operation completed and announced; its message not handled yet.
void CompleteUnhandled(CSessionTable& table, MessageWindow& window, DWORD n, NIMBREL_CONNECT& c)
{
    Start(table, n, c);
    Publish(table, n);
    ASSERT_TRUE(window.waitMessage());
}

TEST(NimbrelSlotReuse, ASessionClosedWithItsMessageQueuedOwesOneMessageAndTheNextSessionAnnounces)
{
    MessageWindow window;
    CSessionTable table;
    ASSERT_EQ(table.Initialize(window.hwnd(), kMessage, 1), 0);
    NIMBREL_CONNECT c = MakeConnect();
    void* request = nullptr;
    const long reports = NimbrelAssertionCount();

    // Pop before reuse: the old entry settles silently, the new session announces.
    ASSERT_EQ(table.CreateSession(), 1);
    CompleteUnhandled(table, window, 1, c);
    ASSERT_EQ(table.CloseSession(1), 0);
    EXPECT_EQ(table.GetNotifiedSession(nullptr), 0);
    ASSERT_EQ(table.CreateSession(), 1);
    Start(table, 1, c);
    Publish(table, 1);
    ASSERT_TRUE(window.waitMessage()) << "the next session in the slot must announce";
    EXPECT_EQ(table.GetNotifiedSession(nullptr), 1);
    EXPECT_EQ(table.GetResult(1, &request, FALSE), 0);
    EXPECT_EQ(c.nStatus, NIMBREL_STATUS_FAILURE);
    EXPECT_EQ(NimbrelAssertionCount(), reports) << "nothing inconsistent was seen";
    ExpectSilence(table, window);

    // Collected by polling, closed, reused before the pop: the old message settles the count
    // and nothing repeats.
    CompleteUnhandled(table, window, 1, c);
    EXPECT_EQ(table.GetResult(1, &request, FALSE), 0) << "collected";
    ASSERT_EQ(table.CloseSession(1), 0);
    ASSERT_EQ(table.CreateSession(), 1);
    EXPECT_EQ(table.GetNotifiedSession(nullptr), 0) << "the entry of the closed session";
    ExpectSilence(table, window);
    Start(table, 1, c);
    Publish(table, 1);
    ASSERT_TRUE(window.waitMessage());
    EXPECT_EQ(table.GetNotifiedSession(nullptr), 1);
    EXPECT_EQ(table.GetResult(1, &request, FALSE), 0);
    ExpectSilence(table, window);

    // Reused, and the new session completes before the old message is handled: that one
    // message carries the new completion.
    CompleteUnhandled(table, window, 1, c);
    ASSERT_EQ(table.CloseSession(1), 0);
    ASSERT_EQ(table.CreateSession(), 1);
    NIMBREL_CONNECT second = MakeConnect();
    Start(table, 1, second);
    Publish(table, 1);
    Sleep(300);
    EXPECT_EQ(window.pending(), 0) << "the message already posted covers it";
    EXPECT_EQ(table.GetNotifiedSession(nullptr), 1);
    EXPECT_EQ(table.GetResult(1, &request, FALSE), 0);
    EXPECT_EQ(request, &second);
    EXPECT_EQ(second.nStatus, NIMBREL_STATUS_FAILURE);
    ExpectSilence(table, window);
    EXPECT_EQ(table.CloseSession(1), 0);
}

TEST(NimbrelSlotReuse, CompletionsCollectedByPollingLeaveNothingToRepeat)
{
    MessageWindow window;
    CSessionTable table;
    ASSERT_EQ(table.Initialize(window.hwnd(), kMessage, 2), 0);
    ASSERT_EQ(table.CreateSession(), 1);
    ASSERT_EQ(table.CreateSession(), 2);
    NIMBREL_CONNECT c = MakeConnect();
    void* request = nullptr;
    // A client that polls GetResult and handles the messages only later.
    for (int i = 0; i < 3; ++i) {
        Start(table, 2, c);
        Publish(table, 2);
        EXPECT_EQ(table.GetResult(2, &request, TRUE), 0);
        EXPECT_EQ(c.nStatus, NIMBREL_STATUS_FAILURE);
    }
    int messages = 0;
    while (window.waitMessage(500)) {
        ++messages;
        EXPECT_EQ(table.GetNotifiedSession(nullptr), 0) << "nothing is left to hand out";
    }
    EXPECT_GE(messages, 1);
    EXPECT_LE(messages, 3);
    ExpectSilence(table, window);
    // Closed now with nothing owed, the slot stays quiet for the next session.
    ASSERT_EQ(table.CloseSession(2), 0);
    ASSERT_EQ(table.CreateSession(), 2);
    Start(table, 2, c);
    Publish(table, 2);
    ASSERT_TRUE(window.waitMessage());
    EXPECT_EQ(table.GetNotifiedSession(nullptr), 2);
    EXPECT_EQ(table.GetResult(2, &request, FALSE), 0);
    ExpectSilence(table, window);
    EXPECT_EQ(table.CloseSession(1), 0);
    EXPECT_EQ(table.CloseSession(2), 0);
}

// The client side of the stress case: operations started on many sessions, completed by several
// publishing threads at once (as status callbacks on the layer's threads would), collected through
// messages or by polling, or abandoned by closing the session while its worker may still be
// announcing, with the slot reused before or after its old message is handled.
class StressClient {
public:
    static constexpr int kPublishers = 4;

    explicit StressClient(DWORD sessions)
        : m_sessions(sessions), m_records(sessions + 1), m_pending(sessions + 1), m_startedNow(sessions + 1)
    {
        EXPECT_EQ(m_table.Initialize(m_window.hwnd(), kMessage, sessions), 0);
        for (DWORD n = 1; n <= sessions; ++n) EXPECT_EQ(m_table.CreateSession(), static_cast<int>(n));
        for (auto& r : m_records) r = MakeConnect();
        for (int id = 0; id < kPublishers; ++id) {
            m_go[id] = CreateEventA(nullptr, FALSE, FALSE, nullptr);
            m_done[id] = CreateEventA(nullptr, FALSE, FALSE, nullptr);
            m_threads.emplace_back([this, id] { PublisherMain(id); });
            // One thread start at a time: the compatibility layer has been seen to fall over on
            // two at the same instant.
            while (m_running.load() <= id) Sleep(1);
        }
    }
    ~StressClient()
    {
        m_stop = true;
        for (int id = 0; id < kPublishers; ++id) SetEvent(m_go[id]);
        for (auto& t : m_threads) t.join();
        for (int id = 0; id < kPublishers; ++id) {
            CloseHandle(m_go[id]);
            CloseHandle(m_done[id]);
        }
        for (DWORD n = 1; n <= m_sessions; ++n) m_table.CloseSession(n);
    }

    void Round(unsigned seed)
    {
        for (DWORD n = 1; n <= m_sessions; ++n) {
            m_startedNow[n] = !m_pending[n];
            if (!m_startedNow[n]) continue;
            Start(m_table, n, m_records[n]);
            m_pending[n] = true;
            ++m_started;
        }
        for (int id = 0; id < kPublishers; ++id) SetEvent(m_go[id]);
        ASSERT_EQ(WaitForMultipleObjects(kPublishers, m_done, TRUE, 20000), WAIT_OBJECT_0);
        std::vector<DWORD> closed;
        for (DWORD n = 1; n <= m_sessions; ++n) {
            switch ((seed + n * 7) % 9) {
            case 0:  // closed while its worker may be publishing and announcing
                ASSERT_EQ(m_table.CloseSession(n), 0);
                m_pending[n] = false;
                ++m_abandoned;
                if (seed & 1) ASSERT_EQ(m_table.CreateSession(), static_cast<int>(n));
                else closed.push_back(n);
                break;
            case 1:  // polled without a pop
                Collect(n, TRUE);
                break;
            default:
                break;
            }
        }
        HandleMessagesUntilCollected();
        for (auto it = closed.rbegin(); it != closed.rend(); ++it)  // last freed, first reused
            ASSERT_EQ(m_table.CreateSession(), static_cast<int>(*it));
    }

    void Finish()
    {
        while (m_window.waitMessage(500)) Handle();
        ExpectSilence(m_table, m_window);
        EXPECT_EQ(m_messages, m_pops) << "one pop per message";
        EXPECT_EQ(m_collected + m_abandoned, m_started) << "every operation ended exactly once";
        EXPECT_LE(m_messages, m_started) << "at most one message per published completion";
        EXPECT_GT(m_messages, 0);
    }

private:
    void PublisherMain(int id)
    {
        ++m_running;
        for (;;) {
            WaitForSingleObject(m_go[id], INFINITE);  // set by every round and by the destructor
            if (m_stop) return;
            for (DWORD n = 1 + id; n <= m_sessions; n += kPublishers)
                if (m_startedNow[n]) Publish(m_table, n);
            SetEvent(m_done[id]);
        }
    }
    void Collect(DWORD n, BOOL wait)
    {
        void* request = nullptr;
        ASSERT_TRUE(m_pending[n]) << "session " << n << " announced with nothing started";
        ASSERT_EQ(m_table.GetResult(n, &request, wait), 0);
        ASSERT_EQ(request, &m_records[n]);
        ASSERT_EQ(m_records[n].nStatus, NIMBREL_STATUS_FAILURE);
        m_pending[n] = false;
        ++m_collected;
    }
    void Handle()
    {
        ++m_messages;
        ++m_pops;
        const int n = m_table.GetNotifiedSession(nullptr);
        if (n != 0) Collect(static_cast<DWORD>(n), FALSE);
    }
    void HandleMessagesUntilCollected()
    {
        for (;;) {
            bool any = false;
            for (DWORD n = 1; n <= m_sessions; ++n) any = any || m_pending[n];
            if (!any) return;
            ASSERT_TRUE(m_window.waitMessage()) << "an operation was never announced";
            Handle();
        }
    }

    MessageWindow m_window;
    CSessionTable m_table;
    DWORD m_sessions;
    std::vector<NIMBREL_CONNECT> m_records;
    std::vector<bool> m_pending;
    std::vector<char> m_startedNow;  // read by the publishers between go and done
    HANDLE m_go[kPublishers] = {};
    HANDLE m_done[kPublishers] = {};
    std::vector<std::thread> m_threads;
    std::atomic<int> m_running{0};
    std::atomic<bool> m_stop{false};
    long m_started = 0, m_collected = 0, m_abandoned = 0, m_messages = 0, m_pops = 0;
};

TEST(NimbrelStress, ManySessionsPublishingWhileTheClientPopsClosesAndReuses)
{
    const long reports = NimbrelAssertionCount();
    {
        StressClient client(24);
        const int rounds = StressRounds(12);
        for (int round = 0; round < rounds && !HasFatalFailure(); ++round) client.Round(static_cast<unsigned>(round));
        if (!HasFatalFailure()) client.Finish();
    }
    EXPECT_EQ(NimbrelAssertionCount(), reports + 1) << "only the final empty pop is reported";
}

TEST(NimbrelStress, TheDequeNeverStrandsAnEntryBehindAPushInProgress)
{
    // Producers stand for sessions (each owns kItems slot numbers): they push, then "post" (a
    // semaphore count), and push an item again only once the client has popped it, so the ring
    // never holds more than one entry per item. Every post must find an entry.
    constexpr int kProducers = 12;
    constexpr int kItems = 16;
    const int rounds = StressRounds(5) * 20;
    CIndexDeque deque;
    ASSERT_TRUE(deque.Initialise(kProducers * kItems));
    HANDLE messages = CreateSemaphoreA(nullptr, 0, 0x7FFFFFFF, nullptr);
    std::vector<std::atomic<int>> popped(kProducers * kItems);
    for (auto& p : popped) p = 0;
    std::atomic<bool> stop{false};
    std::atomic<int> running{0};
    std::vector<std::thread> producers;
    for (int id = 0; id < kProducers; ++id) {
        producers.emplace_back([&, id] {
            ++running;
            for (int i = 0; i < rounds && !stop; ++i) {
                for (int k = 0; k < kItems; ++k) {
                    deque.Push(static_cast<DWORD>(id * kItems + k));
                    ReleaseSemaphore(messages, 1, nullptr);
                }
                for (int k = 0; k < kItems; ++k)
                    while (popped[id * kItems + k].load() <= i && !stop) SwitchToThread();
            }
        });
        // One thread start at a time: the compatibility layer has been seen to fall over on two
        // at the same instant.
        while (running.load() <= id) Sleep(1);
    }
    const long total = static_cast<long>(kProducers) * kItems * rounds;
    long pops = 0, empty = 0, wrong = 0;
    while (pops < total) {
        if (WaitForSingleObject(messages, 10000) != WAIT_OBJECT_0) break;
        DWORD item = 0xFFFFFFFF;
        if (!deque.Pop(item)) {
            ++empty;
            break;
        }
        if (item >= static_cast<DWORD>(kProducers * kItems)) {
            ++wrong;
            break;
        }
        ++popped[item];
        ++pops;
    }
    stop = true;
    for (auto& t : producers) t.join();
    CloseHandle(messages);
    EXPECT_EQ(empty, 0) << "a message found no entry";
    EXPECT_EQ(wrong, 0) << "an item nobody pushed";
    EXPECT_EQ(pops, total);
    DWORD item;
    EXPECT_FALSE(deque.Pop(item));
    deque.Destroy();
}

}  // namespace
