// 2-bit masks, pixel format conversions, the attenuation map, resampling, border outlines and
// colour words.
#include <stdint.h>
#include <string.h>

#include "gevrast/image.h"

namespace {

// Rounds to single precision. Without SSE arithmetic the compiler may keep intermediates in
// extended precision, and a truncation right after can then land one below the single-precision
// result (85.0 computed as 84.999...).
inline float single(float v)
{
    volatile float s = v;
    return s;
}

// The byte and the shift of pixel (x, y); the shift comes from x alone.
inline uint8_t* locate(uint8_t* image, uint32_t x, uint32_t y, uint32_t w, unsigned* shift)
{
    *shift = (x & 3) * 2;
    return image + ((x + y * w) >> 2);
}

inline void store2(uint8_t* byte, unsigned shift, uint32_t v)
{
    *byte = static_cast<uint8_t>((*byte & ~(3u << shift)) | (v << shift));
}

inline uint8_t* row(void* base, uint32_t y, int32_t pitch)
{
    return static_cast<uint8_t*>(base) + static_cast<intptr_t>(y) * pitch;
}

// float to unsigned with the truncation of a 32-bit conversion; only the low bits are kept, so
// out-of-range components wrap instead of being clamped.
inline uint32_t truncate_to_u32(float v)
{
    if (!(v > -9.2e18f && v < 9.2e18f)) return 0;  // NaN or beyond any 64-bit value
    return static_cast<uint32_t>(static_cast<int64_t>(v));
}

}  // namespace

GEVRAST_API(void) SetPixel2BitImage(uint8_t* pImage, uint32_t dwX, uint32_t dwY, uint32_t dwWidth, uint32_t,
                                    uint32_t dwValue)
{
    unsigned shift;
    uint8_t* byte = locate(pImage, dwX, dwY, dwWidth, &shift);
    store2(byte, shift, dwValue & 3);
}

GEVRAST_API(void) AddPixel2BitImage(uint8_t* pImage, uint32_t dwX, uint32_t dwY, uint32_t dwWidth, uint32_t,
                                    uint32_t dwValue)
{
    unsigned shift;
    uint8_t* byte = locate(pImage, dwX, dwY, dwWidth, &shift);
    uint32_t sum = ((*byte >> shift) & 3) + (dwValue & 3);
    store2(byte, shift, sum & 4 ? 3 : sum);
}

GEVRAST_API(void) SubPixel2BitImage(uint8_t* pImage, uint32_t dwX, uint32_t dwY, uint32_t dwWidth, uint32_t,
                                    uint32_t dwValue)
{
    unsigned shift;
    uint8_t* byte = locate(pImage, dwX, dwY, dwWidth, &shift);
    const uint32_t old = (*byte >> shift) & 3;
    const uint32_t v = dwValue & 3;
    store2(byte, shift, old > v ? old - v : 0);
}

GEVRAST_API(void) Convert2BitTo8BitImage(uint8_t* pDest, const uint8_t* pSrc, uint32_t dwWidth, uint32_t dwHeight)
{
    const uint32_t bytes = (dwWidth * dwHeight) >> 2;
    for (uint32_t i = 0; i < bytes; ++i, pDest += 4) {
        const uint8_t s = pSrc[i];
        // Reverse pixel order within the group: pixel 3 lands first.
        pDest[0] = static_cast<uint8_t>((s >> 6 & 3) << 6);
        pDest[1] = static_cast<uint8_t>((s >> 4 & 3) << 6);
        pDest[2] = static_cast<uint8_t>((s >> 2 & 3) << 6);
        pDest[3] = static_cast<uint8_t>((s & 3) << 6);
    }
}

GEVRAST_API(void) Convert8BitTo2BitImage(uint8_t* pDest, const uint8_t* pSrc, uint32_t dwWidth, uint32_t dwHeight)
{
    const uint32_t bytes = (dwWidth * dwHeight) >> 2;
    for (uint32_t i = 0; i < bytes; ++i, pSrc += 4)
        pDest[i] = static_cast<uint8_t>((pSrc[0] >> 6) | (pSrc[1] >> 6) << 2 | (pSrc[2] >> 6) << 4 | (pSrc[3] >> 6) << 6);
}

