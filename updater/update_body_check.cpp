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
    if (!pe_offset_known_ && total_ >= kHeadBytes) {
        // The PE header may begin inside the DOS header: take what of it the head already holds.
        pe_offset_ = Load32(head_ + kPeOffsetField);
        pe_offset_known_ = true;
        CapturePeHeader(head_, 0, kHeadBytes);
    }
    if (pe_offset_known_) CapturePeHeader(p, offset, count);
}

void UpdateBodyCheck::CapturePeHeader(const uint8_t* bytes, uint64_t offset, size_t count)
{
    const uint64_t from = offset > pe_offset_ ? offset : pe_offset_;
    const uint64_t end = offset + count;
    const uint64_t header_end = static_cast<uint64_t>(pe_offset_) + kPeHeaderBytes;
    const uint64_t to = end < header_end ? end : header_end;
    if (from < to) memcpy(pe_header_ + (from - pe_offset_), bytes + (from - offset), static_cast<size_t>(to - from));
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
    if (!pe_offset_known_ || head_[0] != 'M' || head_[1] != 'Z') return false;
    // Every byte of the PE header passed through CapturePeHeader exactly when the body holds it.
    if (static_cast<uint64_t>(pe_offset_) + kPeHeaderBytes > total_) return false;
    if (memcmp(pe_header_, "PE\0\0", 4) != 0) return false;
    const uint16_t characteristics = Load16(pe_header_ + 22);
    return Load16(pe_header_ + 4) == kMachineI386 && (characteristics & kExecutableImage) != 0 &&
           (characteristics & kDll) == 0;
}

}  // namespace renovek
