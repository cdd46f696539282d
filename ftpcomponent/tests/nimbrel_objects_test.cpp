// Several component objects in one process, made through the class object as CoCreateInstance
// makes them: each object's completions reach its own client and only its own, whatever other
// objects are made, refused, used and released meanwhile.
#include "../classfactory.h"
#include "../module.h"
#include "../nimbrel.h"

#include "../asyncftp/tests/ftp_test_peers.h"
#include <gtest/gtest.h>
#include <winsock2.h>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace {

constexpr UINT kMessage = WM_APP + 11;
constexpr size_t kBigSize = 5 * 1024 * 1024 + 7;
constexpr DWORD kSessions = 4;

// What the class object hands out for `iid` (the factory is released as DllGetClassObject does).
HRESULT MakeObject(REFIID iid, void** out)
{
    auto* factory = new CNimbrelFactory();
    IClassFactory* cf = nullptr;
    factory->QueryInterface(IID_IClassFactory, reinterpret_cast<void**>(&cf));
    const HRESULT hr = cf->CreateInstance(nullptr, iid, out);
    cf->Release();
    return hr;
}

std::string Content(size_t size)
{
    std::string s(size, '\0');
    for (size_t i = 0; i < size; ++i) s[i] = static_cast<char>(ContentByte(i));
    return s;
}

std::string ReadLocal(const std::string& path)
{
    std::string data;
    if (FILE* f = std::fopen(path.c_str(), "rb")) {
        char chunk[65536];
        size_t n;
        while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0) data.append(chunk, n);
        std::fclose(f);
    }
    return data;
}

// One component object as one client drives it: its own window, its own request records, and
// every completion it hears, so that a completion meant for another object shows up.
class Component {
public:
    explicit Component(const std::string& folder) : m_folder(folder)
    {
        m_hWnd = CreateWindowExA(0, "STATIC", "objects test", 0, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
        EXPECT_EQ(MakeObject(IID_INimbrel, reinterpret_cast<void**>(&m_object)), S_OK);
        if (m_object) {
            EXPECT_EQ(m_object->Initialize(m_hWnd, kMessage, kSessions), 0);
        }
        CreateDirectoryA(folder.c_str(), nullptr);
    }
    ~Component()
    {
        if (m_object) {
            for (DWORD n = 1; n <= kSessions; ++n) m_object->CloseSession(n);
            m_object->Release();
        }
        DestroyWindow(m_hWnd);
    }
    INimbrel* operator->() const { return m_object; }
    std::string Local(const char* name) const { return m_folder + "\\" + name; }

    int Connect(WORD port)
    {
        const int n = m_object->CreateSession();
        EXPECT_NE(n, 0);
        NIMBREL_CONNECT& c = m_connect[n];
        c = {};
        lstrcpyA(c.szHost, "127.0.0.1");
        c.wPort = port;
        lstrcpyA(c.szUser, "quenlor");
        lstrcpyA(c.szPassword, "secret");
        c.dwPassive = 1;
        EXPECT_EQ(m_object->Connect(n, &c), 0);
        return n;
    }
    void Download(int n, const char* remote, const char* local)
    {
        NIMBREL_DOWNLOAD& d = m_download[n];
        d = {};
        lstrcpyA(d.szRemoteFile, remote);
        lstrcpyA(d.szLocalFile, Local(local).c_str());
        EXPECT_EQ(m_object->Download(n, &d), 0);
    }

    // Collects whatever this object has announced; every request handed back must be one of ours.
    void Collect()
    {
        MSG msg;
        while (PeekMessageA(&msg, m_hWnd, kMessage, kMessage, PM_REMOVE)) {
            const int n = m_object->GetNotifiedSession(nullptr);
            if (n == 0) continue;
            void* request = nullptr;
            EXPECT_EQ(m_object->GetResult(n, &request, FALSE), 0);
            const bool ours = request == &m_connect[n] || request == &m_download[n];
            EXPECT_TRUE(ours) << "session " << n << " handed back a record this client never gave it";
            if (!ours) continue;
            const int status = static_cast<int*>(request)[1];
            if (status == NIMBREL_STATUS_PROGRESS) {
                ++m_progress[n];
                if (m_onProgress) m_onProgress(n);
            } else if (status != NIMBREL_STATUS_PENDING) {
                m_finals[n].push_back(status);
            }
        }
    }
    // The final statuses session n has heard so far.
    const std::vector<int>& Finals(int n) const { return m_finals[n]; }
    int Progress(int n) const { return m_progress[n]; }
    DWORD Written(int n) const { return m_download[n].dwBytesWritten; }
    std::function<void(int)> m_onProgress;

private:
    std::string m_folder;
    HWND m_hWnd = nullptr;
    INimbrel* m_object = nullptr;
    NIMBREL_CONNECT m_connect[kSessions + 1] = {};
    NIMBREL_DOWNLOAD m_download[kSessions + 1] = {};
    std::vector<int> m_finals[kSessions + 1];
    int m_progress[kSessions + 1] = {};
};

// Pumps every component until `done` holds; false when two minutes pass first.
bool RunUntil(const std::vector<Component*>& components, const std::function<bool()>& done)
{
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < 120000) {
        for (Component* c : components) c->Collect();
        if (done()) return true;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_POSTMESSAGE);
    }
    return false;
}

