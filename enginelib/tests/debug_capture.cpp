#include "debug_capture.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include "../debug/debug_output.h"
#endif

namespace {
DebugCapture* g_active = nullptr;
}

struct DebugCaptureAccess {
    static void add(const char* text)
    {
        if (g_active) g_active->messages_.emplace_back(text);
    }
};

#if defined(_WIN32)

namespace {

constexpr DWORD kDebugPrint = 0x40010006;      // raised by OutputDebugStringA: length, text
constexpr DWORD kDebugPrintWide = 0x4001000A;  // raised by OutputDebugStringW: wide and narrow text

LONG CALLBACK on_exception(EXCEPTION_POINTERS* info)
{
    const EXCEPTION_RECORD* rec = info->ExceptionRecord;
    if (rec->ExceptionCode == kDebugPrint && rec->NumberParameters >= 2) {
        DebugCaptureAccess::add(reinterpret_cast<const char*>(rec->ExceptionInformation[1]));
        return EXCEPTION_CONTINUE_EXECUTION;
    }
    if (rec->ExceptionCode == kDebugPrintWide && rec->NumberParameters >= 4) {
        DebugCaptureAccess::add(reinterpret_cast<const char*>(rec->ExceptionInformation[3]));
        return EXCEPTION_CONTINUE_EXECUTION;
    }
    return EXCEPTION_CONTINUE_SEARCH;
}

}  // namespace

DebugCapture::DebugCapture()
{
    g_active = this;
    handle_ = AddVectoredExceptionHandler(1, on_exception);
}

DebugCapture::~DebugCapture()
{
    RemoveVectoredExceptionHandler(handle_);
    g_active = nullptr;
}

#else

DebugCapture::DebugCapture()
{
    g_active = this;
    handle_ = reinterpret_cast<void*>(gevrast::set_debug_sink(DebugCaptureAccess::add));
}

DebugCapture::~DebugCapture()
{
    gevrast::set_debug_sink(reinterpret_cast<gevrast::DebugSink>(handle_));
    g_active = nullptr;
}

#endif
