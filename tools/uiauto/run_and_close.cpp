// uiauto run-and-close: start a program, wait for its window, close it, report its exit code.
#include "run_and_close.h"

#include <cstdio>

#include "json_writer.h"
#include "process_windows.h"

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

}  // namespace

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
        // A program that reports a start-up problem waits for its message box to be answered.
        for (HWND box : FindMessageBoxes({process.dwProcessId})) {
            JsonWriter json;
            json.Begin().Field("title", WindowText(box)).Field("text", WindowText(GetDlgItem(box, 0xFFFF))).End();
            std::printf("answered message box %s\n", json.Text().c_str());
            PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
        }
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

