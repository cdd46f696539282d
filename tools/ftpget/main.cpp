// ftpget: a command-line FTP client built on the Nimbrel component, the way a game client uses
// it: the component comes from its registered class, completions arrive as window messages to a
// hidden window, and each operation is collected with GetNotifiedSession and GetResult.
//
//   ftpget [options] HOST[:PORT] STEP...
//
// Steps, run in order on one session after connecting:
//   pwd                 print the current remote directory
//   cd DIR              change the current remote directory
//   list PATTERN        list remote entries ("*" for the current directory)
//   get REMOTE LOCAL    download a file (with --resume: continue a partial local file)
//   disconnect          end the connection
//   quiet MS            wait MS milliseconds and count the messages that still arrive
// Options:
//   --user NAME --password WORD   log-in (default anonymous)
//   --active                      active data connections (default passive)
//   --resume                      downloads continue the local file
//   --capacity N                  entries a listing may hold (default 256)
//   --disconnect-at BYTES         Disconnect a download once this much is written
//   --close-at BYTES              close the session once a download has written this much
//   --timeout SECONDS             give up waiting after this long (default 300)
//   --dll PATH                    load the component from PATH instead of the registry
//
// Output: one line per completion and per progress report. Exit status: 0 every operation
// succeeded, 1 an operation ended otherwise, 2 bad command line, 3 the component could not be
// created or initialised, 4 timed out.
#include <Nimbrel.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr UINT kNotifyMessage = WM_APP + 1;
constexpr UINT_PTR kTimeoutTimer = 1;
constexpr UINT_PTR kQuietTimer = 2;

struct Options {
    std::string host = "127.0.0.1";
    WORD port = 21;
    std::string user = "anonymous";
    std::string password = "ftpget@";
    bool passive = true;
    bool resume = false;
    DWORD capacity = 256;
    long long disconnectAt = -1;
    long long closeAt = -1;
    DWORD timeoutSeconds = 300;
    std::string dll;
    std::vector<std::vector<std::string>> steps;
};

enum Exit { kOk = 0, kFailed = 1, kUsage = 2, kNoComponent = 3, kTimedOut = 4 };

void Line(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    std::vprintf(format, args);
    va_end(args);
    std::putchar('\n');
    std::fflush(stdout);
}

const char* StatusName(int status)
{
    switch (status) {
    case NIMBREL_STATUS_SUCCESS: return "success";
    case NIMBREL_STATUS_PENDING: return "pending";
    case NIMBREL_STATUS_PROGRESS: return "progress";
    case NIMBREL_STATUS_OPEN_FAILED: return "remote-file-not-opened";
    case NIMBREL_STATUS_FAILURE: return "failed-connection-closed";
    case NIMBREL_STATUS_DISCONNECTED: return "disconnected";
    case NIMBREL_STATUS_WRITE_FAILED: return "local-write-failed";
    }
    return "unknown";
}

bool ParseCommandLine(int argc, char** argv, Options& o)
{
    int i = 1;
    bool missingValue = false;
    auto value = [&](const char* name) -> const char* {
        if (i + 1 >= argc) {
            std::fprintf(stderr, "ftpget: option %s needs a value\n", name);
            missingValue = true;
            return nullptr;
        }
        return argv[++i];
    };
    for (; i < argc && std::strncmp(argv[i], "--", 2) == 0; ++i) {
        const std::string option = argv[i];
        const char* v = nullptr;
        if (option == "--active") o.passive = false;
        else if (option == "--resume") o.resume = true;
        else if (option == "--user" && (v = value("--user"))) o.user = v;
        else if (option == "--password" && (v = value("--password"))) o.password = v;
        else if (option == "--capacity" && (v = value("--capacity"))) o.capacity = std::strtoul(v, nullptr, 10);
        else if (option == "--disconnect-at" && (v = value("--disconnect-at"))) o.disconnectAt = std::atoll(v);
        else if (option == "--close-at" && (v = value("--close-at"))) o.closeAt = std::atoll(v);
        else if (option == "--timeout" && (v = value("--timeout"))) o.timeoutSeconds = std::strtoul(v, nullptr, 10);
        else if (option == "--dll" && (v = value("--dll"))) o.dll = v;
        else {
            if (!missingValue) std::fprintf(stderr, "ftpget: unknown option %s\n", option.c_str());
            return false;
        }
    }
    if (i >= argc) return false;
    std::string host = argv[i++];
    const size_t colon = host.rfind(':');
    if (colon != std::string::npos) {
        o.port = static_cast<WORD>(std::strtoul(host.c_str() + colon + 1, nullptr, 10));
        host.resize(colon);
    }
    o.host = host;
    while (i < argc) {
        const std::string verb = argv[i];
        const int operands = verb == "pwd" || verb == "disconnect" ? 0
                             : verb == "cd" || verb == "list" || verb == "quiet" ? 1
                             : verb == "get" ? 2
                                             : -1;
        if (operands < 0 || i + operands >= argc) {
            if (operands < 0) std::fprintf(stderr, "ftpget: unknown step %s\n", verb.c_str());
            else std::fprintf(stderr, "ftpget: %s needs %d operand(s)\n", verb.c_str(), operands);
            return false;
        }
        o.steps.emplace_back(argv + i, argv + i + 1 + operands);
        i += 1 + operands;
    }
    return !o.host.empty() && o.host.size() < NIMBREL_PATH_SIZE;
}

