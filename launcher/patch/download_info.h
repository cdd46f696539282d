// Where each wanted manifest path is fetched from and written to.
#pragma once

#include <stdint.h>

#include <string>

// One file's transfer: handed by value to its transfer thread.
struct DownLoadInfo {
    std::wstring strUrl;       // full URL, query included
    std::wstring strFilePath;  // full local file name
    std::wstring strMD5;       // the manifest's digest of the file: the body must have it
};

namespace quenlor {

// The client folder followed directly by the manifest path.
std::wstring MakeLocalPath(const std::wstring& curDir, const std::wstring& manifestPath);

// The patch server URL, the path with slashes, then "?abc=<seconds>" so no cache answers it.
std::wstring MakeDownloadUrl(const std::wstring& upUrl, const std::wstring& manifestPath, int64_t unixSeconds);
// The same at the current time.
std::wstring MakeDownloadUrl(const std::wstring& upUrl, const std::wstring& manifestPath);

// The manifest's location: the patch server URL followed by "/MyUpdata.txt", no query.
std::wstring MakeManifestUrl(const std::wstring& upUrl);

}  // namespace quenlor
