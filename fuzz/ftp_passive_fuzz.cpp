// libFuzzer harness for the FTP layer's passive-mode answer readers: any text a server may send
// after 229 or 227. The port given must be one the text states: an EPSV port is the digits right
// after "|||", a PASV port the last two of six numbers; every refusal is -1.
#include <stdint.h>

#include <string>

#include "fuzz_input.h"
#include "passive_reply.h"

namespace {

// Reads a decimal number at `at`, digits only, without bound (the harness's own, simpler reader).
unsigned long long ReadNumber(const std::string& text, size_t& at, size_t& digits)
{
    unsigned long long value = 0;
    for (digits = 0; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at, ++digits)
        if (value < 1000000) value = value * 10 + static_cast<unsigned>(text[at] - '0');
    return value;
}

void CheckEpsv(const std::string& text)
{
    const int port = asyncftp::ParseEpsvPort(text);
    if (port == -1) return;
    CHECK(port >= 1 && port <= 65535);
    size_t at = text.find("|||");
    CHECK(at != std::string::npos);
    at += 3;
    size_t digits = 0;
    CHECK(ReadNumber(text, at, digits) == static_cast<unsigned long long>(port));
    CHECK(digits >= 1 && digits <= 6 && at < text.size() && text[at] == '|');
}

void CheckPasv(const std::string& text)
{
    const int port = asyncftp::ParsePasvPort(text);
    if (port == -1) return;
    CHECK(port >= 1 && port <= 65535);
    // The numbers begin at the first digit after the first '(' (or at the first digit at all)
    // and end before the next NUL, as a C string would.
    const size_t open = text.find('(');
    const std::string c(text.c_str() + (open == std::string::npos ? 0 : open + 1));
    size_t at = c.find_first_of("0123456789");
    CHECK(at != std::string::npos);
    unsigned long long n[6];
    for (int k = 0; k < 6; ++k) {
        size_t digits = 0;
        n[k] = ReadNumber(c, at, digits);
        CHECK(digits >= 1 && digits <= 3 && n[k] <= 255);
        if (k < 5) CHECK(at < c.size() && c[at++] == ',');
    }
    CHECK(static_cast<unsigned long long>(port) == (n[4] << 8 | n[5]));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    CheckEpsv(text);
    CheckPasv(text);
    return 0;
}