GEVRAST_API(void) Convert2BitTo16BitImageWithPitch(void* pDest, const uint8_t* pSrc, uint32_t dwWidth,
                                                   uint32_t dwHeight, int32_t lDestPitch)
{
    static const uint16_t kPixel[4] = {0x0FFF, 0x5FFF, 0xAFFF, 0xFFFF};  // ((v << 2 | v) << 12) | 0xFFF
    const uint32_t bytes_per_row = dwWidth >> 2;
    for (uint32_t y = 0; y < dwHeight; ++y) {
        uint8_t* out = row(pDest, y, lDestPitch);
        for (uint32_t i = 0; i < bytes_per_row; ++i, out += 8) {
            const uint8_t s = *pSrc++;
            const uint16_t px[4] = {kPixel[s & 3], kPixel[s >> 2 & 3], kPixel[s >> 4 & 3], kPixel[s >> 6]};
            memcpy(out, px, sizeof(px));
        }
    }
}

GEVRAST_API(void) SetBitmapFromTexturePlane(void* pSurface, int32_t lPitch, const TEXTURE_PLANE* pPlanes,
                                            uint32_t dwPlaneNum)
{
    for (uint32_t p = 0; p < dwPlaneNum; ++p) {
        const TEXTURE_PLANE& plane = pPlanes[p];
        for (uint32_t t = 0; t < plane.dwTexelNum; ++t) {
            const TEXEL_RECORD& texel = plane.pTexels[t];
            const uint32_t c = texel.dwColor;
            const uint16_t px = static_cast<uint16_t>(((c >> 8) & 0xF800) | ((c >> 5) & 0x07E0) | ((c >> 3) & 0x001F));
            memcpy(row(pSurface, texel.wY, lPitch) + 2u * texel.wX, &px, sizeof(px));
        }
    }
}

GEVRAST_API(void) Create8BitsAttenuationMap(uint8_t* pMap, uint32_t dwWidth, uint32_t dwHeight, int32_t lRadius)
{
    if (dwWidth < 3 || dwHeight < 3) return;  // no interior
    // Squares in wrapping 32-bit arithmetic, as signed results.
    const int32_t r2 = static_cast<int32_t>(static_cast<uint32_t>(lRadius) * static_cast<uint32_t>(lRadius));
    const float fr2 = static_cast<float>(r2);
    const int32_t cx = static_cast<int32_t>(dwWidth >> 1);
    const int32_t cy = static_cast<int32_t>(dwHeight >> 1);
    for (uint32_t y = 1; y + 1 < dwHeight; ++y) {
        const uint32_t dy = static_cast<uint32_t>(cy - static_cast<int32_t>(y));
        uint8_t* line = pMap + y * dwWidth;
        for (uint32_t x = 1; x + 1 < dwWidth; ++x) {
            const uint32_t dx = static_cast<uint32_t>(cx - static_cast<int32_t>(x));
            const int32_t d2 = static_cast<int32_t>(dx * dx + dy * dy);
            if (d2 < r2) {
                const int32_t left = static_cast<int32_t>(static_cast<uint32_t>(r2) - static_cast<uint32_t>(d2));
                const float ratio = single(static_cast<float>(left) / fr2);
                line[x] = static_cast<uint8_t>(static_cast<int32_t>(single(ratio * 255.0f)));
            } else {
                line[x] = 0;
            }
        }
    }
}

GEVRAST_API(uint32_t) ResizeImage(void* pImageA, uint32_t dwWidthA, uint32_t dwHeightA, const void* pImageB,
                                  uint32_t dwWidthB, uint32_t dwHeightB, uint32_t dwBytesPerPixel)
{
    if (dwWidthB == 0 || dwHeightB == 0) return 1;
    const float sx = single(static_cast<float>(dwWidthA) / static_cast<float>(dwWidthB));
    const float sy = single(static_cast<float>(dwHeightA) / static_cast<float>(dwHeightB));
    uint8_t* a = static_cast<uint8_t*>(pImageA);
    const uint8_t* b = static_cast<const uint8_t*>(pImageB);
    for (uint32_t y = 0; y < dwHeightB; ++y) {
        const uint32_t ty = static_cast<uint32_t>(single(static_cast<float>(y) * sy));
        for (uint32_t x = 0; x < dwWidthB; ++x, b += dwBytesPerPixel) {
            const uint32_t tx = static_cast<uint32_t>(single(static_cast<float>(x) * sx));
            memcpy(a + (tx + ty * dwWidthA) * dwBytesPerPixel, b, dwBytesPerPixel);
        }
    }
    return 1;
}

