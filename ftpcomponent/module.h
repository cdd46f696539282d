// Process-wide state of the component module.
#pragma once

#include <windows.h>

extern HINSTANCE g_hModuleInstance;      // stored by the entry point, used by registration
extern volatile LONG g_lLiveObjects;     // component objects alive; governs DllCanUnloadNow
