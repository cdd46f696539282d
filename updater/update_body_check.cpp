#include "update_body_check.h"

#include <string.h>

namespace renovek {

namespace {

constexpr uint16_t kMachineI386 = 0x14c;
constexpr uint16_t kExecutableImage = 0x0002;
constexpr uint16_t kDll = 0x2000;
constexpr uint32_t kPeOffsetField = 0x3C;
constexpr uint32_t kBitmapFileHeaderBytes = 14;
constexpr uint32_t kSmallestBitmapInfoBytes = 12;

uint16_t Load16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t Load32(const uint8_t* p)
{
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
           (static_cast<uint32_t>(p[3]) << 24);
}

}  // namespace

void UpdateBodyCheck::Feed(const void* bytes, size_t count)
{
    if (count == 0) return;
    const uint8_t* p = static_cast<const uint8_t*>(bytes);
    const uint64_t offset = total_;
    total_ += count;
    if (offset < kHeadBytes) memcpy(head_ + offset, p, count < kHeadBytes - offset ? count : kHeadBytes - offset);
    if (kind_ != BodyKind::Launcher) return;
    if (!pe_.known && total_ >= kHeadBytes) {
        pe_ = Window{true, Load32(head_ + kPeOffsetField), kPeHeaderBytes, pe_header_};
        // The PE header may begin inside the DOS header: take what of it the head already holds.
        Capture(pe_, head_, 0, kHeadBytes);
    }
    Capture(pe_, p, offset, count);
    if (!table_.known && PeHeaderArrived()) {
        LocateSections();
        // The table follows the PE header: what of it arrived is in the head or in this piece.
        Capture(table_, head_, 0, kHeadBytes);
    }
    Capture(table_, p, offset, count);
}

void UpdateBodyCheck::LocateSections()
{
    const size_t sections = Load16(pe_header_ + 6);
    const uint16_t optional_header_bytes = Load16(pe_header_ + 20);
    too_many_sections_ = sections > kMaxSections;
    table_ = Window{true, pe_.start + kPeHeaderBytes + optional_header_bytes,
                    (too_many_sections_ ? 0 : sections) * kSectionBytes, sections_};
}

void UpdateBodyCheck::Capture(const Window& window, const uint8_t* bytes, uint64_t offset, size_t count)
{
    if (!window.known) return;
    const uint64_t from = offset > window.start ? offset : window.start;
    const uint64_t end = offset + count;
    const uint64_t window_end = window.start + window.size;
    const uint64_t to = end < window_end ? end : window_end;
    if (from < to) memcpy(window.dest + (from - window.start), bytes + (from - offset), static_cast<size_t>(to - from));
}

bool UpdateBodyCheck::Passes() const
{
    if (kind_ == BodyKind::Picture) {
        if (total_ < kBitmapFileHeaderBytes || head_[0] != 'B' || head_[1] != 'M') return false;
        const uint32_t file_size = Load32(head_ + 2);
        const uint32_t pixel_offset = Load32(head_ + 10);
        return file_size == total_ && pixel_offset >= kBitmapFileHeaderBytes + kSmallestBitmapInfoBytes &&
               pixel_offset < total_;
    }
    if (head_[0] != 'M' || head_[1] != 'Z' || !PeHeaderArrived()) return false;
    if (memcmp(pe_header_, "PE\0\0", 4) != 0) return false;
    const uint16_t characteristics = Load16(pe_header_ + 22);
    if (Load16(pe_header_ + 4) != kMachineI386 || (characteristics & kExecutableImage) == 0 ||
        (characteristics & kDll) != 0)
        return false;
    // A program cut short still has its headers; its sections' data is what goes missing.
    if (too_many_sections_ || table_.start + table_.size > total_) return false;
    for (size_t at = 0; at < table_.size; at += kSectionBytes) {
        const uint64_t raw_size = Load32(sections_ + at + 16);
        const uint64_t raw_offset = Load32(sections_ + at + 20);
        if (raw_size != 0 && raw_offset + raw_size > total_) return false;
    }
    return true;
}

}  // namespace renovek