// Creates the component from its registered class, or from a module named on the command line.
INimbrel* CreateComponent(const Options& o)
{
    INimbrel* nimbrel = nullptr;
    if (o.dll.empty()) {
        // The module's class object export hands out the component itself for IID_INimbrel (it
        // offers no class factory), so the registered class is asked through CoGetClassObject.
        const HRESULT hr = CoGetClassObject(CLSID_Nimbrel, CLSCTX_INPROC_SERVER, nullptr, IID_INimbrel,
                                            reinterpret_cast<void**>(&nimbrel));
        if (FAILED(hr)) Line("component not created: 0x%08lX (is Nimbrel.dll registered?)", static_cast<unsigned long>(hr));
        return SUCCEEDED(hr) ? nimbrel : nullptr;
    }
    HMODULE module = LoadLibraryA(o.dll.c_str());
    typedef HRESULT(STDAPICALLTYPE * GetClassObject)(REFCLSID, REFIID, void**);
    GetClassObject get = module ? reinterpret_cast<GetClassObject>(
                                      reinterpret_cast<void*>(GetProcAddress(module, "DllGetClassObject")))
                                : nullptr;
    if (!get || FAILED(get(CLSID_Nimbrel, IID_INimbrel, reinterpret_cast<void**>(&nimbrel)))) {
        Line("component not loaded from %s", o.dll.c_str());
        return nullptr;
    }
    return nimbrel;
}

// One client of one session: starts each step when the previous one has ended.
class Client {
public:
    Client(INimbrel* nimbrel, const Options& o) : m_nimbrel(nimbrel), m_options(o) {}

    int Run()
    {
        WNDCLASSA wc = {};
        wc.lpfnWndProc = &Client::WindowProc;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.lpszClassName = "ftpget notifications";
        RegisterClassA(&wc);
        // A window that is never shown: it only receives the component's messages.
        m_hWnd = CreateWindowExA(0, wc.lpszClassName, "ftpget", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, this);
        if (!m_hWnd) return kNoComponent;
        SetWindowLongPtrA(m_hWnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
        const int init = m_nimbrel->Initialize(m_hWnd, kNotifyMessage, 1);
        if (init != 0) {
            Line("Initialize failed: %d", init);
            return kNoComponent;
        }
        m_session = m_nimbrel->CreateSession();
        if (m_session == 0) {
            Line("CreateSession failed");
            return kNoComponent;
        }
        m_nimbrel->SetSessionData(m_session, 0x51F7);
        SetTimer(m_hWnd, kTimeoutTimer, m_options.timeoutSeconds * 1000, nullptr);
        StartConnect();
        MSG msg;
        while (!m_finished && GetMessageA(&msg, nullptr, 0, 0) > 0) DispatchMessageA(&msg);
        if (m_session) m_nimbrel->CloseSession(m_session);
        DestroyWindow(m_hWnd);
        Line("messages %lu completions %lu progress %lu", m_messages, m_completions, m_progress);
        return m_exit;
    }

private:
    static LRESULT CALLBACK WindowProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam)
    {
        Client* self = reinterpret_cast<Client*>(GetWindowLongPtrA(hWnd, GWLP_USERDATA));
        if (self && msg == kNotifyMessage) {
            self->OnNotified(wParam, lParam);
            return 0;
        }
        if (self && msg == WM_TIMER) {
            self->OnTimer(wParam);
            return 0;
        }
        return DefWindowProcA(hWnd, msg, wParam, lParam);
    }

