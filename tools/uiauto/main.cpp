// UI automation helper for end-to-end tests. It runs inside the same wine server as the programs
// under test and reaches their windows through ordinary window messages.
//
//   uiauto run-and-close PROGRAM [TIMEOUT_MS [HOLD_MS]]
//       start PROGRAM (a bare name is taken from this helper's folder), wait until it shows a
//       visible top-level window, leave it up for HOLD_MS (default 0), ask that window to close
//       and wait for the process to end.
//       Prints what happened; exits 0 when the window appeared and the program ended with 0.
#include <windows.h>

#include <cstdio>
#include <string>

namespace {

struct WindowSearch {
    DWORD process_id;
    HWND found;
};

BOOL CALLBACK FindProcessWindow(HWND window, LPARAM param)
{
    auto* search = reinterpret_cast<WindowSearch*>(param);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == search->process_id && IsWindowVisible(window) && !GetWindow(window, GW_OWNER)) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

std::wstring ResolveBesideHelper(const std::wstring& program)
{
    if (program.find_first_of(L"\\/:") != std::wstring::npos) return program;
    wchar_t self[MAX_PATH];
    DWORD length = GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring folder(self, length);
    return folder.substr(0, folder.find_last_of(L"\\/") + 1) + program;
}

int RunAndClose(const std::wstring& program, DWORD timeout_ms, DWORD hold_ms)
{
    std::wstring path = ResolveBesideHelper(program);
    std::wstring command = L"\"" + path + L"\"";
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(path.c_str(), &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
        std::printf("start failed: error %lu\n", GetLastError());
        return 2;
    }
    CloseHandle(process.hThread);

    WindowSearch search = {process.dwProcessId, nullptr};
    DWORD waited = 0;
    while (!search.found && waited < timeout_ms) {
        if (WaitForSingleObject(process.hProcess, 100) == WAIT_OBJECT_0) break;
        waited += 100;
        EnumWindows(FindProcessWindow, reinterpret_cast<LPARAM>(&search));
    }
    if (!search.found) {
        std::printf("no window appeared within %lu ms\n", timeout_ms);
        TerminateProcess(process.hProcess, 3);
        CloseHandle(process.hProcess);
        return 3;
    }
    wchar_t title[256] = L"";
    GetWindowTextW(search.found, title, 256);
    std::printf("window appeared: \"%ls\"\n", title);
    std::fflush(stdout);
    if (hold_ms) Sleep(hold_ms);

    PostMessageW(search.found, WM_CLOSE, 0, 0);
    if (WaitForSingleObject(process.hProcess, timeout_ms) != WAIT_OBJECT_0) {
        std::printf("program did not end after WM_CLOSE\n");
        TerminateProcess(process.hProcess, 4);
        CloseHandle(process.hProcess);
        return 4;
    }
    DWORD exit_code = 0;
    GetExitCodeProcess(process.hProcess, &exit_code);
    CloseHandle(process.hProcess);
    std::printf("program ended with exit code %lu\n", exit_code);
    return exit_code == 0 ? 0 : 5;
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc >= 3 && std::wstring(argv[1]) == L"run-and-close") {
        DWORD timeout_ms = argc >= 4 ? static_cast<DWORD>(_wtoi(argv[3])) : 30000;
        DWORD hold_ms = argc >= 5 ? static_cast<DWORD>(_wtoi(argv[4])) : 0;
        return RunAndClose(argv[2], timeout_ms, hold_ms);
    }
    std::fprintf(stderr, "usage: uiauto run-and-close PROGRAM [TIMEOUT_MS [HOLD_MS]]\n");
    return 64;
}
