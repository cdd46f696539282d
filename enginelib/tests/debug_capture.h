// Collects what the library writes to the debugger while an instance is alive. Natively the
// library's sink is redirected; under Wine the DLL really calls OutputDebugStringA, and the text
// is read from the debug-print exception that call raises inside the process.
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
    void* handle_ = nullptr;
};
