#include "html_view.h"

#include <exdispid.h>
#include <ocidl.h>
#include <oleidl.h>

#include <cstring>

#include "com_ptr.h"

namespace winfx {

namespace {

const wchar_t kViewClass[] = L"WinfxHtmlView";

void RegisterViewClass(WNDPROC proc)
{
    WNDCLASSW cls = {};
    if (::GetClassInfoW(::GetModuleHandleW(nullptr), kViewClass, &cls)) return;
    cls.lpfnWndProc = proc;
    cls.hInstance = ::GetModuleHandleW(nullptr);
    cls.hCursor = ::LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // the arrow
    cls.lpszClassName = kViewClass;  // no background brush: the browser covers the whole view
    ::RegisterClassW(&cls);
}

// Event arguments come as values or as references to variants, depending on the browser.
const VARIANT* Unwrap(const VARIANT& value)
{
    if (value.vt == (VT_BYREF | VT_VARIANT) && value.pvarVal) return Unwrap(*value.pvarVal);
    return &value;
}

const wchar_t* TextOf(const VARIANT& value)
{
    const VARIANT* v = Unwrap(value);
    if (v->vt == VT_BSTR) return v->bstrVal ? v->bstrVal : L"";
    if (v->vt == (VT_BYREF | VT_BSTR) && v->pbstrVal && *v->pbstrVal) return *v->pbstrVal;
    return L"";
}

DWORD NumberOf(const VARIANT& value)
{
    const VARIANT* v = Unwrap(value);
    if (v->vt == VT_I4 || v->vt == VT_UI4) return static_cast<DWORD>(v->lVal);
    if (v->vt == (VT_BYREF | VT_I4) && v->plVal) return static_cast<DWORD>(*v->plVal);
    return 0;
}

VARIANT TextVariant(const wchar_t* text)
{
    VARIANT v;
    ::VariantInit(&v);
    if (text) {
        v.vt = VT_BSTR;
        v.bstrVal = ::SysAllocString(text);
    }
    return v;
}

}  // namespace

// The browser's view of its container: client site, in-place site and frame, and the sink of its
// events, all in one reference-counted object. The browser may keep references after the view
// is gone, so the site lives on its own count and drops its view pointer in Detach; calls that
// come after that do nothing.
class HtmlViewSite : public IOleClientSite, public IOleInPlaceSite, public IOleInPlaceFrame, public IDispatch {
public:
    explicit HtmlViewSite(CHtmlView* view) : m_view(view) {}
    void Detach() { m_view = nullptr; }

    // IUnknown
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override
    {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (iid == IID_IUnknown || iid == IID_IOleClientSite) *out = static_cast<IOleClientSite*>(this);
        else if (iid == IID_IOleWindow || iid == IID_IOleInPlaceSite) *out = static_cast<IOleInPlaceSite*>(this);
        else if (iid == IID_IOleInPlaceUIWindow || iid == IID_IOleInPlaceFrame) *out = static_cast<IOleInPlaceFrame*>(this);
        else if (iid == IID_IDispatch || iid == DIID_DWebBrowserEvents2) *out = static_cast<IDispatch*>(this);
        else return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(::InterlockedIncrement(&m_refs)); }
    STDMETHODIMP_(ULONG) Release() override
    {
        LONG left = ::InterlockedDecrement(&m_refs);
        if (left == 0) delete this;
        return static_cast<ULONG>(left);
    }

    // IOleClientSite
    STDMETHODIMP SaveObject() override { return E_NOTIMPL; }
    STDMETHODIMP GetMoniker(DWORD, DWORD, IMoniker** out) override
    {
        if (out) *out = nullptr;
        return E_NOTIMPL;
    }
    STDMETHODIMP GetContainer(IOleContainer** out) override
    {
        if (out) *out = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP ShowObject() override { return S_OK; }
    STDMETHODIMP OnShowWindow(BOOL) override { return S_OK; }
    STDMETHODIMP RequestNewObjectLayout() override { return E_NOTIMPL; }

    // IOleWindow (shared by the in-place site and the frame)
    STDMETHODIMP GetWindow(HWND* out) override
    {
        if (!out) return E_POINTER;
        *out = m_view ? m_view->GetSafeHwnd() : nullptr;
        return *out ? S_OK : E_FAIL;
    }
    STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }

    // IOleInPlaceSite
    STDMETHODIMP CanInPlaceActivate() override { return m_view ? S_OK : S_FALSE; }
    STDMETHODIMP OnInPlaceActivate() override { return S_OK; }
    STDMETHODIMP OnUIActivate() override { return S_OK; }
    STDMETHODIMP GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** document, LPRECT position,
                                  LPRECT clip, LPOLEINPLACEFRAMEINFO info) override
    {
        if (frame) {
            *frame = this;
            AddRef();
        }
        if (document) *document = nullptr;  // the frame serves as the document window too
        RECT client = {};
        if (m_view) ::GetClientRect(m_view->GetSafeHwnd(), &client);
        if (position) *position = client;
        if (clip) *clip = client;
        if (info) {
            info->fMDIApp = FALSE;
            info->hwndFrame = m_view ? ::GetAncestor(m_view->GetSafeHwnd(), GA_ROOT) : nullptr;
            info->haccel = nullptr;
            info->cAccelEntries = 0;
        }
        return S_OK;
    }
    STDMETHODIMP Scroll(SIZE) override { return E_NOTIMPL; }
    STDMETHODIMP OnUIDeactivate(BOOL) override { return S_OK; }
    STDMETHODIMP OnInPlaceDeactivate() override { return S_OK; }
    STDMETHODIMP DiscardUndoState() override { return E_NOTIMPL; }
    STDMETHODIMP DeactivateAndUndo() override { return E_NOTIMPL; }
    STDMETHODIMP OnPosRectChange(LPCRECT rect) override
    {
        if (!rect) return E_POINTER;
        if (m_view) m_view->PlaceBrowser(*rect);
        return S_OK;
    }

    // IOleInPlaceUIWindow, IOleInPlaceFrame: no toolbars, menus or status line to offer.
    STDMETHODIMP GetBorder(LPRECT) override { return INPLACE_E_NOTOOLSPACE; }
    STDMETHODIMP RequestBorderSpace(LPCBORDERWIDTHS) override { return INPLACE_E_NOTOOLSPACE; }
    STDMETHODIMP SetBorderSpace(LPCBORDERWIDTHS) override { return S_OK; }
    STDMETHODIMP SetActiveObject(IOleInPlaceActiveObject*, LPCOLESTR) override { return S_OK; }
    STDMETHODIMP InsertMenus(HMENU, LPOLEMENUGROUPWIDTHS) override { return S_OK; }
    STDMETHODIMP SetMenu(HMENU, HOLEMENU, HWND) override { return S_OK; }
    STDMETHODIMP RemoveMenus(HMENU) override { return S_OK; }
    STDMETHODIMP SetStatusText(LPCOLESTR) override { return S_OK; }
    STDMETHODIMP EnableModeless(BOOL) override { return S_OK; }
    STDMETHODIMP TranslateAccelerator(LPMSG, WORD) override { return S_FALSE; }

    // IDispatch: the browser's events. Asked for ambient properties too, it knows none, so the
    // browser keeps its defaults.
    STDMETHODIMP GetTypeInfoCount(UINT* count) override
    {
        if (count) *count = 0;
        return S_OK;
    }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo** out) override
    {
        if (out) *out = nullptr;
        return E_NOTIMPL;
    }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT* result, EXCEPINFO*, UINT*) override
    {
        if (result) ::VariantInit(result);
        if (!m_view) return DISP_E_MEMBERNOTFOUND;
        // The browser calls from its own code: nothing a handler throws may pass back into it.
        try {
            return m_view->InvokeEvent(id, params);
        } catch (...) {
            return E_FAIL;
        }
    }

private:
    virtual ~HtmlViewSite() = default;

    LONG m_refs = 1;
    CHtmlView* m_view;
};

CHtmlView::CHtmlView() = default;

CHtmlView::~CHtmlView()
{
    // Deleted while its window lives: the window goes first, without deleting this object again.
    m_bOwnedByWindow = false;
    if (m_hWnd) ::DestroyWindow(m_hWnd);
    ReleaseBrowser();
}

BOOL CHtmlView::Create(const wchar_t* title, DWORD style, const RECT& rect, HWND parent, UINT id)
{
    if (m_hWnd) return FALSE;
    RegisterViewClass(WindowProc);
    HWND hwnd = ::CreateWindowExW(0, kViewClass, title ? title : L"", WS_CHILD | WS_CLIPCHILDREN | style, rect.left,
                                  rect.top, rect.right - rect.left, rect.bottom - rect.top, parent,
                                  reinterpret_cast<HMENU>(static_cast<UINT_PTR>(id)), ::GetModuleHandleW(nullptr), this);
    if (!hwnd) {
        m_hWnd = nullptr;
        return FALSE;
    }
    m_bOwnedByWindow = true;
    return TRUE;
}

