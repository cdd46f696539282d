// The WinINet session a file's transfer runs on and the request it makes, as the launcher does it
// for every file; the per-file probe measures the same calls.
#pragma once

#include "body_transfer.h"
#include "internet_session.h"

#include <memory>
#include <string>

namespace quenlor {

// A session of its own with every transfer time-out set. Throws winfx::CInternetException when
// WinINet cannot be opened.
std::unique_ptr<winfx::CInternetSession> OpenDownloadSession();

// The file at url, fetched from the server itself (never a cache) as binary. Throws as OpenURL.
std::unique_ptr<winfx::CHttpFile> OpenDownload(winfx::CInternetSession& session, const std::wstring& url);

// The opened URL as the body receiver reads it; a failed read raises, like the framework's file.
class HttpBodySource : public BodySource {
public:
    explicit HttpBodySource(winfx::CHttpFile& file) : file_(file) {}
    int32_t Read(void* buffer, uint32_t capacity) override { return static_cast<int32_t>(file_.Read(buffer, capacity)); }

private:
    winfx::CHttpFile& file_;
};

}  // namespace quenlor
