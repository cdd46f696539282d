// Whether a downloaded body is what the updater asked for, judged while it passes on its way to
// the staged file: the launcher must be a 32-bit Windows program and the picture a bitmap. A
// captive portal, a proxy or a misconfigured server answers 200 with a page of its own; such a
// body must never take the launcher's place (the player would be left without one) or the
// picture's.
#pragma once

#include <stddef.h>
#include <stdint.h>

namespace renovek {

enum class BodyKind {
    Launcher,  // "MZ", its PE header inside the body, machine i386, an executable image, no DLL
    Picture,   // "BM", the file-size field equal to the body's length, the pixels inside the body
};

class UpdateBodyCheck {
public:
    explicit UpdateBodyCheck(BodyKind kind) : kind_(kind) {}

    // The body's next bytes, in order; any piece size.
    void Feed(const void* bytes, size_t count);
    // Once the whole body was fed: true when it may replace the file.
    bool Passes() const;

private:
    static constexpr size_t kHeadBytes = 64;    // the DOS header; also covers the bitmap's file header
    static constexpr size_t kPeHeaderBytes = 24;  // signature and file header

    void CapturePeHeader(const uint8_t* bytes, uint64_t offset, size_t count);

    BodyKind kind_;
    uint64_t total_ = 0;
    uint8_t head_[kHeadBytes] = {};
    bool pe_offset_known_ = false;
    uint32_t pe_offset_ = 0;  // e_lfanew, once the head is complete
    uint8_t pe_header_[kPeHeaderBytes] = {};
};

}  // namespace renovek
