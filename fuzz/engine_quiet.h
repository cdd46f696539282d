// The engine harnesses drive calls that the library refuses on purpose; each refusal is reported
// to the debugger (and some through a message box). Those reports are expected here, and writing
// each would only slow the run and bury the fuzzer's own lines.
#pragma once

#include "debug/debug_output.h"

inline void SilenceEngineReports()
{
    static const bool quiet = (gevrast::set_debug_sink([](const char*) {}),
                               gevrast::set_message_box_sink([](const char*, const char*) {}), true);
    (void)quiet;
}
