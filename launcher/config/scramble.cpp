#include "scramble.h"

#include <string.h>

namespace quenlor {

const char kConfigKey[] = "Rq7!vM2#pL9&zT4^wK8*nB3~hG6$cF1%";

namespace {

// The shift of byte j; sign +1 scrambles, -1 unscrambles.
void ShiftBody(uint8_t* body, uint32_t length, uint32_t divisor, int sign)
{
    const uint32_t key_length = static_cast<uint32_t>(strlen(kConfigKey));
    uint32_t k = 0;
    for (uint32_t j = 0; j < length; ++j) {
        // The key index advances before use, so byte 0 takes key character 1.
        k = (k < key_length - 1) ? k + 1 : 0;
        uint8_t shift = static_cast<uint8_t>(static_cast<uint8_t>(kConfigKey[k]) ^ static_cast<uint8_t>(j));
        if (j % divisor == 0) shift = static_cast<uint8_t>(shift + static_cast<uint8_t>(divisor));
        body[j] = static_cast<uint8_t>(body[j] + sign * shift);
    }
}

}  // namespace

void UnscrambleConfigBody(uint8_t* body, uint32_t length, uint32_t divisor)
{
    ShiftBody(body, length, divisor, -1);
}

void ScrambleConfigBody(uint8_t* body, uint32_t length, uint32_t divisor)
{
    ShiftBody(body, length, divisor, +1);
}

}  // namespace quenlor
