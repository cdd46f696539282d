// CHtmlView: a child window that hosts the system's web browser control in place and passes the
// browser's navigation events to virtual handlers. Any dialog can show a page this way.
//
// Lifetime, as with views: the object is made with `new`; once Create succeeds it belongs to its
// window and deletes itself when the window is destroyed (PostNcDestroy). Before that, or when
// Create fails, the caller still owns it. The browser and every interface the view holds are
// released when the window is destroyed; events that arrive later are dropped.
//
// Everything runs on the thread that created the window, which must have OLE initialised.
#pragma once

#include <windows.h>
#include <exdisp.h>

#include "wnd.h"

namespace winfx {

class HtmlViewSite;

class CHtmlView : public CWnd {
public:
    CHtmlView();
    ~CHtmlView() override;

    // Creates the window with WS_CHILD and `style` in `rect` (client coordinates of `parent`),
    // then the browser in it, in-place active over the whole client area. True when the window
    // exists, even if the browser control could not be made (the view is then an empty window).
    BOOL Create(const wchar_t* title, DWORD style, const RECT& rect, HWND parent, UINT id);

    // Starts a navigation; the arguments that are null are not passed to the browser.
    void Navigate2(const wchar_t* url, DWORD flags = 0, const wchar_t* targetFrame = nullptr,
                   const wchar_t* headers = nullptr, const void* postData = nullptr, DWORD postLength = 0);

    // The hosted browser, owned by the view: null when it could not be made or is gone.
    IWebBrowser2* GetBrowser() const { return m_pBrowserApp; }
    // The browser's current document with a reference for the caller, or null.
    IDispatch* GetHtmlDocument() const;

    // The browser's rectangle inside the view, in the view's client coordinates; the browser
    // places itself there through its site. Each returns 0 / does nothing without a browser.
    long GetLeft() const;
    long GetTop() const;
    long GetWidth() const;
    long GetHeight() const;
    void SetLeft(long left);
    void SetTop(long top);
    void SetWidth(long width);
    void SetHeight(long height);

protected:
    // The browser's events, for the top page and its frames alike. `cancel` starts FALSE; set it
    // to stop the navigation.
    virtual void OnBeforeNavigate2(const wchar_t* url, DWORD flags, const wchar_t* targetFrame, const wchar_t* headers,
                                   BOOL* cancel);
    virtual void OnDownloadBegin() {}
    virtual void OnDownloadComplete() {}
    virtual void OnDocumentComplete(const wchar_t* url);
    // Called once the window is gone; a view deletes itself here.
    virtual void PostNcDestroy();

private:
    friend class HtmlViewSite;

    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
    void CreateBrowser();
    void ReleaseBrowser();
    // The site's calls: the browser asks to be moved, an event arrives.
    void PlaceBrowser(const RECT& rect);
    HRESULT InvokeEvent(DISPID id, DISPPARAMS* params);

    IWebBrowser2* m_pBrowserApp = nullptr;
    IOleObject* m_pOleObject = nullptr;
    IConnectionPoint* m_pEvents = nullptr;
    DWORD m_dwEventsCookie = 0;
    HtmlViewSite* m_pSite = nullptr;
    // Set once Create has the window: from then on the window owns this object.
    bool m_bOwnedByWindow = false;
};

}  // namespace winfx
