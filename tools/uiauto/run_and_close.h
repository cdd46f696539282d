#pragma once

#include <windows.h>

#include <string>

// Starts `program` (a bare name is taken from uiauto's own folder), waits until it shows a visible
// top-level window, leaves it up for hold_ms, asks it to close and waits for the process to end.
// 0 when the window appeared and the program ended with exit code 0.
int RunAndClose(const std::wstring& program, DWORD timeout_ms, DWORD hold_ms);
