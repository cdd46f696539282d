#include "download_session.h"

namespace quenlor {
namespace {

constexpr DWORD kTransferTimeoutMs = 20000;

}  // namespace

std::unique_ptr<winfx::CInternetSession> OpenDownloadSession()
{
    std::unique_ptr<winfx::CInternetSession> session(
        new winfx::CInternetSession(L"lpload", 1, INTERNET_OPEN_TYPE_PRECONFIG));
    for (DWORD option : {INTERNET_OPTION_CONNECT_TIMEOUT, INTERNET_OPTION_CONTROL_SEND_TIMEOUT,
                         INTERNET_OPTION_CONTROL_RECEIVE_TIMEOUT, INTERNET_OPTION_DATA_SEND_TIMEOUT,
                         INTERNET_OPTION_DATA_RECEIVE_TIMEOUT})
        session->SetOption(option, kTransferTimeoutMs);
    return session;
}

std::unique_ptr<winfx::CHttpFile> OpenDownload(winfx::CInternetSession& session, const std::wstring& url)
{
    return session.OpenURL(url.c_str(), 1,
                           INTERNET_FLAG_RELOAD | INTERNET_FLAG_DONT_CACHE | INTERNET_FLAG_TRANSFER_BINARY);
}

}  // namespace quenlor
