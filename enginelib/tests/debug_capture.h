// Collects what the library writes to the debugger while an instance is alive. Natively the
// library's sink is redirected; under Wine the DLL's import of OutputDebugStringA is pointed at a
// recorder for the lifetime of the instance, so no debug-print exception is raised at all (once
// a process has had a second thread, such as GoogleTest's watcher of the main thread, one
// dispatched exception makes the whole process fault at its exit under the i386 emulator).
#pragma once

#include <string>
#include <vector>

class DebugCapture {
public:
    DebugCapture();
    ~DebugCapture();
    DebugCapture(const DebugCapture&) = delete;
    DebugCapture& operator=(const DebugCapture&) = delete;

    const std::vector<std::string>& messages() const { return messages_; }

private:
    friend struct DebugCaptureAccess;
    std::vector<std::string> messages_;
    void* previous_ = nullptr;  // the routine or sink in place before
    bool patched_ = false;
};
