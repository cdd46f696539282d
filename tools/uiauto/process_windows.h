// Finding the windows of a program under test by its executable's name: its main dialog and the
// message boxes it shows.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

// The processes running `exe_name`; false when the system's process list could not be taken, so
// that an empty list proves nothing about them.
bool ListProcessesByExe(const std::wstring& exe_name, std::vector<DWORD>& found);
std::vector<DWORD> FindProcessesByExe(const std::wstring& exe_name);

// The program's unowned top-level dialog (visible or not), else its first visible unowned
// top-level window; null when there is none.
HWND FindMainWindow(const std::vector<DWORD>& processes);

// The program's message boxes: owned top-level dialogs with the message box's static text.
std::vector<HWND> FindMessageBoxes(const std::vector<DWORD>& processes);

std::wstring WindowText(HWND window);
std::wstring WindowClass(HWND window);
