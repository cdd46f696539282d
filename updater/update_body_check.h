// Whether a downloaded body is what the updater asked for, judged while it passes on its way to
// the staged file: the launcher must be a 32-bit Windows program and the picture a bitmap. A
// captive portal, a proxy or a misconfigured server answers 200 with a page of its own, and a
// server can hold a program cut short; such a body must never take the launcher's place (the
// player would be left without one) or the picture's.
#pragma once

#include <stddef.h>
#include <stdint.h>

namespace renovek {

enum class BodyKind {
    // "MZ", its PE header inside the body, machine i386, an executable image and no DLL, and the
    // raw data of every section inside the body.
    Launcher,
    // "BM", the file-size field equal to the body's length, the pixels inside the body.
    Picture,
};

class UpdateBodyCheck {
public:
    explicit UpdateBodyCheck(BodyKind kind) : kind_(kind) {}

    // The body's next bytes, in order; any piece size.
    void Feed(const void* bytes, size_t count);
    // Once the whole body was fed: true when it may replace the file.
    bool Passes() const;

private:
    static constexpr size_t kHeadBytes = 64;      // the DOS header; also holds the bitmap's file header
    static constexpr size_t kPeHeaderBytes = 24;  // signature and file header
    static constexpr size_t kSectionBytes = 40;
    static constexpr size_t kMaxSections = 96;    // the most the system loads

    // A stretch of the body kept as it passes: [start, start + size) of the body into dest.
    struct Window {
        bool known = false;
        uint64_t start = 0;
        size_t size = 0;
        uint8_t* dest = nullptr;
    };
    static void Capture(const Window& window, const uint8_t* bytes, uint64_t offset, size_t count);
    void LocateSections();
    bool PeHeaderArrived() const { return pe_.known && pe_.start + kPeHeaderBytes <= total_; }

    BodyKind kind_;
    uint64_t total_ = 0;
    uint8_t head_[kHeadBytes] = {};
    uint8_t pe_header_[kPeHeaderBytes] = {};
    uint8_t sections_[kSectionBytes * kMaxSections] = {};
    Window pe_;
    Window table_;
    bool too_many_sections_ = false;
};

}  // namespace renovek
