// The announced length of an HTTP body, read from the header's text rather than through the
// system's numeric query: that query keeps only 32 bits, so a length of 4 GiB and more would come
// back shortened and a body could be cut at the wrong place and replace a file.
#pragma once

#include <stdint.h>

#include <string>

namespace quenlor {

// Decimal digits with optional spaces or tabs around them, at most 4 GiB - 1. False for anything
// else (empty, a sign, other characters, a list of values, a larger number).
bool ParseContentLength(const std::wstring& headerText, uint32_t& length);

}  // namespace quenlor
