// CInternetSession and CHttpFile: a WinINet session and one opened URL, with failures raised as
// CInternetException so a transfer can keep its whole body inside one catch-all.
#pragma once

#include <windows.h>
#include <wininet.h>

#include <memory>
#include <string>

namespace winfx {

class CInternetException {
public:
    explicit CInternetException(DWORD error) : m_dwError(error) {}
    DWORD m_dwError;
};

class CHttpFile {
public:
    explicit CHttpFile(HINTERNET handle) : m_hFile(handle) {}
    ~CHttpFile() { Close(); }
    CHttpFile(const CHttpFile&) = delete;
    CHttpFile& operator=(const CHttpFile&) = delete;

    // False when the response carries no status line.
    BOOL QueryInfoStatusCode(DWORD& status) const;
    // A numeric header (HTTP_QUERY_FLAG_NUMBER is added); false, value untouched, when absent.
    BOOL QueryInfo(DWORD level, DWORD& value) const;
    // A header as the server wrote it; false, value untouched, when absent.
    BOOL QueryInfo(DWORD level, std::wstring& value) const;
    // Bytes read, 0 at the end of the body; throws when the connection fails or times out.
    UINT Read(void* buffer, UINT count);
    void Close();

private:
    HINTERNET m_hFile;
};

class CInternetSession {
public:
    // Throws when WinINet cannot be opened at all.
    CInternetSession(const wchar_t* agent, DWORD_PTR context, DWORD accessType, DWORD flags = 0);
    ~CInternetSession() { Close(); }
    CInternetSession(const CInternetSession&) = delete;
    CInternetSession& operator=(const CInternetSession&) = delete;

    BOOL SetOption(DWORD option, DWORD value);
    // Throws when the URL cannot be opened (name, connection, time-out).
    std::unique_ptr<CHttpFile> OpenURL(const wchar_t* url, DWORD_PTR context, DWORD flags,
                                       const wchar_t* headers = nullptr, DWORD headersLength = 0);
    void Close();

private:
    HINTERNET m_hSession;
    DWORD_PTR m_dwContext;
};

}  // namespace winfx
