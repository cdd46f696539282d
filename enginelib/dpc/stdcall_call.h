// The one place where the library calls a function it only knows by address and argument count.
#pragma once

#include <stdint.h>

extern "C" uint32_t gevrast_call_stdcall(const void* function, const uint32_t* args, uint32_t count);
