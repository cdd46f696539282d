#include "manifest_path.h"

#include <wctype.h>

namespace quenlor {

namespace {

bool IsSeparator(wchar_t ch) { return ch == L'\\' || ch == L'/'; }

// Windows drops trailing dots and spaces from a component, so "..." and ". ." climb like "..".
bool IsDotsAndSpacesOnly(const std::wstring& component)
{
    return component.find_first_not_of(L". ") == std::wstring::npos;
}

// Device names open the device, not a file in the folder, with or without an extension.
bool IsDeviceName(const std::wstring& component)
{
    std::wstring stem = component.substr(0, component.find(L'.'));
    while (!stem.empty() && stem.back() == L' ') stem.pop_back();
    for (wchar_t& ch : stem) ch = static_cast<wchar_t>(towupper(ch));
    static const wchar_t* const kDevices[] = {L"CON", L"PRN", L"AUX", L"NUL", L"CONIN$", L"CONOUT$"};
    for (const wchar_t* device : kDevices) {
        if (stem == device) return true;
    }
    if (stem.size() == 4 && (stem.compare(0, 3, L"COM") == 0 || stem.compare(0, 3, L"LPT") == 0)) {
        return stem[3] >= L'0' && stem[3] <= L'9';
    }
    return false;
}

}  // namespace

bool IsSafeManifestPath(const std::wstring& path)
{
    if (path.size() < 2 || path[0] != L'\\' || IsSeparator(path.back())) return false;
    size_t start = 1;
    while (start <= path.size()) {
        size_t end = start;
        while (end < path.size() && !IsSeparator(path[end])) ++end;
        std::wstring component = path.substr(start, end - start);
        // An empty component ("\a\\b") is collapsed by Windows once appended to the folder.
        if (!component.empty()) {
            if (IsDotsAndSpacesOnly(component) || IsDeviceName(component)) return false;
            for (wchar_t ch : component) {
                if (ch == L':' || ch < 0x20) return false;
            }
        }
        start = end + 1;
    }
    return true;
}

}  // namespace quenlor