    void Finish(int exitCode)
    {
        if (exitCode != kOk && m_exit == kOk) m_exit = exitCode;
        m_finished = true;
        PostMessageA(m_hWnd, WM_NULL, 0, 0);  // wakes GetMessage
    }

    void OnTimer(WPARAM id)
    {
        KillTimer(m_hWnd, id);
        if (id == kTimeoutTimer) {
            Line("timed out");
            Finish(kTimedOut);
        } else if (id == kQuietTimer) {
            Line("quiet %lu messages", m_messages - m_quietFrom);
            NextStep();
        }
    }

    void OnNotified(WPARAM wParam, LPARAM lParam)
    {
        ++m_messages;
        if (wParam != 0 || lParam != 0) Line("message carried %lu %ld", static_cast<unsigned long>(wParam), static_cast<long>(lParam));
        DWORD data = 0;
        const int session = m_nimbrel->GetNotifiedSession(&data);
        if (session == 0 || session != m_session) return;  // nothing deliverable (or not ours)
        if (data != 0x51F7) Line("session data %lu", data);
        void* request = nullptr;
        if (m_nimbrel->GetResult(session, &request, FALSE) != 0 || request == nullptr) return;
        const int status = reinterpret_cast<const int*>(request)[1];
        if (status == NIMBREL_STATUS_PENDING) return;
        if (status == NIMBREL_STATUS_PROGRESS) {
            OnProgress();
            return;
        }
        ++m_completions;
        OnCompleted(status);
    }

    void OnProgress()
    {
        ++m_progress;
        const DWORD bytes = m_download.dwBytesWritten;
        Line("progress %lu", bytes);
        if (m_options.disconnectAt >= 0 && !m_disconnecting && bytes >= m_options.disconnectAt) {
            m_disconnecting = true;
            Line("disconnect at %lu: %d", bytes, m_nimbrel->Disconnect(m_session));
        } else if (m_options.closeAt >= 0 && bytes >= m_options.closeAt) {
            Line("close at %lu: %d", bytes, m_nimbrel->CloseSession(m_session));
            m_session = 0;
            Finish(kOk);
        }
    }