GEVRAST_API(void) SetOutLineBorder2Bytes(void* pSurface, uint32_t dwWidth, uint32_t dwHeight, int32_t lPitch,
                                         uint32_t dwValue)
{
    if (dwWidth == 0 || dwHeight == 0) return;  // no pixels: row h-1 and column w-1 lie outside
    const uint16_t v = static_cast<uint16_t>(dwValue);
    uint16_t* top = reinterpret_cast<uint16_t*>(row(pSurface, 0, lPitch));
    uint16_t* bottom = reinterpret_cast<uint16_t*>(row(pSurface, dwHeight - 1, lPitch));
    for (uint32_t x = 0; x < dwWidth; ++x) top[x] = v;
    for (uint32_t x = 0; x < dwWidth; ++x) bottom[x] = v;
    for (uint32_t y = 0; y < dwHeight; ++y) {
        uint16_t* line = reinterpret_cast<uint16_t*>(row(pSurface, y, lPitch));
        line[0] = v;
        line[dwWidth - 1] = v;
    }
}

GEVRAST_API(void) SetOutLineBorder4Bytes(void* pSurface, uint32_t dwWidth, uint32_t dwHeight, int32_t lPitch,
                                         uint32_t dwValue)
{
    if (dwWidth == 0 || dwHeight == 0) return;  // no pixels: row h-1 and column w-1 lie outside
    uint32_t* top = reinterpret_cast<uint32_t*>(row(pSurface, 0, lPitch));
    uint32_t* bottom = reinterpret_cast<uint32_t*>(row(pSurface, dwHeight - 1, lPitch));
    for (uint32_t x = 0; x < dwWidth; ++x) top[x] = dwValue;
    for (uint32_t x = 0; x < dwWidth; ++x) bottom[x] = dwValue;
    for (uint32_t y = 0; y < dwHeight; ++y) {
        uint32_t* line = reinterpret_cast<uint32_t*>(row(pSurface, y, lPitch));
        line[0] = dwValue;
        line[dwWidth - 1] = dwValue;
    }
}

GEVRAST_API(uint32_t) COLORtoDWORD(float r, float g, float b, float a)
{
    const uint32_t ir = truncate_to_u32(single(r * 255.0f)) & 0xFF;
    const uint32_t ig = truncate_to_u32(single(g * 255.0f)) & 0xFF;
    const uint32_t ib = truncate_to_u32(single(b * 255.0f)) & 0xFF;
    const uint32_t ia = truncate_to_u32(single(a * 255.0f)) & 0xFF;
    return ia << 24 | ir << 16 | ig << 8 | ib;
}

GEVRAST_API(void) DWORDtoCOLOR(uint32_t dwColor, float* pR, float* pG, float* pB, float* pA)
{
    *pA = single(static_cast<float>(dwColor >> 24) / 255.0f);
    *pR = single(static_cast<float>(dwColor >> 16 & 0xFF) / 255.0f);
    *pG = single(static_cast<float>(dwColor >> 8 & 0xFF) / 255.0f);
    *pB = single(static_cast<float>(dwColor & 0xFF) / 255.0f);
}

GEVRAST_API(uint32_t) Set2PowValueLess(uint32_t* pResult, uint32_t dwValue)
{
    // Doubling from 2 until the candidate exceeds the value; half of it is the answer.
    uint32_t candidate = 2;
    while (candidate <= dwValue && candidate < 0x80000000u) candidate <<= 1;
    const uint32_t result = candidate > dwValue ? candidate >> 1 : candidate;
    *pResult = result < 2 ? 2 : result;
    return *pResult;
}
