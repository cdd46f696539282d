// Debugger output and the message box: OutputDebugStringA and MessageBoxA on Windows, standard
// error in the native build.
#include "debug/debug_output.h"

#include <stdarg.h>
#include <stdio.h>

#if defined(_WIN32)
#include <windows.h>
#endif

namespace gevrast {

namespace {

void system_sink(const char* text)
{
#if defined(_WIN32)
    OutputDebugStringA(text);
#else
    fputs(text, stderr);
#endif
}

DebugSink g_sink = system_sink;

void system_message_box(const char* text, const char* caption)
{
#if defined(_WIN32)
    MessageBoxA(nullptr, text, caption, MB_OK);
#else
    fprintf(stderr, "[%s] %s\n", caption, text);
#endif
}

MessageBoxSink g_message_box_sink = system_message_box;

}  // namespace

void debug_output(const char* text)
{
    g_sink(text);
}

void debug_outputf(unsigned buffer_size, const char* format, ...)
{
    // The largest buffer any report uses; messages are short, fixed texts with a value or two.
    char buffer[512];
    if (buffer_size > sizeof(buffer)) buffer_size = sizeof(buffer);
    if (buffer_size == 0) return;
    va_list args;
    va_start(args, format);
    vsnprintf(buffer, buffer_size, format, args);
    va_end(args);
    g_sink(buffer);
}

DebugSink set_debug_sink(DebugSink sink)
{
    DebugSink before = g_sink;
    g_sink = sink ? sink : system_sink;
    return before;
}

void message_box(const char* text, const char* caption)
{
    g_message_box_sink(text, caption);
}

MessageBoxSink set_message_box_sink(MessageBoxSink sink)
{
    MessageBoxSink before = g_message_box_sink;
    g_message_box_sink = sink ? sink : system_message_box;
    return before;
}

}  // namespace gevrast
