// What the updater lets replace the launcher and the picture, fed in pieces of every size.
#include <gtest/gtest.h>

#include <stdint.h>

#include <string>
#include <vector>

#include "update_body_check.h"

using renovek::BodyKind;
using renovek::UpdateBodyCheck;

namespace {

void Put16(std::string& body, size_t at, uint16_t v)
{
    body[at] = static_cast<char>(v);
    body[at + 1] = static_cast<char>(v >> 8);
}

void Put32(std::string& body, size_t at, uint32_t v)
{
    for (int i = 0; i < 4; ++i) body[at + i] = static_cast<char>(v >> (8 * i));
}

struct Section {
    uint32_t raw_offset;
    uint32_t raw_size;
};

// A program as the linker lays it out: DOS header, PE signature at peOffset, the file header with
// the machine and the characteristics, an optional header, then the section table.
std::string Program(size_t size = 4096, uint32_t peOffset = 0x80, uint16_t machine = 0x14c,
                    uint16_t characteristics = 0x0102, std::vector<Section> sections = {{0x400, 0x800}, {0xC00, 0x400}})
{
    std::string body(size, '\0');
    body[0] = 'M';
    body[1] = 'Z';
    Put32(body, 0x3C, peOffset);
    const uint16_t optional_bytes = sections.empty() ? 0 : 0xE0;
    if (uint64_t(peOffset) + 24 <= size) {
        body.replace(peOffset, 4, std::string("PE\0\0", 4));
        Put16(body, peOffset + 4, machine);
        Put16(body, peOffset + 6, static_cast<uint16_t>(sections.size()));
        Put16(body, peOffset + 20, optional_bytes);
        Put16(body, peOffset + 22, characteristics);
    }
    size_t entry = peOffset + 24 + optional_bytes;
    for (const Section& section : sections) {
        if (entry + 40 > size) break;
        Put32(body, entry + 16, section.raw_size);
        Put32(body, entry + 20, section.raw_offset);
        entry += 40;
    }
    return body;
}

std::string Bitmap(uint32_t width = 5, uint32_t height = 3)
{
    const uint32_t stride = (width * 3 + 3) & ~3u;
    std::string body(54 + stride * height, '\x7f');
    body[0] = 'B';
    body[1] = 'M';
    Put32(body, 2, static_cast<uint32_t>(body.size()));
    Put32(body, 6, 0);
    Put32(body, 10, 54);
    Put32(body, 14, 40);
    return body;
}

// The verdict, which must not depend on how the body was cut into pieces.
bool Judge(BodyKind kind, const std::string& body)
{
    std::vector<bool> verdicts;
    for (size_t piece : {body.size() + 1, size_t(1), size_t(7), size_t(63), size_t(64), size_t(65), size_t(512)}) {
        UpdateBodyCheck check(kind);
        for (size_t at = 0; at < body.size(); at += piece) check.Feed(body.data() + at, std::min(piece, body.size() - at));
        verdicts.push_back(check.Passes());
    }
    for (bool v : verdicts) EXPECT_EQ(v, verdicts[0]) << "the piece size changed the verdict";
    return verdicts[0];
}

const std::string kPortalPage =
    "<html><head><title>Sign in</title></head><body>Accept the terms to use this network</body></html>";

TEST(UpdateBodyCheck, LauncherMustBeA32BitWindowsProgramWholeInTheBody)
{
    EXPECT_TRUE(Judge(BodyKind::Launcher, Program()));
    // The header may sit anywhere the body reaches, even overlapping the DOS header.
    EXPECT_TRUE(Judge(BodyKind::Launcher, Program(8192, 0xF00, 0x14c, 0x0102, {{0x1400, 0x200}})));
    EXPECT_TRUE(Judge(BodyKind::Launcher, Program(4096, 4, 0x14c, 0x0102, {})));
    EXPECT_TRUE(Judge(BodyKind::Launcher, Program(0x80 + 24, 0x80, 0x14c, 0x0102, {})));  // ends with the header
    // Sections without raw data take no bytes.
    EXPECT_TRUE(Judge(BodyKind::Launcher, Program(1024, 0x80, 0x14c, 0x0102, {{0x400, 0}, {0x7FFFFFFF, 0}})));

    EXPECT_FALSE(Judge(BodyKind::Launcher, ""));
    EXPECT_FALSE(Judge(BodyKind::Launcher, kPortalPage));
    EXPECT_FALSE(Judge(BodyKind::Launcher, "MZ"));
    EXPECT_FALSE(Judge(BodyKind::Launcher, Program().substr(0, 0x80 + 23)));  // cut inside the header
    EXPECT_FALSE(Judge(BodyKind::Launcher, Program().substr(0, 64)));          // header beyond the body
    EXPECT_FALSE(Judge(BodyKind::Launcher, Program(4096, 0xFFFFFFF0u)));       // no wrap past 4 GiB
    EXPECT_FALSE(Judge(BodyKind::Launcher, Program(4096, 0x80, 0x8664)));      // 64-bit
    EXPECT_FALSE(Judge(BodyKind::Launcher, Program(4096, 0x80, 0x14c, 0x2102)));  // a DLL
    EXPECT_FALSE(Judge(BodyKind::Launcher, Program(4096, 0x80, 0x14c, 0x0100)));  // not an image
    // Cut short: the headers are whole, a section's data is not (or the section table itself).
    EXPECT_FALSE(Judge(BodyKind::Launcher, Program().substr(0, 4095)));
    EXPECT_FALSE(Judge(BodyKind::Launcher, Program().substr(0, 0x800)));
    EXPECT_FALSE(Judge(BodyKind::Launcher, Program().substr(0, 0x80 + 24 + 0xE0 + 79)));
    EXPECT_FALSE(Judge(BodyKind::Launcher, Program(4096, 0x80, 0x14c, 0x0102, {{0xFFFFFF00u, 0x200}})));  // no wrap
    EXPECT_FALSE(Judge(BodyKind::Launcher, Program(8192, 0x80, 0x14c, 0x0102, std::vector<Section>(97, {0x400, 1}))));
    EXPECT_TRUE(Judge(BodyKind::Launcher, Program(8192, 0x80, 0x14c, 0x0102, std::vector<Section>(96, {0x1C00, 1}))));
    std::string renamed = Program();
    renamed[0x81] = 'X';  // "PX": no PE signature
    EXPECT_FALSE(Judge(BodyKind::Launcher, renamed));
    EXPECT_FALSE(Judge(BodyKind::Launcher, Bitmap()));
}

TEST(UpdateBodyCheck, PictureMustBeABitmapWhoseHeaderAgreesWithTheBody)
{
    EXPECT_TRUE(Judge(BodyKind::Picture, Bitmap()));
    EXPECT_TRUE(Judge(BodyKind::Picture, Bitmap(660, 450)));

    const std::string bmp = Bitmap();
    EXPECT_FALSE(Judge(BodyKind::Picture, ""));
    EXPECT_FALSE(Judge(BodyKind::Picture, kPortalPage));
    EXPECT_FALSE(Judge(BodyKind::Picture, bmp.substr(0, bmp.size() - 1)));  // truncated
    EXPECT_FALSE(Judge(BodyKind::Picture, bmp + "extra"));                   // bytes past its size
    EXPECT_FALSE(Judge(BodyKind::Picture, bmp.substr(0, 13)));               // not even a file header
    std::string far_pixels = bmp;
    Put32(far_pixels, 10, static_cast<uint32_t>(bmp.size()));
    EXPECT_FALSE(Judge(BodyKind::Picture, far_pixels));
    std::string inside_header = bmp;
    Put32(inside_header, 10, 10);
    EXPECT_FALSE(Judge(BodyKind::Picture, inside_header));
    // A page that merely begins with "BM" has no size field that matches it.
    EXPECT_FALSE(Judge(BodyKind::Picture, "BM" + kPortalPage));
    EXPECT_FALSE(Judge(BodyKind::Picture, Program()));
}

}  // namespace
