// Collects the library's message boxes while an instance is alive, instead of showing them.
// Natively the library's message-box sink is redirected; under Wine the DLL's import of
// MessageBoxA is pointed at a recorder for the lifetime of the instance.
#pragma once

#include <string>
#include <vector>

struct CapturedMessageBox {
    std::string text;
    std::string caption;
    bool has_owner;     // an owner window was given
    unsigned type;      // the MB_ flags (MB_OK is 0)
};

class MessageBoxCapture {
public:
    MessageBoxCapture();
    ~MessageBoxCapture();
    MessageBoxCapture(const MessageBoxCapture&) = delete;
    MessageBoxCapture& operator=(const MessageBoxCapture&) = delete;

    const std::vector<CapturedMessageBox>& boxes() const { return boxes_; }
    // False when the recorder could not be put in place (the test then cannot trust boxes()).
    bool active() const { return active_; }

private:
    friend struct MessageBoxCaptureAccess;
    std::vector<CapturedMessageBox> boxes_;
    void* previous_ = nullptr;
    bool active_ = false;
};
