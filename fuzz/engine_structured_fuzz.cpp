// libFuzzer harness for the engine library's routines that read a caller's structured data: the
// string routines on names of any bytes, and the image routines (2-bit masks, texture planes,
// resampling, borders, the attenuation map) on surfaces of exactly the stated size, so that any
// access outside them is the address sanitizer's to report.
#include <stdint.h>
#include <string.h>

#include <string>
#include <vector>

#include "GevrastSSE.h"
#include "fuzz_input.h"

namespace {

void DriveText(FuzzInput& in)
{
    std::string path = in.Bytes(300);
    path = path.substr(0, strnlen(path.c_str(), path.size()));  // one C string
    const size_t n = path.size();
    std::vector<char> dest(n + 1, '\x7F');

    const uint32_t ext = GetExt(dest.data(), path.c_str());
    const size_t dot = path.find('.');
    if (dot == std::string::npos) CHECK(ext == n);
    else CHECK(ext == n - dot && std::string(dest.data()) == path.substr(dot));
    const uint32_t stem = RemoveExt(dest.data(), path.c_str());
    CHECK(stem == (dot == std::string::npos ? n : dot) && strlen(dest.data()) == stem);
    const uint32_t folder = GetNamePath(dest.data(), path.c_str());
    const size_t sep = path.find_last_of("\\/");
    CHECK(folder == (sep == std::string::npos ? 0 : sep + 1) && strlen(dest.data()) == folder);
    const uint32_t name = GetNameRemovePath(dest.data(), path.c_str());
    CHECK(name == (sep == std::string::npos ? n : n - sep - 1) && strlen(dest.data()) == name);

    std::vector<char> text(path.begin(), path.end());  // no terminator: the length bounds it
    const uint32_t replaced = RemoveCRLF(text.data(), static_cast<uint32_t>(text.size()));
    CHECK(replaced == (path.find_first_of("\r\n\t") != std::string::npos ? 1u : 0u));
    CharToSmallASCII(text.data(), text.data(), static_cast<uint32_t>(text.size()));
    std::vector<char> lower(n + 1);
    CharToSmallASCIILen(lower.data(), path.c_str());
}

void DriveImage(FuzzInput& in)
{
    const uint32_t w = 1 + in.Below(64), h = 1 + in.Below(64);
    // 2-bit masks: w * h / 4 bytes.
    std::vector<uint8_t> mask((w * h) >> 2);
    for (uint8_t& b : mask) b = in.Byte();
    std::vector<uint8_t> wide(mask.size() * 4);
    Convert2BitTo8BitImage(wide.data(), mask.data(), w, h);
    std::vector<uint8_t> back(mask.size());
    Convert8BitTo2BitImage(back.data(), wide.data(), w, h);
    for (size_t i = 0; i < mask.size(); ++i) {
        // The 8-bit form holds each group reversed; converting back keeps that order.
        const uint8_t m = mask[i];
        const uint8_t reversed = static_cast<uint8_t>((m >> 6 & 3) | (m >> 4 & 3) << 2 | (m >> 2 & 3) << 4 | (m & 3) << 6);
        CHECK(back[i] == reversed);
    }
    if (!mask.empty()) {
        const uint32_t x = in.Below(w), y = in.Below(h);
        if (((x + y * w) >> 2) < mask.size()) AddPixel2BitImage(mask.data(), x, y, w, 0, in.Byte());
    }
    std::vector<uint16_t> s16(static_cast<size_t>(w) * h);
    Convert2BitTo16BitImageWithPitch(s16.data(), mask.data(), w & ~3u, h, static_cast<int32_t>(w * 2));
    SetOutLineBorder2Bytes(s16.data(), w, h, static_cast<int32_t>(w * 2), in.Word());
    std::vector<uint32_t> s32(static_cast<size_t>(w) * h);
    SetOutLineBorder4Bytes(s32.data(), w, h, static_cast<int32_t>(w * 4), in.Word());

    // Texture planes: texels inside the surface, as the caller guarantees.
    std::vector<TEXEL_RECORD> texels(in.Below(20));
    for (TEXEL_RECORD& t : texels) {
        memset(&t, 0, sizeof t);
        t.dwColor = in.Word();
        t.wX = static_cast<uint16_t>(in.Below(w));
        t.wY = static_cast<uint16_t>(in.Below(h));
    }
    TEXTURE_PLANE plane;
    memset(&plane, 0, sizeof plane);
    plane.dwTexelNum = static_cast<uint32_t>(texels.size());
    plane.pTexels = texels.data();
    SetBitmapFromTexturePlane(s16.data(), static_cast<int32_t>(w * 2), &plane, 1);

    // Resampling between exact-size images of 1 to 4 bytes per pixel.
    const uint32_t bpp = 1 + in.Below(4), wb = in.Below(80), hb = in.Below(80);
    std::vector<uint8_t> a(static_cast<size_t>(w) * h * bpp), b(static_cast<size_t>(wb) * hb * bpp);
    for (uint8_t& v : b) v = in.Byte();
    CHECK(ResizeImage(a.data(), w, h, b.data(), wb, hb, bpp) == 1);

    std::vector<uint8_t> map(static_cast<size_t>(w) * h);
    Create8BitsAttenuationMap(map.data(), w, h, static_cast<int32_t>(in.Word()));
    uint32_t pow2 = 0;
    const uint32_t value = in.Word() & 0x7FFFFFFF;
    Set2PowValueLess(&pow2, value);
    CHECK(pow2 >= 2 && (pow2 & (pow2 - 1)) == 0 && (value < 2 || pow2 <= value) && (pow2 > value / 2 || value < 4));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzInput in(data, size);
    if (in.Byte() & 1) DriveText(in);
    else DriveImage(in);
    return 0;
}
