#include "download_info.h"

#include <time.h>

namespace quenlor {

std::wstring MakeLocalPath(const std::wstring& curDir, const std::wstring& manifestPath)
{
    return curDir + manifestPath;
}

std::wstring MakeDownloadUrl(const std::wstring& upUrl, const std::wstring& manifestPath, int64_t unixSeconds)
{
    std::wstring path = manifestPath;
    for (wchar_t& ch : path) {
        if (ch == L'\\') ch = L'/';
    }
    return upUrl + path + L"?abc=" + std::to_wstring(static_cast<long long>(unixSeconds));
}

std::wstring MakeDownloadUrl(const std::wstring& upUrl, const std::wstring& manifestPath)
{
    return MakeDownloadUrl(upUrl, manifestPath, static_cast<int64_t>(time(nullptr)));
}

std::wstring MakeManifestUrl(const std::wstring& upUrl)
{
    return upUrl + L"/MyUpdata.txt";
}

}  // namespace quenlor
