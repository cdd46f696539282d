#include "message_box_capture.h"

#if defined(_WIN32)
#include <string.h>
#include <windows.h>
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

// Replaces every import-table entry of the library that holds `from` by `to`; returns the number
// of entries changed.
int patch_imports(void* from, void* to)
{
    BYTE* base = reinterpret_cast<BYTE*>(GetModuleHandleA("GevrastSSE.dll"));
    if (!base || !from) return 0;
    const IMAGE_DOS_HEADER* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const IMAGE_NT_HEADERS* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (!dir.VirtualAddress) return 0;
    int changed = 0;
    for (const IMAGE_IMPORT_DESCRIPTOR* imp = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + dir.VirtualAddress);
         imp->Name; ++imp) {
        for (IMAGE_THUNK_DATA* thunk = reinterpret_cast<IMAGE_THUNK_DATA*>(base + imp->FirstThunk); thunk->u1.Function;
             ++thunk) {
            if (reinterpret_cast<void*>(thunk->u1.Function) != from) continue;
            DWORD old;
            VirtualProtect(&thunk->u1.Function, sizeof(thunk->u1.Function), PAGE_READWRITE, &old);
            thunk->u1.Function = reinterpret_cast<ULONG_PTR>(to);
            VirtualProtect(&thunk->u1.Function, sizeof(thunk->u1.Function), old, &old);
            ++changed;
        }
    }
    return changed;
}

void* system_message_box()
{
    return reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("user32.dll"), "MessageBoxA"));
}

}  // namespace

MessageBoxCapture::MessageBoxCapture()
{
    g_active = this;
    previous_ = system_message_box();
    active_ = patch_imports(previous_, reinterpret_cast<void*>(record_message_box)) > 0;
}

MessageBoxCapture::~MessageBoxCapture()
{
    if (active_) patch_imports(reinterpret_cast<void*>(record_message_box), previous_);
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
