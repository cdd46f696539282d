// Narrow-string routines: ASCII lower-casing, file-name splitting, line break removal.
#include <string.h>

#include "gevrast/text.h"

namespace {

inline bool upper(char c) { return c >= 'A' && c <= 'Z'; }

inline bool separator(char c) { return c == '\\' || c == '/'; }

// Position just after the last separator, 0 when there is none.
size_t after_last_separator(const char* path, size_t len)
{
    for (size_t i = len; i > 0; --i)
        if (separator(path[i - 1])) return i;
    return 0;
}

uint32_t copy_terminated(char* dest, const char* from, size_t count)
{
    memmove(dest, from, count);
    dest[count] = '\0';
    return static_cast<uint32_t>(count);
}

}  // namespace

GEVRAST_API(void) CharToSmallASCII(char* pDest, const char* pSrc, uint32_t dwLength)
{
    for (uint32_t i = 0; i < dwLength; ++i)
        if (upper(pSrc[i])) pDest[i] = static_cast<char>(pSrc[i] + 32);
}

GEVRAST_API(void) CharToSmallASCIILen(char* pDest, const char* pSrc)
{
    for (size_t i = 0; pSrc[i]; ++i)
        if (upper(pSrc[i])) pDest[i] = static_cast<char>(pSrc[i] + 32);
}

GEVRAST_API(uint32_t) GetExt(char* pDest, const char* pPath)
{
    const char* dot = strchr(pPath, '.');
    if (!dot) return static_cast<uint32_t>(strlen(pPath));
    return copy_terminated(pDest, dot, strlen(dot));
}

GEVRAST_API(uint32_t) RemoveExt(char* pDest, const char* pPath)
{
    const char* dot = strchr(pPath, '.');
    return copy_terminated(pDest, pPath, dot ? static_cast<size_t>(dot - pPath) : strlen(pPath));
}

GEVRAST_API(uint32_t) GetNamePath(char* pDest, const char* pPath)
{
    return copy_terminated(pDest, pPath, after_last_separator(pPath, strlen(pPath)));
}

GEVRAST_API(uint32_t) GetNameRemovePath(char* pDest, const char* pPath)
{
    if (!pDest || !pPath) return 0;
    const size_t len = strlen(pPath);
    const size_t start = after_last_separator(pPath, len);
    return copy_terminated(pDest, pPath + start, len - start);
}

GEVRAST_API(uint32_t) RemoveCRLF(char* pBuffer, uint32_t dwLength)
{
    uint32_t replaced = 0;
    for (uint32_t i = 0; i < dwLength; ++i) {
        if (pBuffer[i] == '\r' || pBuffer[i] == '\n' || pBuffer[i] == '\t') {
            pBuffer[i] = ' ';
            replaced = 1;
        }
    }
    return replaced;
}
