// Reserved address space with memory committed on demand: the static memory pool reserves room
// for its maximum once and commits it in steps, so its units never move.
#pragma once

#include <stdint.h>

namespace gevrast {

// Reserves bytes of address space with nothing committed; null on failure or for 0 bytes.
void* reserve_address_space(uint32_t bytes);
// Commits [base + offset, base + offset + bytes) readable and writable, zero-filled where it was
// not committed before. Pages already committed keep their contents.
bool commit_address_space(void* base, uint32_t offset, uint32_t bytes);
// Gives a whole reservation back; everything committed in it goes with it.
void release_address_space(void* base, uint32_t bytes);

}  // namespace gevrast
