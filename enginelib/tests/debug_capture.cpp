#include "debug_capture.h"

#if defined(_WIN32)
#include <windows.h>

#include "library_import_patch.h"
#else
#include "../debug/debug_output.h"
#endif

namespace {
DebugCapture* g_active = nullptr;
}

struct DebugCaptureAccess {
    static void add(const char* text)
    {
        if (g_active) g_active->messages_.emplace_back(text ? text : "");
    }
};

#if defined(_WIN32)

namespace {

void WINAPI record_debug_output(LPCSTR text)
{
    DebugCaptureAccess::add(text);
}

}  // namespace

DebugCapture::DebugCapture()
{
    g_active = this;
    previous_ = system_routine("kernel32.dll", "OutputDebugStringA");
    patched_ = patch_library_imports(previous_, reinterpret_cast<void*>(record_debug_output)) > 0;
}

DebugCapture::~DebugCapture()
{
    if (patched_) patch_library_imports(reinterpret_cast<void*>(record_debug_output), previous_);
    g_active = nullptr;
}

#else

DebugCapture::DebugCapture()
{
    g_active = this;
    previous_ = reinterpret_cast<void*>(gevrast::set_debug_sink(DebugCaptureAccess::add));
    patched_ = true;
}

DebugCapture::~DebugCapture()
{
    gevrast::set_debug_sink(reinterpret_cast<gevrast::DebugSink>(previous_));
    g_active = nullptr;
}

#endif
