#include "debugreport.h"

#include <windows.h>

#include <cstdio>
#include <initializer_list>

namespace {

volatile LONG g_assertionCount = 0;

// Someone receives debug output: a debugger, or a debug-output viewer (which opens the shared
// buffer the system writes the text into). Without one the text would go nowhere, and handing it
// over still costs an exception raised and handled inside the system, so it is not handed over.
// The same test holds on every system the game runs on.
bool OutputHasListener()
{
    if (IsDebuggerPresent()) return true;
    for (const char* buffer : {"DBWIN_BUFFER", "Global\\DBWIN_BUFFER"}) {
        if (HANDLE mapping = OpenFileMappingA(FILE_MAP_READ, FALSE, buffer)) {
            CloseHandle(mapping);
            return true;
        }
    }
    return false;
}

void DebugOutput(const char* text)
{
    if (OutputHasListener()) OutputDebugStringA(text);
}

}  // namespace

void NimbrelReportAssertion(const char* unit, int line, const char* message)
{
    InterlockedIncrement(&g_assertionCount);
    char text[512];
    std::snprintf(text, sizeof text, "%s(%d) : error : %s\n", unit, line, message);
    DebugOutput(text);
}

void NimbrelTrace(const char* text) { DebugOutput(text); }

long NimbrelAssertionCount() { return g_assertionCount; }
