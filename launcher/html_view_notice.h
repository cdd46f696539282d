// CHtmlViewNotice: the operator's announcement page in the launcher's window. It shows the page
// without borders or scroll bars once the page has loaded, and stays hidden when the browser
// ends on one of its own error pages, so the player never sees those; the window's picture
// then shows through.
#pragma once

#include "html_view.h"
#include "window/notice_rules.h"

class CHtmlViewNotice : public winfx::CHtmlView, private QLNoticeSurface {
public:
    // Creates the hidden view in `rect` of `parent` with the notice page's control id, navigates
    // it once to `url` and pushes the browser's own 2-pixel frame out past the left and top
    // edges. False when the window could not be made; the caller then still owns this object.
    bool CreateAndNavigate(HWND parent, const RECT& rect, const wchar_t* url);

protected:
    void OnBeforeNavigate2(const wchar_t* url, DWORD flags, const wchar_t* targetFrame, const wchar_t* headers,
                           BOOL* cancel) override;
    void OnDownloadBegin() override;
    void OnDownloadComplete() override;
    void OnDocumentComplete(const wchar_t* url) override;

private:
    void ShowView() override;
    void HideView() override;
    void HideScrollBars() override;

    QLNoticeRules m_rules;  // holds the error flag
};
