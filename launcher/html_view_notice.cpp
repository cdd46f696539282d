#include "html_view_notice.h"

#include <mshtml.h>

#include "com_ptr.h"
#include "resource.h"

bool CHtmlViewNotice::CreateAndNavigate(HWND parent, const RECT& rect, const wchar_t* url)
{
    if (!Create(nullptr, 0, rect, parent, IDC_NOTICE_VIEW)) return false;
    Navigate2(url);
    SetLeft(-2);
    SetTop(-2);
    SetWidth(GetWidth() + 2);
    SetHeight(GetHeight() + 2);
    return true;
}

void CHtmlViewNotice::OnBeforeNavigate2(const wchar_t* url, DWORD, const wchar_t*, const wchar_t*, BOOL*)
{
    m_rules.OnBeforeNavigate2(url, *this);
}

void CHtmlViewNotice::OnDownloadBegin()
{
    m_rules.OnDownload(*this);
}

void CHtmlViewNotice::OnDownloadComplete()
{
    m_rules.OnDownload(*this);
}

void CHtmlViewNotice::OnDocumentComplete(const wchar_t*)
{
    m_rules.OnDocumentComplete(*this);
}

void CHtmlViewNotice::ShowView()
{
    ShowWindow(SW_SHOW);
}

void CHtmlViewNotice::HideView()
{
    ShowWindow(SW_HIDE);
}

void CHtmlViewNotice::HideScrollBars()
{
    winfx::ComPtr<IDispatch> document;
    document.Attach(GetHtmlDocument());
    winfx::ComPtr<IHTMLDocument2> page;
    if (FAILED(document.QueryInto(IID_IHTMLDocument2, page)) || !page) return;
    winfx::ComPtr<IHTMLElement> body;
    if (FAILED(page->get_body(body.Receive())) || !body) return;
    winfx::ComPtr<IHTMLBodyElement> bodyElement;
    if (FAILED(body.QueryInto(IID_IHTMLBodyElement, bodyElement)) || !bodyElement) return;
    BSTR no = ::SysAllocString(L"no");
    if (no) {
        bodyElement->put_scroll(no);
        ::SysFreeString(no);
    }
}
