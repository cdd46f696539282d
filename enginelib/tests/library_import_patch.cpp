#include "library_import_patch.h"

#if defined(_WIN32)

#include <windows.h>

int patch_library_imports(void* from, void* to)
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

void* system_routine(const char* module, const char* routine)
{
    return reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA(module), routine));
}

#endif
