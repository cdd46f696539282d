#include "content_length.h"

namespace quenlor {

bool ParseContentLength(const std::wstring& headerText, uint32_t& length)
{
    size_t at = 0;
    const size_t end = headerText.size();
    while (at < end && (headerText[at] == L' ' || headerText[at] == L'\t')) ++at;
    uint64_t value = 0;
    size_t digits = 0;
    for (; at < end && headerText[at] >= L'0' && headerText[at] <= L'9'; ++at, ++digits) {
        value = value * 10 + static_cast<uint64_t>(headerText[at] - L'0');
        if (value > UINT32_MAX) return false;  // stops before the 64-bit value itself could wrap
    }
    while (at < end && (headerText[at] == L' ' || headerText[at] == L'\t')) ++at;
    if (digits == 0 || at != end) return false;
    length = static_cast<uint32_t>(value);
    return true;
}

}  // namespace quenlor
