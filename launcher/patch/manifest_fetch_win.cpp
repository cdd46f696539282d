#include "manifest_fetch.h"

#include <windows.h>
#include <wininet.h>

#include <stdlib.h>

#include <new>
#include <stdexcept>
#include <vector>

#include "manifest.h"
#include "md5_ctx.h"

namespace {

class InternetHandle {
public:
    explicit InternetHandle(HINTERNET h) : h_(h) {}
    ~InternetHandle() { if (h_) InternetCloseHandle(h_); }
    InternetHandle(const InternetHandle&) = delete;
    InternetHandle& operator=(const InternetHandle&) = delete;
    HINTERNET get() const { return h_; }

private:
    HINTERNET h_;
};

}  // namespace

namespace quenlor {

bool FetchManifestText(const std::wstring& url, std::wstring& text)
{
    InternetHandle root(InternetOpenW(nullptr, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
    if (!root.get()) return false;
    InternetHandle file(InternetOpenUrlW(root.get(), url.c_str(), nullptr, 0, INTERNET_FLAG_RELOAD, 0));
    if (!file.get()) return false;

    wchar_t header[32] = {};
    DWORD header_bytes = sizeof(header);
    HttpQueryInfoW(file.get(), HTTP_QUERY_CONTENT_LENGTH, header, &header_bytes, nullptr);
    long length = _wtol(header);
    if (length < 0) throw std::length_error("negative Content-Length");

    std::vector<char> body(static_cast<size_t>(length) + 1, '\0');
    DWORD read = 0;
    // Nothing announced, nothing read: the manifest is empty.
    if (length > 0 && !InternetReadFile(file.get(), body.data(), static_cast<DWORD>(length), &read)) return false;
    text = ManifestTextFromBody(body.data(), body.size());
    return true;
}

}  // namespace quenlor

bool MD5_CTX::GetUpdateInfo(std::wstring url)
{
    try {
        std::wstring text;
        if (!quenlor::FetchManifestText(url, text)) return false;
        m_strUpdateInfo = text;
        return true;
    } catch (...) {
        MessageBoxW(nullptr, L"网络异常，获取更新信息失败", L"错误", MB_OK);
        return false;
    }
}
