// Points the engine library's own import-table entries for a system routine at a recorder, so a
// test sees what the library hands the system without the system acting on it.
#pragma once

#if defined(_WIN32)

// Replaces every entry of GevrastSSE.dll's import table that holds `from` by `to`; returns the
// number of entries changed (0 when the library is not loaded or does not import `from`).
int patch_library_imports(void* from, void* to);

// The address the loader bound for `routine` of the system DLL `module`, as the library's import
// table holds it.
void* system_routine(const char* module, const char* routine);

#endif
