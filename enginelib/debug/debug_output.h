// The library's one channel to the debugger. Every family reports through debug_output, so the
// product writes with OutputDebugStringA and a native test can read the exact text instead.
#pragma once

namespace gevrast {

using DebugSink = void (*)(const char* text);

// Writes one message as given (no newline is added).
void debug_output(const char* text);

// Formats into a buffer of buffer_size bytes, as the reporting routine's own buffer would be,
// and writes the (possibly cut) text.
void debug_outputf(unsigned buffer_size, const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 2, 3)))
#endif
    ;

// Sends messages to sink instead of the debugger; null restores the debugger. Returns the sink
// in place before.
DebugSink set_debug_sink(DebugSink sink);

// The library's one message box (no owner window, an OK button): MessageBoxA on Windows, a line
// on standard error in the native build. Routed like the debugger output so tests can read it.
using MessageBoxSink = void (*)(const char* text, const char* caption);

void message_box(const char* text, const char* caption);

// Sends message boxes to sink instead; null restores the system one. Returns the sink before.
MessageBoxSink set_message_box_sink(MessageBoxSink sink);

}  // namespace gevrast
