#include "window/notice_rules.h"

namespace {

// ASCII only: the browser's resource scheme is plain ASCII, and a locale's case rules must not
// turn some other letter into one of these.
wchar_t LowerAscii(wchar_t c)
{
    return (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c - L'A' + L'a') : c;
}

}  // namespace

bool IsBrowserResourceAddress(const wchar_t* url)
{
    if (!url) return false;
    const wchar_t prefix[] = L"res";
    for (int i = 0; i < 3; ++i) {
        if (url[i] == L'\0' || LowerAscii(url[i]) != prefix[i]) return false;
    }
    return true;
}

void QLNoticeRules::OnBeforeNavigate2(const wchar_t* url, QLNoticeSurface& surface)
{
    if (!IsBrowserResourceAddress(url)) return;
    m_bError = 1;
    surface.HideView();
}

void QLNoticeRules::OnDownload(QLNoticeSurface& surface)
{
    surface.HideScrollBars();
}

void QLNoticeRules::OnDocumentComplete(QLNoticeSurface& surface)
{
    surface.HideScrollBars();
    if (m_bError == 0) surface.ShowView();
}
