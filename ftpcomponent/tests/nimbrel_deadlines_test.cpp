// Every wait of the component ends within its stated bound whatever the peer does: replies that
// trickle in one byte every two seconds, a greeting of "120" replies for ever, a server that
// never answers the connection. Times are held against the stated bounds with a margin, not
// measured for speed.
#include "component_client.h"

#include <atomic>
#include <thread>

namespace {

using namespace component_client;

using Deadlines = ComponentTest;

// The stated bound of closing a session or releasing the object, with room for a slow machine.
constexpr DWORD kEndBoundWithMarginMs = SESSION_END_BOUND_MS + 10000;
// The log-in's deadline, with the same room.
constexpr DWORD kLoginBoundWithMarginMs = asyncftp::kExchangeDeadlineMs + 10000;

DWORD Elapsed(DWORD since) { return GetTickCount() - since; }

// A peer of our own on loopback: either one that greets with "120" replies for ever, or one
// that never answers at all (its listening queue is full, so connections are not even taken).
class SilentPeer {
public:
    enum Kind { kGreetsWithHundredTwenty, kBlackHole };
    explicit SilentPeer(Kind kind)
    {
        m_listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in a = {};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(m_listener, reinterpret_cast<sockaddr*>(&a), sizeof a);
        listen(m_listener, kind == kBlackHole ? 0 : 4);
        int length = sizeof a;
        getsockname(m_listener, reinterpret_cast<sockaddr*>(&a), &length);
        m_port = ntohs(a.sin_port);
        if (kind == kBlackHole) {
            for (SOCKET& s : m_fillers) {  // fill the queue; later connections wait unanswered
                s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
                u_long nonBlocking = 1;
                ioctlsocket(s, FIONBIO, &nonBlocking);
                connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
            }
            return;
        }
        m_thread = std::thread([this] {
            SOCKET client = accept(m_listener, nullptr, nullptr);
            if (client == INVALID_SOCKET) return;
            while (!m_stop && send(client, "120 ready soon\r\n", 16, 0) == 16) {
                ++m_sent;
                Sleep(500);
            }
            closesocket(client);
        });
    }
    ~SilentPeer()
    {
        m_stop = true;
        closesocket(m_listener);
        if (m_thread.joinable()) m_thread.join();
        for (SOCKET s : m_fillers)
            if (s) closesocket(s);
    }
    WORD port() const { return m_port; }
    int sent() const { return m_sent; }

private:
    SOCKET m_listener = INVALID_SOCKET;
    SOCKET m_fillers[8] = {};
    WORD m_port = 0;
    std::thread m_thread;
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_sent{0};
};

// Waits until no thread of the module runs any more (they end on their own once let go).
bool ModuleLetGo(DWORD ms)
{
    const DWORD start = GetTickCount();
    while (ModuleInUse()) {
        if (Elapsed(start) > ms) return false;
        Sleep(100);
    }
    return true;
}

TEST_F(Deadlines, TrickledRepliesHoldNeitherCloseSessionNorTheLastRelease)
{
    // A resumed download: the worker itself sends REST and waits for its reply.
    {
        Component c(m_dir);
        const int n = c.Connect(m_ports.scripted, "trickle", "x");
        ASSERT_EQ(c.Await(n), NIMBREL_STATUS_SUCCESS);
        {
            FILE* f = std::fopen(c.Local("partial.bin").c_str(), "wb");
            ASSERT_NE(f, nullptr);
            std::fwrite(Content(5000).data(), 1, 5000, f);
            std::fclose(f);
        }
        c.Download(n, "big.bin", "partial.bin", true);
        Sleep(3000);  // the REST reply is on its way, a byte every two seconds
        const DWORD start = GetTickCount();
        EXPECT_EQ(c->CloseSession(n), 0);
        EXPECT_LT(Elapsed(start), kEndBoundWithMarginMs) << "CloseSession during a trickled REST reply";
    }
    // RETR's and LIST's replies trickle on two sessions; the object is released with both open.
    Component c(m_dir);
    const int get = c.Connect(m_ports.scripted, "trickle", "x");
    ASSERT_EQ(c.Await(get), NIMBREL_STATUS_SUCCESS);
    const int list = c.Connect(m_ports.scripted, "trickle", "x");
    ASSERT_EQ(c.Await(list), NIMBREL_STATUS_SUCCESS);
    c.Download(get, "big.bin", "big.bin");
    ASSERT_EQ(c.FindFiles(list, "*"), 0);
    Sleep(3000);
    const DWORD start = GetTickCount();
    c.Release();
    EXPECT_LT(Elapsed(start), kEndBoundWithMarginMs) << "the last Release during trickled RETR and LIST replies";
    EXPECT_TRUE(ModuleLetGo(kEndBoundWithMarginMs)) << "every thread of the module ends";
}

TEST_F(Deadlines, ALogInAnsweredWithHundredTwentyForEverFailsByItsDeadline)
{
    SilentPeer peer(SilentPeer::kGreetsWithHundredTwenty);
    Component c(m_dir);
    const DWORD start = GetTickCount();
    const int n = c.Connect(peer.port());
    EXPECT_EQ(c.Await(n), NIMBREL_STATUS_FAILURE);
    EXPECT_LT(Elapsed(start), kLoginBoundWithMarginMs);
    EXPECT_GT(peer.sent(), 2) << "the peer did keep answering 120";
    c.Reconnect(n, 1);  // taken at once: the session is back to initialised (nothing listens there)
    EXPECT_EQ(c.Await(n), NIMBREL_STATUS_FAILURE);
}

TEST_F(Deadlines, AServerThatNeverAnswersIsLeftWithinTheBoundAndTheModuleStaysLoadedWhileItsThreadsRun)
{
    SilentPeer peer(SilentPeer::kBlackHole);
    Component c(m_dir);
    const int n = c.Connect(peer.port());
    Sleep(1000);
    EXPECT_TRUE(ModuleInUse());
    DWORD start = GetTickCount();
    EXPECT_EQ(c->CloseSession(n), 0);
    EXPECT_LT(Elapsed(start), kEndBoundWithMarginMs);

    // The last Release with a connection still opening: DllCanUnloadNow must not say yes while a
    // thread of the module still runs, and does once they have all ended.
    const int m = c.Connect(peer.port());
    Sleep(1000);
    start = GetTickCount();
    c.Release();
    EXPECT_LT(Elapsed(start), kEndBoundWithMarginMs);
    EXPECT_TRUE(ModuleLetGo(kEndBoundWithMarginMs));
    (void)m;
}

}  // namespace
