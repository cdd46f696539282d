// The launcher's files are 8-bit text in the system ANSI code page (GBK on the players' Chinese
// systems). In the product these ask Windows; the native build of the portable code uses GBK.
#pragma once

#include <stddef.h>

#include <string>

namespace quenlor {

bool IsAnsiLeadByte(unsigned char byte);

// Empty when the bytes do not convert.
std::wstring AnsiToWide(const char* bytes, size_t count);

// The ANSI bytes of a wide text. A character the code page cannot hold becomes '?' in the product
// (the system's default character); exact is cleared then, so callers that must not guess can
// refuse the text.
std::string WideToAnsi(const std::wstring& wide, bool* exact = nullptr);

}  // namespace quenlor
