// The launcher's files are 8-bit text in the system ANSI code page (GBK on the players' Chinese
// systems). In the product these ask Windows; the native build of the portable code uses GBK.
#pragma once

#include <stddef.h>

#include <string>

namespace quenlor {

bool IsAnsiLeadByte(unsigned char byte);

// Empty when the bytes do not convert.
std::wstring AnsiToWide(const char* bytes, size_t count);

// The ANSI bytes of a wide text. A character the code page cannot hold becomes the code page's
// nearest or default character; exact is cleared then (the bytes do not read back as the text),
// so callers that must not guess can refuse the text.
std::string WideToAnsi(const std::wstring& wide, bool* exact = nullptr);

#if defined(_WIN32)
// The same for any code page; the two above pass the system's ANSI code page (CP_ACP), which a
// player may have set to UTF-8 (65001).
std::wstring CodePageToWide(unsigned codePage, const char* bytes, size_t count);
std::string WideToCodePage(unsigned codePage, const std::wstring& wide, bool* exact = nullptr);
#endif

}  // namespace quenlor