LRESULT CALLBACK CHtmlView::WindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam)
{
    if (message == WM_NCCREATE) {
        auto* self = static_cast<CHtmlView*>(reinterpret_cast<CREATESTRUCTW*>(lparam)->lpCreateParams);
        ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
        self->m_hWnd = hwnd;
    }
    auto* self = reinterpret_cast<CHtmlView*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (!self) return ::DefWindowProcW(hwnd, message, wparam, lparam);

    switch (message) {
    case WM_CREATE:
        self->CreateBrowser();
        return 0;
    case WM_SIZE:
        if (self->m_pOleObject) {
            RECT client = {0, 0, LOWORD(lparam), HIWORD(lparam)};
            self->PlaceBrowser(client);
        }
        return 0;
    case WM_DESTROY:
        self->ReleaseBrowser();
        return 0;
    case WM_NCDESTROY: {
        // A creation that failed half way also ends here; the caller of Create then still owns
        // the object, so only a view that its window owns goes away with it.
        self->ReleaseBrowser();
        ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        self->m_hWnd = nullptr;
        LRESULT result = ::DefWindowProcW(hwnd, message, wparam, lparam);
        if (self->m_bOwnedByWindow) self->PostNcDestroy();
        return result;
    }
    default:
        return ::DefWindowProcW(hwnd, message, wparam, lparam);
    }
}

void CHtmlView::CreateBrowser()
{
    ComPtr<IOleObject> object;
    if (FAILED(::CoCreateInstance(CLSID_WebBrowser, nullptr, CLSCTX_INPROC_SERVER, IID_IOleObject, object.ReceiveVoid()))) {
        return;
    }
    m_pOleObject = object.Detach();
    m_pSite = new HtmlViewSite(this);
    RECT client = GetClientRect();
    ComPtr<IWebBrowser2> browser;
    ComPtr<IConnectionPointContainer> points;
    ComPtr<IConnectionPoint> events;
    bool ready = SUCCEEDED(m_pOleObject->SetClientSite(m_pSite)) &&
                 SUCCEEDED(m_pOleObject->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, m_pSite, 0, m_hWnd, &client)) &&
                 SUCCEEDED(m_pOleObject->QueryInterface(IID_IWebBrowser2, browser.ReceiveVoid())) && browser;
    if (!ready) {
        ReleaseBrowser();
        return;
    }
    m_pBrowserApp = browser.Detach();
    // Without events the view still shows pages; its users only lose their notifications.
    if (SUCCEEDED(m_pOleObject->QueryInterface(IID_IConnectionPointContainer, points.ReceiveVoid())) && points &&
        SUCCEEDED(points->FindConnectionPoint(DIID_DWebBrowserEvents2, events.Receive())) && events &&
        SUCCEEDED(events->Advise(static_cast<IDispatch*>(m_pSite), &m_dwEventsCookie))) {
        m_pEvents = events.Detach();
    }
}

void CHtmlView::ReleaseBrowser()
{
    // Events first, so that no handler runs while the browser is being taken down.
    if (m_pEvents) {
        m_pEvents->Unadvise(m_dwEventsCookie);
        m_pEvents->Release();
        m_pEvents = nullptr;
        m_dwEventsCookie = 0;
    }
    if (m_pBrowserApp) {
        m_pBrowserApp->Release();
        m_pBrowserApp = nullptr;
    }
    if (m_pOleObject) {
        ComPtr<IOleInPlaceObject> inPlace;
        if (SUCCEEDED(m_pOleObject->QueryInterface(IID_IOleInPlaceObject, inPlace.ReceiveVoid())) && inPlace) {
            inPlace->InPlaceDeactivate();
        }
        m_pOleObject->Close(OLECLOSE_NOSAVE);
        m_pOleObject->SetClientSite(nullptr);
        m_pOleObject->Release();
        m_pOleObject = nullptr;
    }
    if (m_pSite) {
        m_pSite->Detach();
        m_pSite->Release();
        m_pSite = nullptr;
    }
}

void CHtmlView::PlaceBrowser(const RECT& rect)
{
    ComPtr<IOleInPlaceObject> inPlace;
    if (!m_pOleObject || FAILED(m_pOleObject->QueryInterface(IID_IOleInPlaceObject, inPlace.ReceiveVoid())) || !inPlace) {
        return;
    }
    // Clipped to the view: a browser pushed past an edge loses what lies beyond it.
    RECT clip = GetClientRect();
    inPlace->SetObjectRects(&rect, &clip);
}

