// The FTP session harness runs requests on its own thread: no connection thread is ever started.
#pragma once

#include <stdint.h>

inline uintptr_t _beginthreadex(void*, unsigned, unsigned(__stdcall*)(void*), void*, unsigned, unsigned*) { return 0; }
