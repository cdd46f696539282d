#include "internet_session.h"

namespace winfx {

BOOL CHttpFile::QueryInfoStatusCode(DWORD& status) const
{
    return QueryInfo(HTTP_QUERY_STATUS_CODE, status);
}

BOOL CHttpFile::QueryInfo(DWORD level, DWORD& value) const
{
    DWORD number = 0;
    DWORD size = sizeof(number);
    if (!m_hFile || !::HttpQueryInfoW(m_hFile, level | HTTP_QUERY_FLAG_NUMBER, &number, &size, nullptr)) return FALSE;
    value = number;
    return TRUE;
}

BOOL CHttpFile::QueryInfo(DWORD level, std::wstring& value) const
{
    wchar_t text[128];
    DWORD size = sizeof(text);
    if (!m_hFile || !::HttpQueryInfoW(m_hFile, level, text, &size, nullptr)) {
        // Longer than any length or status: kept whole all the same, so it is judged, not cut.
        if (!m_hFile || ::GetLastError() != ERROR_INSUFFICIENT_BUFFER) return FALSE;
        std::wstring long_text(size / sizeof(wchar_t) + 1, L'\0');
        size = static_cast<DWORD>(long_text.size() * sizeof(wchar_t));
        if (!::HttpQueryInfoW(m_hFile, level, &long_text[0], &size, nullptr)) return FALSE;
        long_text.resize(size / sizeof(wchar_t));
        value = long_text;
        return TRUE;
    }
    value.assign(text, size / sizeof(wchar_t));
    return TRUE;
}

UINT CHttpFile::Read(void* buffer, UINT count)
{
    DWORD read = 0;
    if (!::InternetReadFile(m_hFile, buffer, count, &read)) throw CInternetException(::GetLastError());
    return read;
}

void CHttpFile::Close()
{
    if (m_hFile) ::InternetCloseHandle(m_hFile);
    m_hFile = nullptr;
}

CInternetSession::CInternetSession(const wchar_t* agent, DWORD_PTR context, DWORD accessType, DWORD flags)
    : m_hSession(::InternetOpenW(agent, accessType, nullptr, nullptr, flags)), m_dwContext(context)
{
    if (!m_hSession) throw CInternetException(::GetLastError());
}

BOOL CInternetSession::SetOption(DWORD option, DWORD value)
{
    return ::InternetSetOptionW(m_hSession, option, &value, sizeof(value));
}

std::unique_ptr<CHttpFile> CInternetSession::OpenURL(const wchar_t* url, DWORD_PTR context, DWORD flags,
                                                     const wchar_t* headers, DWORD headersLength)
{
    HINTERNET file = ::InternetOpenUrlW(m_hSession, url, headers, headersLength, flags, context ? context : m_dwContext);
    if (!file) throw CInternetException(::GetLastError());
    return std::unique_ptr<CHttpFile>(new CHttpFile(file));
}

void CInternetSession::Close()
{
    if (m_hSession) ::InternetCloseHandle(m_hSession);
    m_hSession = nullptr;
}

}  // namespace winfx
