// Image routines the game client uses around its renderer: 2-bit alpha masks, pixel format
// conversions, a light attenuation map, nearest-neighbour resampling, border outlines, TGA dumps
// and colour word packing. None keeps state or checks pointers: the caller owns every buffer and
// guarantees its size. Only WriteTGA allocates.
#pragma once

#include "gevrast/api.h"

// One texel handed to SetBitmapFromTexturePlane; only the colour and position are read.
typedef struct TEXEL_RECORD {
    uint32_t dwColor;        // A8R8G8B8
    uint8_t abUnused1[12];
    uint16_t wX;
    uint16_t wY;
    uint8_t abUnused2[16];
} TEXEL_RECORD;

// One texture plane; planes lie contiguously. Only the texel count and texel array are read.
typedef struct TEXTURE_PLANE {
    uint8_t abPlane[88];
    uint32_t dwTexelNum;
    TEXEL_RECORD* pTexels;   // dwTexelNum records
    uint32_t dwUnused;
} TEXTURE_PLANE;

#ifdef __cplusplus
static_assert(sizeof(TEXEL_RECORD) == 36, "TEXEL_RECORD is 36 bytes");
GEVRAST_LAYOUT32_ASSERT(sizeof(TEXTURE_PLANE) == 100, "TEXTURE_PLANE is 100 bytes");
#endif

// 2-bit images: four pixels per byte, pixel k of a byte in bits 2k and 2k+1. The byte of (x, y)
// is (x + y * w) >> 2 and the bit position comes from x alone, so w is a multiple of 4.
// Set stores value & 3; Add and Sub saturate at 3 and 0. dwUnused is not read.
GEVRAST_API(void) SetPixel2BitImage(uint8_t* pImage, uint32_t dwX, uint32_t dwY, uint32_t dwWidth, uint32_t dwUnused,
                                    uint32_t dwValue);
GEVRAST_API(void) AddPixel2BitImage(uint8_t* pImage, uint32_t dwX, uint32_t dwY, uint32_t dwWidth, uint32_t dwUnused,
                                    uint32_t dwValue);
GEVRAST_API(void) SubPixel2BitImage(uint8_t* pImage, uint32_t dwX, uint32_t dwY, uint32_t dwWidth, uint32_t dwUnused,
                                    uint32_t dwValue);
// Each source byte becomes four bytes value << 6 in reverse pixel order (pixel 3 first).
GEVRAST_API(void) Convert2BitTo8BitImage(uint8_t* pDest, const uint8_t* pSrc, uint32_t dwWidth, uint32_t dwHeight);
// The top two bits of each source byte, natural order.
GEVRAST_API(void) Convert8BitTo2BitImage(uint8_t* pDest, const uint8_t* pSrc, uint32_t dwWidth, uint32_t dwHeight);
// A4R4G4B4 with the 2-bit value doubled into the alpha nibble and white colour bits.
GEVRAST_API(void) Convert2BitTo16BitImageWithPitch(void* pDest, const uint8_t* pSrc, uint32_t dwWidth,
                                                   uint32_t dwHeight, int32_t lDestPitch);
// Writes every texel of every plane as R5G6B5 at its position; later texels win.
GEVRAST_API(void) SetBitmapFromTexturePlane(void* pSurface, int32_t lPitch, const TEXTURE_PLANE* pPlanes,
                                            uint32_t dwPlaneNum);
// 255 at the centre, falling with the square of the distance to 0 at the radius; only the
// interior is written, the outermost rows and columns are left as they are.
GEVRAST_API(void) Create8BitsAttenuationMap(uint8_t* pMap, uint32_t dwWidth, uint32_t dwHeight, int32_t lRadius);
// Nearest-neighbour scatter of every pixel of B into A; returns 1.
GEVRAST_API(uint32_t) ResizeImage(void* pImageA, uint32_t dwWidthA, uint32_t dwHeightA, const void* pImageB,
                                  uint32_t dwWidthB, uint32_t dwHeightB, uint32_t dwBytesPerPixel);
// A one-pixel frame of dwValue around a w x h surface.
GEVRAST_API(void) SetOutLineBorder2Bytes(void* pSurface, uint32_t dwWidth, uint32_t dwHeight, int32_t lPitch,
                                         uint32_t dwValue);
GEVRAST_API(void) SetOutLineBorder4Bytes(void* pSurface, uint32_t dwWidth, uint32_t dwHeight, int32_t lPitch,
                                         uint32_t dwValue);
// Dumps a top-down surface of 16 (R5G6B5), 24 or 32 bits per pixel as an uncompressed 24-bit
// TGA file. 1 when written, 0 when the file cannot be opened or the pixel buffer allocated.
GEVRAST_API(uint32_t) WriteTGA(const char* pszFileName, const void* pPixels, uint32_t dwWidth, uint32_t dwHeight,
                               int32_t lPitch, uint32_t dwBitsPerPixel);
// Components times 255, truncated, packed A << 24 | R << 16 | G << 8 | B; not clamped.
GEVRAST_API(uint32_t) COLORtoDWORD(float r, float g, float b, float a);
GEVRAST_API(void) DWORDtoCOLOR(uint32_t dwColor, float* pR, float* pG, float* pB, float* pA);
// The largest power of two not above dwValue, but at least 2; stored and returned.
GEVRAST_API(uint32_t) Set2PowValueLess(uint32_t* pResult, uint32_t dwValue);
