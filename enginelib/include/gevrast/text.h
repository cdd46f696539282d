// Narrow-string routines for file handling: ASCII lower-casing, file-name splitting and line
// break removal. Pointers are not checked (except by GetNameRemovePath); the caller sizes every
// destination.
#pragma once

#include "gevrast/api.h"

// Lower-cases 'A'..'Z' into the destination; other positions of the destination are not
// written, so in place (pDest == pSrc) only the letters change.
GEVRAST_API(void) CharToSmallASCII(char* pDest, const char* pSrc, uint32_t dwLength);
// The same up to the source's NUL, which is not copied.
GEVRAST_API(void) CharToSmallASCIILen(char* pDest, const char* pSrc);
// Copies from the first '.' (included) to the end and returns its length; without a dot the
// destination is untouched and the path length is returned.
GEVRAST_API(uint32_t) GetExt(char* pDest, const char* pPath);
// Copies what precedes the first '.' (everything without one); returns its length.
GEVRAST_API(uint32_t) RemoveExt(char* pDest, const char* pPath);
// Copies up to and including the last '\\' or '/'; returns its length (0 and "" without one).
GEVRAST_API(uint32_t) GetNamePath(char* pDest, const char* pPath);
// Copies what follows the last '\\' or '/' (the whole path without one); returns its length,
// 0 when either pointer is null.
GEVRAST_API(uint32_t) GetNameRemovePath(char* pDest, const char* pPath);
// Replaces CR, LF and tab within the first dwLength bytes by spaces; 1 if any was replaced.
GEVRAST_API(uint32_t) RemoveCRLF(char* pBuffer, uint32_t dwLength);
