// Fetching the update manifest over WinINet (the launcher's side; Windows only).
#pragma once

#include <string>

namespace quenlor {

// One synchronous GET of url, bypassing the cache. Returns false when WinINet cannot be opened,
// the URL cannot be opened or the read fails. Reads exactly the Content-Length bytes (none when
// the header is missing), whatever the status code, and gives the ANSI text up to the first NUL.
// Throws when the announced length cannot be held (negative or beyond memory).
bool FetchManifestText(const std::wstring& url, std::wstring& text);

}  // namespace quenlor
