// The data port of a passive-mode answer. Both readers bound their digits before adding them up
// and stop at the end of the text, whatever the server sent.
#include "passive_reply.h"

namespace asyncftp {

int ParseEpsvPort(const std::string& text)
{
    const size_t bars = text.find("|||");
    if (bars == std::string::npos) return -1;
    int port = 0;
    size_t i = bars + 3, digits = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9' && digits < 6; ++i, ++digits)
        port = port * 10 + (text[i] - '0');
    if (digits == 0 || i >= text.size() || text[i] != '|' || port < 1 || port > 65535) return -1;
    return port;
}

int ParsePasvPort(const std::string& text)
{
    const size_t open = text.find('(');
    const char* p = open == std::string::npos ? text.c_str() : text.c_str() + open + 1;
    while (*p && (*p < '0' || *p > '9')) ++p;
    int n[6];
    for (int k = 0; k < 6; ++k) {
        if (*p < '0' || *p > '9') return -1;
        int value = 0, digits = 0;
        for (; *p >= '0' && *p <= '9'; ++p)
            if (++digits > 3 || (value = value * 10 + (*p - '0')) > 255) return -1;
        n[k] = value;
        if (k < 5 && *p++ != ',') return -1;
    }
    const int port = (n[4] << 8) | n[5];
    return port == 0 ? -1 : port;
}

}  // namespace asyncftp
