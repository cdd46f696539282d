#include "process_windows.h"

#include <tlhelp32.h>

namespace {

struct TopLevelSearch {
    const std::vector<DWORD>* processes;
    std::vector<HWND> windows;
};

BOOL CALLBACK CollectTopLevel(HWND window, LPARAM param)
{
    auto* search = reinterpret_cast<TopLevelSearch*>(param);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    for (DWORD pid : *search->processes) {
        if (pid == owner) search->windows.push_back(window);
    }
    return TRUE;
}

std::vector<HWND> ProcessTopLevelWindows(const std::vector<DWORD>& processes)
{
    TopLevelSearch search = {&processes, {}};
    EnumWindows(CollectTopLevel, reinterpret_cast<LPARAM>(&search));
    return search.windows;
}

std::vector<HWND> ProcessDialogs(const std::vector<DWORD>& processes)
{
    std::vector<HWND> dialogs;
    for (HWND window : ProcessTopLevelWindows(processes)) {
        if (WindowClass(window) == L"#32770") dialogs.push_back(window);
    }
    return dialogs;
}

// The message box's text sits in its static control 0xFFFF.
constexpr int kMessageBoxTextId = 0xFFFF;

}  // namespace

bool ListProcessesByExe(const std::wstring& exe_name, std::vector<DWORD>& found)
{
    found.clear();
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return false;
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof(entry);
    BOOL more = Process32FirstW(snapshot, &entry);
    // A snapshot always holds at least the process taking it.
    const bool listed = more != FALSE;
    for (; more; more = Process32NextW(snapshot, &entry)) {
        if (lstrcmpiW(entry.szExeFile, exe_name.c_str()) == 0) found.push_back(entry.th32ProcessID);
    }
    CloseHandle(snapshot);
    return listed;
}

std::vector<DWORD> FindProcessesByExe(const std::wstring& exe_name)
{
    std::vector<DWORD> found;
    ListProcessesByExe(exe_name, found);
    return found;
}

HWND FindMainWindow(const std::vector<DWORD>& processes)
{
    for (HWND dialog : ProcessDialogs(processes)) {
        if (!GetWindow(dialog, GW_OWNER) && !GetDlgItem(dialog, kMessageBoxTextId)) return dialog;
    }
    // Programs that are no dialog programs: their first visible unowned window.
    for (HWND window : ProcessTopLevelWindows(processes)) {
        if (!GetWindow(window, GW_OWNER) && IsWindowVisible(window)) return window;
    }
    return nullptr;
}

std::vector<HWND> FindMessageBoxes(const std::vector<DWORD>& processes)
{
    std::vector<HWND> boxes;
    for (HWND dialog : ProcessDialogs(processes)) {
        if (GetDlgItem(dialog, kMessageBoxTextId) && IsWindowVisible(dialog)) boxes.push_back(dialog);
    }
    return boxes;
}

std::wstring WindowText(HWND window)
{
    // WM_GETTEXT rather than GetWindowText, which does not ask other processes' controls.
    wchar_t text[1024] = L"";
    SendMessageTimeoutW(window, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG, 5000, nullptr);
    text[1023] = L'\0';
    return text;
}

std::wstring WindowClass(HWND window)
{
    wchar_t name[256] = L"";
    GetClassNameW(window, name, 256);
    return name;
}
