// What one downloaded file costs the launcher before and around its bytes, taken apart: the
// transfer thread, the WinINet session with its five time-outs, the request itself on a session
// of its own (as the launcher does it), on one shared session and with larger reads, the whole
// file as the transfer thread takes it without the window, and one synchronous update of a window
// owned by another thread (the dialog's bars and texts). scripts/bench_patch.py runs it beside its
// download cases against the same server.
//
//   per_file_setup_probe URL COUNT
//
// Prints "probe NAME: MS ms a file (COUNT files)" for each part; exits 1 when a request fails.
#include "download_session.h"
#include "md5_ctx.h"
#include "paced_progress.h"
#include "worker_thread.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

double Now()
{
    static LARGE_INTEGER frequency;
    if (!frequency.QuadPart) QueryPerformanceFrequency(&frequency);
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    return counter.QuadPart * 1000.0 / frequency.QuadPart;
}

void Report(const char* name, int count, const std::function<bool(int)>& once)
{
    const double began = Now();
    for (int i = 0; i < count; ++i) {
        if (!once(i)) {
            std::printf("probe %s: failed at file %d\n", name, i);
            std::exit(1);
        }
    }
    std::printf("probe %s: %.2f ms a file (%d files)\n", name, (Now() - began) / count, count);
    std::fflush(stdout);
}

// One request as the launcher makes it: status, length, the whole body in reads of at most
// `piece` bytes (the launcher's: 8 KiB).
bool Fetch(winfx::CInternetSession& session, const std::wstring& url, int index, UINT piece = quenlor::kBodyReadPiece)
{
    const std::wstring unique = url + L"?probe=" + std::to_wstring(index);
    try {
        std::unique_ptr<winfx::CHttpFile> file = quenlor::OpenDownload(session, unique);
        DWORD status = 0, length = 0;
        file->QueryInfoStatusCode(status);
        file->QueryInfo(HTTP_QUERY_CONTENT_LENGTH, length);
        std::vector<char> buffer(piece);
        DWORD got = 0;
        while (UINT n = file->Read(buffer.data(), piece)) got += n;
        return status == 200 && got == length;
    } catch (const winfx::CInternetException&) {
        return false;
    }
}

class NoWindow : public quenlor::BodyProgress {
public:
    void OnPiece(uint32_t, uint32_t) override {}
};

uint32_t Tick() { return GetTickCount(); }

// The whole file as the launcher's transfer thread takes it, without the window: its own session,
// the request, the body into a staged file with its digest checked, the flush and the rename.
bool Receive(const std::wstring& url, int index, const std::wstring& expected, MD5_CTX& context)
{
    const volatile int32_t notStopping = 0;
    try {
        std::unique_ptr<winfx::CInternetSession> session = quenlor::OpenDownloadSession();
        std::unique_ptr<winfx::CHttpFile> file = quenlor::OpenDownload(*session, url + L"?receive=" + std::to_wstring(index));
        DWORD length = 0;
        file->QueryInfo(HTTP_QUERY_CONTENT_LENGTH, length);
        quenlor::HttpBodySource source(*file);
        NoWindow window;
        quenlor::PacedProgress progress(window, &Tick);
        return quenlor::ReceiveFileBody(source, length, L"probe-received.bin", quenlor::BodyDigest{expected, context},
                                        notStopping, progress) == quenlor::BodyOutcome::Replaced;
    } catch (const winfx::CInternetException&) {
        return false;
    }
}

// The body's digest text, fetched once, so the received files can be checked as the launcher does.
std::wstring DigestOf(const std::wstring& url, MD5_CTX& context)
{
    std::unique_ptr<winfx::CInternetSession> session = quenlor::OpenDownloadSession();
    std::unique_ptr<winfx::CHttpFile> file = quenlor::OpenDownload(*session, url + L"?digest");
    context.MD5Init();
    uint8_t buffer[8192];
    while (UINT n = file->Read(buffer, sizeof buffer)) context.MD5Update(buffer, n);
    uint8_t digest[16];
    context.MD5Final(digest);
    return quenlor::DigestText(digest);
}

// A static control on a window of a thread of its own, as the dialog's controls are to the
// transfer thread.
class OtherThreadWindow {
public:
    // m_threadId and m_control are written by the window's thread before it sets m_ready and
    // only read by the owner after m_ready is seen; a window not ready within the bound reads as
    // no control.
    OtherThreadWindow()
        : m_ready(CreateEventW(nullptr, TRUE, FALSE, nullptr)), m_thread([this] { Run(); })
    {
        m_isReady = WaitForSingleObject(m_ready, 30000) == WAIT_OBJECT_0;
    }
    ~OtherThreadWindow()
    {
        if (m_isReady) PostThreadMessageW(m_threadId, WM_QUIT, 0, 0);
        m_thread.JoinFor(30000);
        CloseHandle(m_ready);
    }
    HWND control() const { return m_isReady ? m_control : nullptr; }

private:
    void Run()
    {
        m_threadId = GetCurrentThreadId();
        const HWND owner = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 200, 20, nullptr, nullptr, nullptr, nullptr);
        m_control = CreateWindowExW(0, L"STATIC", L"", WS_CHILD, 0, 0, 200, 20, owner, nullptr, nullptr, nullptr);
        MSG message;
        PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE);  // the thread's queue exists from here
        SetEvent(m_ready);
        while (GetMessageW(&message, nullptr, 0, 0) > 0) DispatchMessageW(&message);
        DestroyWindow(owner);
    }

    HANDLE m_ready;
    bool m_isReady = false;
    DWORD m_threadId = 0;
    HWND m_control = nullptr;
    winfx::CWorkerThread m_thread;
};

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 3 || std::atoi(argv[2]) <= 0) {
        std::fprintf(stderr, "usage: per_file_setup_probe URL COUNT\n");
        return 2;
    }
    const std::string narrow = argv[1];
    const std::wstring url(narrow.begin(), narrow.end());
    const int count = std::atoi(argv[2]);

    Report("thread start and join", count, [](int) {
        winfx::CWorkerThread([] {}).Join();
        return true;
    });
    Report("session with five options", count, [](int) { return quenlor::OpenDownloadSession() != nullptr; });
    Report("request on a session of its own (as the launcher)", count,
           [&](int i) { return Fetch(*quenlor::OpenDownloadSession(), url, i); });
    std::unique_ptr<winfx::CInternetSession> shared = quenlor::OpenDownloadSession();
    Report("request on one shared session", count, [&](int i) { return Fetch(*shared, url, i); });
    // What the read size alone costs: each read is a round of calls into WinINet and the socket
    // layer whatever its size.
    Report("request on one shared session, 64 KiB reads", count, [&](int i) { return Fetch(*shared, url, i, 65536); });
    MD5_CTX context;
    const std::wstring expected = DigestOf(url, context);
    Report("whole file received as the launcher does, no window", count,
           [&](int i) { return Receive(url, i, expected, context); });
    DeleteFileW(L"probe-received.bin");
    OtherThreadWindow window;
    if (!window.control()) {
        std::printf("probe one window text set from another thread: no window\n");
        return 1;
    }
    Report("one window text set from another thread", count, [&](int i) {
        return SetWindowTextW(window.control(), std::to_wstring(i).c_str()) != FALSE;
    });
    return 0;
}
