// A client of the component for tests that drive one or more component objects: each object made
// through the class object, with its own window and request records, and every completion it
// hears recorded, so that one meant for another object or another record shows up.
#pragma once

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

namespace component_client {

constexpr UINT kMessage = WM_APP + 11;
constexpr size_t kBigSize = 5 * 1024 * 1024 + 7;
constexpr DWORD kSessions = 4;

// What the class object hands out for `iid` (the factory is released as DllGetClassObject does).
inline HRESULT MakeObject(REFIID iid, void** out)
{
    auto* factory = new CNimbrelFactory();
    IClassFactory* cf = nullptr;
    factory->QueryInterface(IID_IClassFactory, reinterpret_cast<void**>(&cf));
    const HRESULT hr = cf->CreateInstance(nullptr, iid, out);
    cf->Release();
    return hr;
}

inline std::string Content(size_t size)
{
    std::string s(size, '\0');
    for (size_t i = 0; i < size; ++i) s[i] = static_cast<char>(ContentByte(i));
    return s;
}

inline std::string ReadLocal(const std::string& path)
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
    // The client's last Release, with whatever sessions are still open.
    void Release()
    {
        m_object->Release();
        m_object = nullptr;
    }
    std::string Local(const char* name) const { return m_folder + "\\" + name; }

    // A new session, connecting (collect with Await).
    int Connect(WORD port, const char* user = "quenlor", const char* password = "secret")
    {
        const int n = m_object->CreateSession();
        EXPECT_NE(n, 0);
        if (n != 0) Reconnect(n, port, user, password);
        return n;
    }
    void Reconnect(int n, WORD port, const char* user = "quenlor", const char* password = "secret")
    {
        NIMBREL_CONNECT& c = m_connect[n];
        c = {};
        lstrcpyA(c.szHost, "127.0.0.1");
        c.wPort = port;
        lstrcpyA(c.szUser, user);
        lstrcpyA(c.szPassword, password);
        c.dwPassive = 1;
        EXPECT_EQ(m_object->Connect(n, &c), 0);
    }
    int FindFiles(int n, const char* pattern)
    {
        NIMBREL_FIND& f = m_find[n];
        f = {};
        f.pszPattern = pattern;
        f.pFindData = m_entries;
        f.dwCapacity = 8;
        return m_object->FindFiles(n, &f);
    }
    int GetCurrentDirectory(int n) { return m_object->GetCurrentDirectory(n, &m_directory[n]); }
    void Download(int n, const char* remote, const char* local, bool resume = false)
    {
        NIMBREL_DOWNLOAD& d = m_download[n];
        d = {};
        lstrcpyA(d.szRemoteFile, remote);
        lstrcpyA(d.szLocalFile, Local(local).c_str());
        d.dwResume = resume ? 1 : 0;
        EXPECT_EQ(m_object->Download(n, &d), 0);
    }

    // Collects whatever this object has announced; every request handed back must be one of ours.
    void Collect()
    {
        if (!m_object) return;
        MSG msg;
        while (PeekMessageA(&msg, m_hWnd, kMessage, kMessage, PM_REMOVE)) {
            const int n = m_object->GetNotifiedSession(nullptr);
            if (n == 0) continue;
            void* request = nullptr;
            EXPECT_EQ(m_object->GetResult(n, &request, FALSE), 0);
            const bool ours = request == &m_connect[n] || request == &m_download[n] || request == &m_find[n] ||
                              request == &m_directory[n];
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
    // Pumps until session n hears its next final status; 0 when none comes within two minutes.
    int Await(int n);
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
    NIMBREL_FIND m_find[kSessions + 1] = {};
    NIMBREL_DIRECTORY m_directory[kSessions + 1] = {};
    WIN32_FIND_DATAA m_entries[8];
    std::vector<int> m_finals[kSessions + 1];
    int m_progress[kSessions + 1] = {};
};

// Pumps every component until `done` holds; false when two minutes pass first.
inline bool RunUntil(const std::vector<Component*>& components, const std::function<bool()>& done)
{
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < 120000) {
        for (Component* c : components) c->Collect();
        if (done()) return true;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_POSTMESSAGE);
    }
    return false;
}

inline int Component::Await(int n)
{
    const size_t heard = m_finals[n].size();
    if (!RunUntil({this}, [&] { return m_finals[n].size() > heard; })) return 0;
    return m_finals[n].back();
}

// A test with a folder of its own for local files and the test servers' ports.
class ComponentTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        WSADATA wsa;
        WSAStartup(MAKEWORD(2, 2), &wsa);
        m_ports = ReadPorts();
        ASSERT_NE(m_ports.standard, 0) << "the ftp_peers fixture writes QUENLOR_FTP_STATE/ports";
        char temp[MAX_PATH];
        GetTempPathA(MAX_PATH, temp);
        m_dir = std::string(temp) + "nimbrel-" + std::to_string(GetCurrentProcessId()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name();
        CreateDirectoryA(m_dir.c_str(), nullptr);
    }
    Ports m_ports;
    std::string m_dir;
};

}  // namespace component_client
