// Process-wide state of the component module.
#pragma once

#include <windows.h>

extern HINSTANCE g_hModuleInstance;      // stored by the entry point, used by registration
extern volatile LONG g_lLiveObjects;     // component objects alive; governs DllCanUnloadNow

// True while a component object lives or a thread of the module (a session's worker, an FTP
// connection's thread) has not ended: DllCanUnloadNow answers S_FALSE then.
bool ModuleInUse();
