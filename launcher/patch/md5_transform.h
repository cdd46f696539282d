// The two forms of the MD5 block compression: the portable one, and the register-allocated one
// for 32-bit x86 that both shipped and native builds use. They must agree on every block.
#pragma once

#include <stdint.h>

namespace quenlor {

void Md5TransformPortable(uint32_t chain[4], const uint8_t block[64]);

}  // namespace quenlor

#if defined(__i386__)
extern "C" void quenlor_md5_blocks_x86(uint32_t chain[4], const uint8_t* blocks, uint32_t count);
#endif
