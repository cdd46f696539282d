// The scrambling of the launcher's .bin configuration files, shared by the launcher's reader and
// the operator tool that produces the files.
#pragma once

#include <stdint.h>

namespace quenlor {

// Byte j of a body is shifted by key[(j + 1) mod 32] XOR (j mod 256), and bytes whose index is a
// multiple of the divisor by the divisor as well. The header is never scrambled.
extern const char kConfigKey[];

constexpr uint32_t kConfigHeaderBytes = 12;  // reserved, divisor, length (little-endian)
constexpr uint32_t kConfigPaddingBytes = 2;  // after the header and after the body

// divisor must not be 0 unless length is 0.
void UnscrambleConfigBody(uint8_t* body, uint32_t length, uint32_t divisor);
void ScrambleConfigBody(uint8_t* body, uint32_t length, uint32_t divisor);

}  // namespace quenlor