class SeveralObjects : public ::testing::Test {
protected:
    void SetUp() override
    {
        WSADATA wsa;
        WSAStartup(MAKEWORD(2, 2), &wsa);
        m_ports = ReadPorts();
        ASSERT_NE(m_ports.standard, 0) << "the ftp_peers fixture writes QUENLOR_FTP_STATE/ports";
        char temp[MAX_PATH];
        GetTempPathA(MAX_PATH, temp);
        m_dir = std::string(temp) + "nimbrel-objects-" + std::to_string(GetCurrentProcessId()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name();
        CreateDirectoryA(m_dir.c_str(), nullptr);
    }
    Ports m_ports;
    std::string m_dir;
};

TEST_F(SeveralObjects, ADownloadGoesOnWhileOtherObjectsAreMadeRefusedUsedAndReleased)
{
    Component a(m_dir + "\\a");
    const int na = a.Connect(m_ports.standard);
    ASSERT_TRUE(RunUntil({&a}, [&] { return !a.Finals(na).empty(); }));
    ASSERT_EQ(a.Finals(na), std::vector<int>{NIMBREL_STATUS_SUCCESS});
    a.Download(na, "big.bin", "big.bin");

    // While A's data flows: an object the class object makes and the caller refuses (as
    // CoCreateInstance first asks for IClassFactory), then a whole second object's life.
    int stage = 0;
    a.m_onProgress = [&](int) {
        if (stage != 0) return;
        stage = 1;
        void* refused = reinterpret_cast<void*>(1);
        EXPECT_EQ(MakeObject(IID_IClassFactory, &refused), E_NOINTERFACE);
        EXPECT_EQ(refused, nullptr);
        EXPECT_EQ(g_lLiveObjects, 1) << "the refused object is gone, A is not";
        {
            Component b(m_dir + "\\b");
            const int nb = b.Connect(m_ports.standard);
            EXPECT_EQ(nb, na) << "the same session number in both objects";
            EXPECT_TRUE(RunUntil({&b}, [&] { return !b.Finals(nb).empty(); }));
            EXPECT_EQ(b.Finals(nb), std::vector<int>{NIMBREL_STATUS_SUCCESS});
            b.Download(nb, "b1025.bin", "b1025.bin");
            EXPECT_TRUE(RunUntil({&b}, [&] { return b.Finals(nb).size() == 2; }));
            EXPECT_EQ(b.Finals(nb), (std::vector<int>{NIMBREL_STATUS_SUCCESS, NIMBREL_STATUS_SUCCESS}));
            EXPECT_EQ(ReadLocal(b.Local("b1025.bin")), Content(1025));
        }
        EXPECT_EQ(g_lLiveObjects, 1);
        stage = 2;
    };
    ASSERT_TRUE(RunUntil({&a}, [&] { return a.Finals(na).size() == 2; })) << "A's download stalled";
    EXPECT_EQ(stage, 2);
    EXPECT_EQ(a.Finals(na), (std::vector<int>{NIMBREL_STATUS_SUCCESS, NIMBREL_STATUS_SUCCESS}));
    EXPECT_EQ(a.Written(na), kBigSize);
    EXPECT_TRUE(ReadLocal(a.Local("big.bin")) == Content(kBigSize)) << "byte for byte";
}

TEST_F(SeveralObjects, TwoObjectsRunSessionsAtOnceAndEachHearsOnlyItsOwn)
{
    Component a(m_dir + "\\a"), b(m_dir + "\\b");
    // Sessions 1 and 2 in both objects: the same slots, so the same serials if tables shared them.
    // Connected one after another: under the emulator, Wine fails when threads start together.
    int sessions[2][2];
    Component* both[2] = {&a, &b};
    for (int i = 0; i < 2; ++i) {
        for (int o = 0; o < 2; ++o) {
            const int n = sessions[o][i] = both[o]->Connect(m_ports.standard);
            ASSERT_TRUE(RunUntil({&a, &b}, [&] { return !both[o]->Finals(n).empty(); }));
            ASSERT_EQ(both[o]->Finals(n), std::vector<int>{NIMBREL_STATUS_SUCCESS});
        }
    }
    a.Download(sessions[0][0], "big.bin", "big.bin");
    a.Download(sessions[0][1], "b1024.bin", "b1024.bin");
    b.Download(sessions[1][0], "big.bin", "big.bin");
    b.Download(sessions[1][1], "/many/file07.dat", "file07.dat");
    ASSERT_TRUE(RunUntil({&a, &b}, [&] {
        for (int o = 0; o < 2; ++o)
            for (int s : sessions[o])
                if (both[o]->Finals(s).size() < 2) return false;
        return true;
    }));
    for (int o = 0; o < 2; ++o) {
        for (int s : sessions[o])
            EXPECT_EQ(both[o]->Finals(s), (std::vector<int>{NIMBREL_STATUS_SUCCESS, NIMBREL_STATUS_SUCCESS}))
                << "object " << o << " session " << s << ": exactly its own two finals";
        EXPECT_GT(both[o]->Progress(sessions[o][0]), 0);
        EXPECT_EQ(both[o]->Written(sessions[o][0]), kBigSize);
        EXPECT_TRUE(ReadLocal(both[o]->Local("big.bin")) == Content(kBigSize)) << "object " << o;
    }
    EXPECT_EQ(ReadLocal(a.Local("b1024.bin")), Content(1024));
    EXPECT_EQ(ReadLocal(b.Local("file07.dat")), std::string(8, 'x'));
}

}  // namespace
