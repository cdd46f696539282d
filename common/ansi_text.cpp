#include "ansi_text.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <iconv.h>
#endif

#include <vector>

namespace quenlor {

#if defined(_WIN32)

bool IsAnsiLeadByte(unsigned char byte)
{
    return IsDBCSLeadByte(byte) != FALSE;
}

std::wstring CodePageToWide(unsigned codePage, const char* bytes, size_t count)
{
    if (count == 0) return std::wstring();
    int units = MultiByteToWideChar(codePage, 0, bytes, static_cast<int>(count), nullptr, 0);
    if (units <= 0) return std::wstring();
    std::wstring wide(static_cast<size_t>(units), L'\0');
    MultiByteToWideChar(codePage, 0, bytes, static_cast<int>(count), &wide[0], units);
    return wide;
}

std::string WideToCodePage(unsigned codePage, const std::wstring& wide, bool* exact)
{
    if (exact) *exact = true;
    if (wide.empty()) return std::string();
    // No "default character used" flag: under UTF-8 (and UTF-7 and a few others) the system
    // refuses the whole conversion when asked for it. Whether the bytes stand for exactly this
    // text is told by reading them back instead, which also catches a nearest-character match.
    int bytes = WideCharToMultiByte(codePage, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
    if (bytes <= 0) {
        if (exact) *exact = false;
        return std::string();
    }
    std::string ansi(static_cast<size_t>(bytes), '\0');
    WideCharToMultiByte(codePage, 0, wide.data(), static_cast<int>(wide.size()), &ansi[0], bytes, nullptr, nullptr);
    if (exact) *exact = CodePageToWide(codePage, ansi.data(), ansi.size()) == wide;
    return ansi;
}

std::wstring AnsiToWide(const char* bytes, size_t count)
{
    return CodePageToWide(CP_ACP, bytes, count);
}

std::string WideToAnsi(const std::wstring& wide, bool* exact)
{
    return WideToCodePage(CP_ACP, wide, exact);
}

#else

bool IsAnsiLeadByte(unsigned char byte)
{
    return byte >= 0x81 && byte <= 0xFE;  // GBK lead bytes
}

std::wstring AnsiToWide(const char* bytes, size_t count)
{
    if (count == 0) return std::wstring();
    iconv_t cd = iconv_open("WCHAR_T", "GBK");
    if (cd == reinterpret_cast<iconv_t>(-1)) return std::wstring();
    std::vector<wchar_t> out(count + 1);
    char* in = const_cast<char*>(bytes);
    size_t in_left = count;
    char* out_ptr = reinterpret_cast<char*>(out.data());
    size_t out_left = out.size() * sizeof(wchar_t);
    size_t done = iconv(cd, &in, &in_left, &out_ptr, &out_left);
    iconv_close(cd);
    if (done == static_cast<size_t>(-1)) return std::wstring();
    return std::wstring(out.data(), (out.size() * sizeof(wchar_t) - out_left) / sizeof(wchar_t));
}

std::string WideToAnsi(const std::wstring& wide, bool* exact)
{
    if (exact) *exact = true;
    std::string ansi;
    if (wide.empty()) return ansi;
    iconv_t cd = iconv_open("GBK", "WCHAR_T");
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        if (exact) *exact = false;
        return ansi;
    }
    // One character at a time, so an unconvertible one becomes '?' as the system converter does.
    for (wchar_t ch : wide) {
        char out[8];
        char* in = reinterpret_cast<char*>(&ch);
        size_t in_left = sizeof(ch);
        char* out_ptr = out;
        size_t out_left = sizeof(out);
        if (iconv(cd, &in, &in_left, &out_ptr, &out_left) == static_cast<size_t>(-1)) {
            iconv(cd, nullptr, nullptr, nullptr, nullptr);
            ansi.push_back('?');
            if (exact) *exact = false;
        } else {
            ansi.append(out, sizeof(out) - out_left);
        }
    }
    iconv_close(cd);
    return ansi;
}

#endif

}  // namespace quenlor
