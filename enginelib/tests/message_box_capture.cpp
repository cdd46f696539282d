#include "message_box_capture.h"

#if defined(_WIN32)
#include <windows.h>

#include "library_import_patch.h"
#else
#include "../debug/debug_output.h"
#endif

namespace {
MessageBoxCapture* g_active = nullptr;
}

struct MessageBoxCaptureAccess {
    static void add(const char* text, const char* caption, bool has_owner, unsigned type)
    {
        if (g_active) g_active->boxes_.push_back({text ? text : "", caption ? caption : "", has_owner, type});
    }
};

#if defined(_WIN32)

namespace {

int WINAPI record_message_box(HWND owner, LPCSTR text, LPCSTR caption, UINT type)
{
    MessageBoxCaptureAccess::add(text, caption, owner != nullptr, type);
    return IDOK;
}

}  // namespace

MessageBoxCapture::MessageBoxCapture()
{
    g_active = this;
    previous_ = system_routine("user32.dll", "MessageBoxA");
    active_ = patch_library_imports(previous_, reinterpret_cast<void*>(record_message_box)) > 0;
}

MessageBoxCapture::~MessageBoxCapture()
{
    if (active_) patch_library_imports(reinterpret_cast<void*>(record_message_box), previous_);
    g_active = nullptr;
}

#else

namespace {
void record_message_box(const char* text, const char* caption)
{
    // The native sink stands for MessageBoxA(nullptr, text, caption, MB_OK).
    MessageBoxCaptureAccess::add(text, caption, false, 0);
}
}  // namespace

MessageBoxCapture::MessageBoxCapture()
{
    g_active = this;
    previous_ = reinterpret_cast<void*>(gevrast::set_message_box_sink(record_message_box));
    active_ = true;
}

MessageBoxCapture::~MessageBoxCapture()
{
    gevrast::set_message_box_sink(reinterpret_cast<gevrast::MessageBoxSink>(previous_));
    g_active = nullptr;
}

#endif
