// WriteTGA: dumps a surface as an uncompressed 24-bit TGA file with a bottom-left origin.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#if defined(_WIN32)
#include <share.h>
#endif

#include "gevrast/image.h"

namespace {

constexpr size_t kHeaderBytes = 18;

FILE* open_shared(const char* name)
{
#if defined(_WIN32)
    // Binary, and other readers and writers may keep the file open meanwhile.
    return _fsopen(name, "wb", _SH_DENYNO);
#else
    return fopen(name, "wb");
#endif
}

void put_u16(uint8_t* at, uint32_t v)
{
    at[0] = static_cast<uint8_t>(v);
    at[1] = static_cast<uint8_t>(v >> 8);
}

// One source row to B, G, R triples.
void convert_row(uint8_t* out, const uint8_t* in, uint32_t w, uint32_t bits)
{
    switch (bits) {
    case 16:
        for (uint32_t x = 0; x < w; ++x, in += 2, out += 3) {
            const uint32_t p = static_cast<uint32_t>(in[0] | in[1] << 8);
            out[0] = static_cast<uint8_t>(p << 3);
            out[1] = static_cast<uint8_t>((p >> 3) & 0xFC);
            out[2] = static_cast<uint8_t>((p >> 8) & 0xF8);
        }
        break;
    case 24:
        memcpy(out, in, static_cast<size_t>(w) * 3);
        break;
    case 32:
        for (uint32_t x = 0; x < w; ++x, in += 4, out += 3) memcpy(out, in, 3);
        break;
    default:
        break;  // other depths: the row stays zero
    }
}

}  // namespace

GEVRAST_API(uint32_t) WriteTGA(const char* pszFileName, const void* pPixels, uint32_t dwWidth, uint32_t dwHeight,
                               int32_t lPitch, uint32_t dwBitsPerPixel)
{
    FILE* file = open_shared(pszFileName);
    if (!file) return 0;

    uint8_t header[kHeaderBytes] = {};
    header[2] = 2;  // uncompressed true-colour
    put_u16(header + 12, dwWidth);
    put_u16(header + 14, dwHeight);
    header[16] = 24;
    header[17] = 0;  // bottom-left origin, no alpha bits

    const size_t row_bytes = static_cast<size_t>(dwWidth) * 3;
    const uint64_t area = static_cast<uint64_t>(row_bytes) * dwHeight;
    uint8_t* pixels = area <= SIZE_MAX ? static_cast<uint8_t*>(calloc(area ? static_cast<size_t>(area) : 1, 1)) : nullptr;
    if (!pixels) {
        fclose(file);
        return 0;
    }
    // The file stores the last row first, so a top-down surface is read from its bottom row up.
    const uint8_t* src = static_cast<const uint8_t*>(pPixels);
    for (uint32_t i = 0; i < dwHeight; ++i) {
        const uint8_t* in = src + static_cast<intptr_t>(dwHeight - 1 - i) * lPitch;
        convert_row(pixels + i * row_bytes, in, dwWidth, dwBitsPerPixel);
    }
    fwrite(header, 1, sizeof(header), file);
    if (area) fwrite(pixels, 1, static_cast<size_t>(area), file);
    free(pixels);
    fclose(file);
    return 1;
}
