#include "gbk_text.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <iconv.h>
#endif

#include <stdint.h>

#include <vector>

namespace qlconfig {

#if defined(_WIN32)

namespace {

constexpr UINT kGbk = 936;

bool Convert(UINT from, UINT to, const std::string& in, std::string& out)
{
    out.clear();
    if (in.empty()) return true;
    int units = MultiByteToWideChar(from, MB_ERR_INVALID_CHARS, in.data(), static_cast<int>(in.size()), nullptr, 0);
    if (units <= 0) return false;
    std::wstring wide(static_cast<size_t>(units), L'\0');
    MultiByteToWideChar(from, MB_ERR_INVALID_CHARS, in.data(), static_cast<int>(in.size()), &wide[0], units);
    BOOL lossy = FALSE;
    BOOL* lossy_flag = to == CP_UTF8 ? nullptr : &lossy;
    DWORD flags = to == CP_UTF8 ? 0 : WC_NO_BEST_FIT_CHARS;
    int bytes = WideCharToMultiByte(to, flags, wide.data(), units, nullptr, 0, nullptr, lossy_flag);
    if (bytes <= 0 || lossy) return false;
    out.resize(static_cast<size_t>(bytes));
    WideCharToMultiByte(to, flags, wide.data(), units, &out[0], bytes, nullptr, lossy_flag);
    return !lossy;
}

}  // namespace

bool Utf8ToGbk(const std::string& utf8, std::string& gbk) { return Convert(CP_UTF8, kGbk, utf8, gbk); }
bool GbkToUtf8(const std::string& gbk, std::string& utf8) { return Convert(kGbk, CP_UTF8, gbk, utf8); }

#else

namespace {

bool Convert(const char* from, const char* to, const std::string& in, std::string& out)
{
    out.clear();
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1)) return false;
    std::vector<char> buffer(in.size() * 4 + 16);
    char* in_ptr = const_cast<char*>(in.data());
    size_t in_left = in.size();
    char* out_ptr = buffer.data();
    size_t out_left = buffer.size();
    size_t done = iconv(cd, &in_ptr, &in_left, &out_ptr, &out_left);
    iconv_close(cd);
    if (done == static_cast<size_t>(-1) || in_left != 0) return false;
    out.assign(buffer.data(), buffer.size() - out_left);
    return true;
}

}  // namespace

bool Utf8ToGbk(const std::string& utf8, std::string& gbk) { return Convert("UTF-8", "GBK", utf8, gbk); }
bool GbkToUtf8(const std::string& gbk, std::string& utf8) { return Convert("GBK", "UTF-8", gbk, utf8); }

#endif

std::wstring Utf8ToWide(const std::string& utf8)
{
    std::wstring wide;
    for (size_t i = 0; i < utf8.size();) {
        unsigned char lead = static_cast<unsigned char>(utf8[i]);
        size_t extra = lead < 0x80 ? 0 : lead < 0xE0 ? 1 : lead < 0xF0 ? 2 : 3;
        uint32_t cp = extra == 0 ? lead : extra == 1 ? (lead & 0x1F) : extra == 2 ? (lead & 0x0F) : (lead & 0x07);
        for (size_t k = 1; k <= extra && i + k < utf8.size(); ++k) cp = (cp << 6) | (utf8[i + k] & 0x3F);
        i += extra + 1;
        if (sizeof(wchar_t) == 2 && cp > 0xFFFF) {
            cp -= 0x10000;
            wide.push_back(static_cast<wchar_t>(0xD800 + (cp >> 10)));
            wide.push_back(static_cast<wchar_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            wide.push_back(static_cast<wchar_t>(cp));
        }
    }
    return wide;
}

std::string WideToUtf8(const std::wstring& wide)
{
    std::string utf8;
    for (size_t i = 0; i < wide.size(); ++i) {
        uint32_t cp = static_cast<uint32_t>(wide[i]);
        if (sizeof(wchar_t) == 2 && cp >= 0xD800 && cp < 0xDC00 && i + 1 < wide.size()) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (static_cast<uint32_t>(wide[++i]) - 0xDC00);
        }
        if (cp < 0x80) {
            utf8.push_back(static_cast<char>(cp));
        } else if (cp < 0x800) {
            utf8.push_back(static_cast<char>(0xC0 | (cp >> 6)));
            utf8.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else if (cp < 0x10000) {
            utf8.push_back(static_cast<char>(0xE0 | (cp >> 12)));
            utf8.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            utf8.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else {
            utf8.push_back(static_cast<char>(0xF0 | (cp >> 18)));
            utf8.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
            utf8.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            utf8.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        }
    }
    return utf8;
}

}  // namespace qlconfig