    void OnCompleted(int status)
    {
        const char* step = m_current < 0 ? "connect" : m_options.steps[m_current][0].c_str();
        if (m_current < 0) {
            Line("connect %d %s", status, StatusName(status));
        } else if (m_options.steps[m_current][0] == "pwd") {
            Line("pwd %d %s path \"%s\"", status, StatusName(status),
                 status == NIMBREL_STATUS_SUCCESS ? m_directory.szPath : "");
        } else if (m_options.steps[m_current][0] == "list") {
            Line("list %d %s found %lu", status, StatusName(status), m_find.dwFound);
            for (DWORD i = 0; status == NIMBREL_STATUS_SUCCESS && i < m_find.dwFound; ++i) {
                const WIN32_FIND_DATAA& e = m_entries[i];
                const unsigned long long size = (static_cast<unsigned long long>(e.nFileSizeHigh) << 32) | e.nFileSizeLow;
                Line("entry %s %llu %s", (e.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? "dir" : "file", size, e.cFileName);
            }
        } else if (m_options.steps[m_current][0] == "get") {
            Line("get %d %s bytes %lu", status, StatusName(status), m_download.dwBytesWritten);
            Line("elapsed get %lu ms", GetTickCount() - m_stepStart);
        } else {
            Line("%s %d %s", step, status, StatusName(status));
        }
        const bool expected = status == NIMBREL_STATUS_SUCCESS ||
                              (status == NIMBREL_STATUS_DISCONNECTED && (m_disconnecting || m_wantDisconnect));
        if (!expected) m_exit = kFailed;
        // These end the connection: no later step can run.
        if (status == NIMBREL_STATUS_FAILURE || status == NIMBREL_STATUS_WRITE_FAILED ||
            status == NIMBREL_STATUS_DISCONNECTED)
            m_connected = false;
        m_disconnecting = false;
        m_wantDisconnect = false;
        NextStep();
    }

    void StartConnect()
    {
        std::memset(&m_connect, 0, sizeof m_connect);
        lstrcpynA(m_connect.szHost, m_options.host.c_str(), NIMBREL_PATH_SIZE);
        m_connect.wPort = m_options.port;
        lstrcpynA(m_connect.szUser, m_options.user.c_str(), NIMBREL_PATH_SIZE);
        lstrcpynA(m_connect.szPassword, m_options.password.c_str(), NIMBREL_PATH_SIZE);
        m_connect.dwPassive = m_options.passive ? 1 : 0;
        const int result = m_nimbrel->Connect(m_session, &m_connect);
        if (result != 0) {
            Line("Connect refused: %d", result);
            Finish(kFailed);
        }
    }

    void NextStep()
    {
        ++m_current;
        if (m_current >= static_cast<int>(m_options.steps.size())) {
            Finish(kOk);
            return;
        }
        const std::vector<std::string>& step = m_options.steps[m_current];
        m_stepStart = GetTickCount();
        if (step[0] == "quiet") {
            m_quietFrom = m_messages;
            SetTimer(m_hWnd, kQuietTimer, std::strtoul(step[1].c_str(), nullptr, 10), nullptr);
            return;
        }
        if (!m_connected) {
            Line("%s skipped: not connected", step[0].c_str());
            m_exit = kFailed;
            NextStep();
            return;
        }
        int result = -100;
        if (step[0] == "pwd") {
            std::memset(&m_directory, 0, sizeof m_directory);
            result = m_nimbrel->GetCurrentDirectory(m_session, &m_directory);
        } else if (step[0] == "cd") {
            std::memset(&m_directory, 0, sizeof m_directory);
            lstrcpynA(m_directory.szPath, step[1].c_str(), NIMBREL_PATH_SIZE);
            result = m_nimbrel->SetCurrentDirectory(m_session, &m_directory);
        } else if (step[0] == "list") {
            m_pattern = step[1];
            m_entries.assign(m_options.capacity, WIN32_FIND_DATAA());
            std::memset(&m_find, 0, sizeof m_find);
            m_find.pszPattern = m_pattern.c_str();
            m_find.pFindData = m_entries.empty() ? nullptr : m_entries.data();
            m_find.dwCapacity = m_options.capacity;
            result = m_nimbrel->FindFiles(m_session, &m_find);
        } else if (step[0] == "get") {
            std::memset(&m_download, 0, sizeof m_download);
            lstrcpynA(m_download.szRemoteFile, step[1].c_str(), NIMBREL_PATH_SIZE);
            lstrcpynA(m_download.szLocalFile, step[2].c_str(), NIMBREL_PATH_SIZE);
            m_download.dwResume = m_options.resume ? 1 : 0;
            result = m_nimbrel->Download(m_session, &m_download);
        } else if (step[0] == "disconnect") {
            m_wantDisconnect = true;
            result = m_nimbrel->Disconnect(m_session);
        }
        if (result != 0) {
            Line("%s refused: %d", step[0].c_str(), result);
            Finish(kFailed);
        }
    }

    INimbrel* m_nimbrel;
    const Options& m_options;
    HWND m_hWnd = nullptr;
    int m_session = 0;
    int m_current = -1;  // -1: connecting
    DWORD m_stepStart = 0;
    bool m_connected = true;
    bool m_finished = false;
    bool m_disconnecting = false;
    bool m_wantDisconnect = false;
    int m_exit = kOk;
    unsigned long m_messages = 0, m_completions = 0, m_progress = 0, m_quietFrom = 0;
    NIMBREL_CONNECT m_connect = {};
    NIMBREL_DIRECTORY m_directory = {};
    NIMBREL_FIND m_find = {};
    NIMBREL_DOWNLOAD m_download = {};
    std::string m_pattern;
    std::vector<WIN32_FIND_DATAA> m_entries;
};

}  // namespace

int main(int argc, char** argv)
{
    Options options;
    if (!ParseCommandLine(argc, argv, options)) {
        std::fprintf(stderr,
                     "usage: ftpget [--user U] [--password P] [--active] [--resume] [--capacity N]\n"
                     "              [--disconnect-at BYTES] [--close-at BYTES] [--timeout S] [--dll PATH]\n"
                     "              HOST[:PORT] (pwd | cd DIR | list PATTERN | get REMOTE LOCAL | disconnect | quiet MS)...\n");
        return kUsage;
    }
    CoInitialize(nullptr);
    int exitCode = kNoComponent;
    if (INimbrel* nimbrel = CreateComponent(options)) {
        exitCode = Client(nimbrel, options).Run();
        nimbrel->Release();
    }
    CoUninitialize();
    return exitCode;
}