HRESULT CHtmlView::InvokeEvent(DISPID id, DISPPARAMS* params)
{
    const UINT count = params ? params->cArgs : 0;
    // Arguments arrive last first: rgvarg[count - 1] is the event's first parameter.
    auto arg = [&](UINT position) -> const VARIANT& { return params->rgvarg[count - 1 - position]; };
    switch (id) {
    case DISPID_BEFORENAVIGATE2: {
        if (count < 7) return DISP_E_BADPARAMCOUNT;
        BOOL cancel = FALSE;
        OnBeforeNavigate2(TextOf(arg(1)), NumberOf(arg(2)), TextOf(arg(3)), TextOf(arg(5)), &cancel);
        const VARIANT& answer = arg(6);
        if (answer.vt == (VT_BYREF | VT_BOOL) && answer.pboolVal) *answer.pboolVal = cancel ? VARIANT_TRUE : VARIANT_FALSE;
        return S_OK;
    }
    case DISPID_DOWNLOADBEGIN:
        OnDownloadBegin();
        return S_OK;
    case DISPID_DOWNLOADCOMPLETE:
        OnDownloadComplete();
        return S_OK;
    case DISPID_DOCUMENTCOMPLETE:
        if (count < 2) return DISP_E_BADPARAMCOUNT;
        OnDocumentComplete(TextOf(arg(1)));
        return S_OK;
    default:
        return DISP_E_MEMBERNOTFOUND;
    }
}

void CHtmlView::OnBeforeNavigate2(const wchar_t*, DWORD, const wchar_t*, const wchar_t*, BOOL*) {}

void CHtmlView::OnDocumentComplete(const wchar_t*) {}

void CHtmlView::PostNcDestroy()
{
    delete this;
}

void CHtmlView::Navigate2(const wchar_t* url, DWORD flags, const wchar_t* targetFrame, const wchar_t* headers,
                          const void* postData, DWORD postLength)
{
    if (!m_pBrowserApp) return;
    VARIANT address = TextVariant(url ? url : L"");
    VARIANT flagWord;
    ::VariantInit(&flagWord);
    flagWord.vt = VT_I4;
    flagWord.lVal = static_cast<LONG>(flags);
    VARIANT frame = TextVariant(targetFrame);
    VARIANT headerText = TextVariant(headers);
    VARIANT post;
    ::VariantInit(&post);
    if (postData && postLength) {
        if (SAFEARRAY* bytes = ::SafeArrayCreateVector(VT_UI1, 0, postLength)) {
            void* data = nullptr;
            if (SUCCEEDED(::SafeArrayAccessData(bytes, &data))) {
                std::memcpy(data, postData, postLength);
                ::SafeArrayUnaccessData(bytes);
                post.vt = VT_ARRAY | VT_UI1;
                post.parray = bytes;
            } else {
                ::SafeArrayDestroy(bytes);
            }
        }
    }
    m_pBrowserApp->Navigate2(&address, &flagWord, &frame, &post, &headerText);
    ::VariantClear(&address);
    ::VariantClear(&frame);
    ::VariantClear(&headerText);
    ::VariantClear(&post);
}

IDispatch* CHtmlView::GetHtmlDocument() const
{
    IDispatch* document = nullptr;
    if (m_pBrowserApp && FAILED(m_pBrowserApp->get_Document(&document))) document = nullptr;
    return document;
}

long CHtmlView::GetLeft() const
{
    long value = 0;
    if (m_pBrowserApp && FAILED(m_pBrowserApp->get_Left(&value))) value = 0;
    return value;
}

long CHtmlView::GetTop() const
{
    long value = 0;
    if (m_pBrowserApp && FAILED(m_pBrowserApp->get_Top(&value))) value = 0;
    return value;
}

long CHtmlView::GetWidth() const
{
    long value = 0;
    if (m_pBrowserApp && FAILED(m_pBrowserApp->get_Width(&value))) value = 0;
    return value;
}

long CHtmlView::GetHeight() const
{
    long value = 0;
    if (m_pBrowserApp && FAILED(m_pBrowserApp->get_Height(&value))) value = 0;
    return value;
}

void CHtmlView::SetLeft(long left)
{
    if (m_pBrowserApp) m_pBrowserApp->put_Left(left);
}

void CHtmlView::SetTop(long top)
{
    if (m_pBrowserApp) m_pBrowserApp->put_Top(top);
}

void CHtmlView::SetWidth(long width)
{
    if (m_pBrowserApp) m_pBrowserApp->put_Width(width);
}

void CHtmlView::SetHeight(long height)
{
    if (m_pBrowserApp) m_pBrowserApp->put_Height(height);
}

}  // namespace winfx
