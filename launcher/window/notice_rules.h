// The notice page's decisions, apart from any browser: when the view shows, when it hides for
// good, and when the page's scroll bars are taken away. The real notice view and the tests'
// browser double both feed the browser's events in here.
#pragma once

#include <stdint.h>
#include <wchar.h>

// What the rules may do to the view that holds the page.
class QLNoticeSurface {
public:
    virtual ~QLNoticeSurface() = default;
    virtual void ShowView() = 0;
    virtual void HideView() = 0;
    // Sets the page body's scroll attribute to "no"; silently nothing when there is no page.
    virtual void HideScrollBars() = 0;
};

// The browser's own pages (its error pages among them) have addresses starting with "res" in
// any case. A null address is none of them.
bool IsBrowserResourceAddress(const wchar_t* url);

class QLNoticeRules {
public:
    // An address of the browser's own pages: the player must never see them, so the view hides
    // and stays hidden for the rest of the run. The navigation itself goes on.
    void OnBeforeNavigate2(const wchar_t* url, QLNoticeSurface& surface);
    // Download begin and complete alike.
    void OnDownload(QLNoticeSurface& surface);
    void OnDocumentComplete(QLNoticeSurface& surface);

    bool SawErrorPage() const { return m_bError != 0; }

private:
    int32_t m_bError = 0;  // set once, never cleared
};
