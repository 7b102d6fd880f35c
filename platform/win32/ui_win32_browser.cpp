// The web browser control of the Win32 backend, hosted without ATL, and its plain-text stand-in;
// platform code.
#include "platform/win32/ui_win32_browser.h"

#include "platform/debug_output.h"
#include "platform/page_fetch.h"
#include "platform/page_text.h"
#include "platform/win32/ui_win32_internal.h"

// After the layer's headers: <exdisp.h> declares a global WebBrowser, which the control kind of
// that name would otherwise shadow.
#include <exdisp.h>
#include <exdispid.h>
#include <ole2.h>
#include <oleidl.h>

#include <functional>
#include <thread>

// The container's side of the control: client site, in-place site and frame, and the sink of the
// control's events. Reference-counted; the browser clears its call-back before letting go.
class CBrowserSite final : public IOleClientSite,
                           public IOleInPlaceSite,
                           public IOleInPlaceFrame,
                           public IDispatch {
public:
    explicit CBrowserSite(HWND hwndHost) : m_hwndHost(hwndHost) {}

    HWND m_hwndHost;
    std::function<void()> m_fnNavigateError;

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv)
            return E_POINTER;
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IOleClientSite))
            *ppv = static_cast<IOleClientSite*>(this);
        else if (IsEqualIID(riid, IID_IOleWindow) || IsEqualIID(riid, IID_IOleInPlaceSite))
            *ppv = static_cast<IOleInPlaceSite*>(this);
        else if (IsEqualIID(riid, IID_IOleInPlaceUIWindow) ||
                 IsEqualIID(riid, IID_IOleInPlaceFrame))
            *ppv = static_cast<IOleInPlaceFrame*>(this);
        else if (IsEqualIID(riid, IID_IDispatch) || IsEqualIID(riid, DIID_DWebBrowserEvents2))
            *ppv = static_cast<IDispatch*>(this);
        else {
            *ppv = nullptr;
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(++m_nRef); }
    ULONG STDMETHODCALLTYPE Release() override {
        const long n = --m_nRef;
        if (n == 0)
            delete this;
        return static_cast<ULONG>(n);
    }

    // IOleClientSite
    HRESULT STDMETHODCALLTYPE SaveObject() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetMoniker(DWORD, DWORD, IMoniker** ppmk) override {
        *ppmk = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetContainer(IOleContainer** ppContainer) override {
        *ppContainer = nullptr;
        return E_NOINTERFACE;
    }
    HRESULT STDMETHODCALLTYPE ShowObject() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnShowWindow(BOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE RequestNewObjectLayout() override { return E_NOTIMPL; }

    // IOleWindow (of the site and of the frame)
    HRESULT STDMETHODCALLTYPE GetWindow(HWND* phwnd) override {
        *phwnd = m_hwndHost;
        return m_hwndHost ? S_OK : E_FAIL;
    }
    HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }

    // IOleInPlaceSite
    HRESULT STDMETHODCALLTYPE CanInPlaceActivate() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnInPlaceActivate() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnUIActivate() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE GetWindowContext(IOleInPlaceFrame** ppFrame,
                                               IOleInPlaceUIWindow** ppDoc, LPRECT prcPos,
                                               LPRECT prcClip,
                                               LPOLEINPLACEFRAMEINFO pFrameInfo) override {
        *ppFrame = static_cast<IOleInPlaceFrame*>(this);
        AddRef();
        *ppDoc = nullptr;
        RECT rc{};
        if (m_hwndHost)
            ::GetClientRect(m_hwndHost, &rc);
        *prcPos = rc;
        *prcClip = rc;
        pFrameInfo->fMDIApp = FALSE;
        pFrameInfo->hwndFrame = m_hwndHost ? GetAncestor(m_hwndHost, GA_ROOT) : nullptr;
        pFrameInfo->haccel = nullptr;
        pFrameInfo->cAccelEntries = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Scroll(SIZE) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE OnUIDeactivate(BOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnInPlaceDeactivate() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE DiscardUndoState() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE DeactivateAndUndo() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE OnPosRectChange(LPCRECT) override { return S_OK; }

    // IOleInPlaceUIWindow and IOleInPlaceFrame: no tool space, menus or accelerators.
    HRESULT STDMETHODCALLTYPE GetBorder(LPRECT) override { return INPLACE_E_NOTOOLSPACE; }
    HRESULT STDMETHODCALLTYPE RequestBorderSpace(LPCBORDERWIDTHS) override {
        return INPLACE_E_NOTOOLSPACE;
    }
    HRESULT STDMETHODCALLTYPE SetBorderSpace(LPCBORDERWIDTHS) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE SetActiveObject(IOleInPlaceActiveObject*, LPCOLESTR) override {
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE InsertMenus(HMENU, LPOLEMENUGROUPWIDTHS) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE SetMenu(HMENU, HOLEMENU, HWND) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE RemoveMenus(HMENU) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetStatusText(LPCOLESTR) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE EnableModeless(BOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE TranslateAccelerator(LPMSG, WORD) override { return S_FALSE; }

    // IDispatch: the control's events (DWebBrowserEvents2).
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* pn) override {
        *pn = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* pParams, VARIANT*,
                                     EXCEPINFO*, UINT*) override {
        if (id == DISPID_NAVIGATEERROR) {
            // (pDisp, URL, Frame, StatusCode, Cancel), last first: no error page of the control's
            // own; the text stands in.
            if (pParams && pParams->cArgs >= 5 && pParams->rgvarg[0].vt == (VT_BYREF | VT_BOOL))
                *pParams->rgvarg[0].pboolVal = VARIANT_TRUE;
            if (m_fnNavigateError) {
                // The call-back may let go of the control; the site stays until it returns.
                auto fn = m_fnNavigateError;
                fn();
            }
        }
        return S_OK;
    }

private:
    long m_nRef = 1;
};

namespace {

LRESULT CALLBACK BrowserHostProc(HWND hwnd, UINT nMsg, WPARAM wParam, LPARAM lParam) {
    if (nMsg == WM_SIZE) {
        if (auto* pBrowser =
                reinterpret_cast<CWin32Browser*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA)))
            pBrowser->Layout();
        return 0;
    }
    return DefWindowProcW(hwnd, nMsg, wParam, lParam);
}

// Lines for a multi-line text box, from UTF-8 text with bare line ends.
std::wstring BoxText(const std::string& strText) {
    std::string crlf;
    crlf.reserve(strText.size() + strText.size() / 16);
    for (char ch : strText) {
        if (ch == '\n')
            crlf += '\r';
        crlf += ch;
    }
    return Win32Widen(crlf, CP_UTF8);
}

} // namespace

void RegisterBrowserHostClass(const wchar_t* pszClass) {
    WNDCLASSW wc{};
    wc.lpfnWndProc = BrowserHostProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    wc.lpszClassName = pszClass;
    RegisterClassW(&wc); // a second backend of the process finds it registered
}

CWin32Browser::CWin32Browser(HWND hwndHost, std::string strClassId, CWindowPost post)
    : m_hwndHost(hwndHost), m_strClassId(std::move(strClassId)), m_post(std::move(post)) {
    SetWindowLongPtrW(m_hwndHost, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

CWin32Browser::~CWin32Browser() {
    if (IsWindow(m_hwndHost))
        SetWindowLongPtrW(m_hwndHost, GWLP_USERDATA, 0);
    DestroyControl();
}

bool CWin32Browser::CreateControl() {
    CLSID clsid{};
    if (FAILED(CLSIDFromString(Win32Widen(m_strClassId).c_str(), &clsid)))
        return false;
    if (FAILED(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IOleObject,
                                reinterpret_cast<void**>(&m_pOle)))) {
        m_pOle = nullptr;
        return false;
    }
    m_pSite = new CBrowserSite(m_hwndHost);
    std::weak_ptr<CWin32Browser> weak = weak_from_this();
    m_pSite->m_fnNavigateError = [weak] {
        if (auto p = weak.lock())
            p->ShowFallback();
    };
    m_pOle->SetClientSite(m_pSite);
    OleSetContainedObject(m_pOle, TRUE);
    RECT rc{};
    ::GetClientRect(m_hwndHost, &rc);
    if (FAILED(m_pOle->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, m_pSite, 0, m_hwndHost, &rc)) ||
        FAILED(m_pOle->QueryInterface(IID_IWebBrowser2, reinterpret_cast<void**>(&m_pBrowser)))) {
        m_pBrowser = nullptr;
        DestroyControl();
        return false;
    }
    m_pBrowser->put_Silent(VARIANT_TRUE); // no script error boxes of its own
    IConnectionPointContainer* pContainer = nullptr;
    if (SUCCEEDED(m_pBrowser->QueryInterface(IID_IConnectionPointContainer,
                                             reinterpret_cast<void**>(&pContainer)))) {
        if (SUCCEEDED(pContainer->FindConnectionPoint(DIID_DWebBrowserEvents2, &m_pEvents)) &&
            FAILED(m_pEvents->Advise(static_cast<IDispatch*>(m_pSite), &m_dwCookie))) {
            m_pEvents->Release();
            m_pEvents = nullptr;
        }
        pContainer->Release();
    }
    return true;
}

void CWin32Browser::DestroyControl() {
    if (m_pEvents) {
        m_pEvents->Unadvise(m_dwCookie);
        m_pEvents->Release();
        m_pEvents = nullptr;
    }
    if (m_pBrowser) {
        m_pBrowser->Stop();
        m_pBrowser->Release();
        m_pBrowser = nullptr;
    }
    if (m_pOle) {
        m_pOle->Close(OLECLOSE_NOSAVE);
        m_pOle->SetClientSite(nullptr);
        m_pOle->Release();
        m_pOle = nullptr;
    }
    if (m_pSite) {
        m_pSite->m_fnNavigateError = nullptr;
        m_pSite->m_hwndHost = nullptr;
        m_pSite->Release();
        m_pSite = nullptr;
    }
}

HWND CWin32Browser::ControlWindow() const {
    HWND hwnd = nullptr;
    IOleInPlaceObject* pInPlace = nullptr;
    if (m_pOle && SUCCEEDED(m_pOle->QueryInterface(IID_IOleInPlaceObject,
                                                   reinterpret_cast<void**>(&pInPlace)))) {
        pInPlace->GetWindow(&hwnd);
        pInPlace->Release();
    }
    return hwnd;
}

void CWin32Browser::Layout() {
    RECT rc{};
    ::GetClientRect(m_hwndHost, &rc);
    IOleInPlaceObject* pInPlace = nullptr;
    if (m_pOle && SUCCEEDED(m_pOle->QueryInterface(IID_IOleInPlaceObject,
                                                   reinterpret_cast<void**>(&pInPlace)))) {
        pInPlace->SetObjectRects(&rc, &rc);
        pInPlace->Release();
    }
    if (m_hwndText)
        ::MoveWindow(m_hwndText, 0, 0, rc.right, rc.bottom, TRUE);
}

void CWin32Browser::Navigate(const std::string& strUrl) {
    m_strUrl = strUrl;
    ++m_nSeq;
    if (!m_bTried) {
        m_bTried = true;
        if (!CreateControl())
            mwDebugOutput("web browser control: cannot create " + m_strClassId);
    }
    if (!m_pBrowser) {
        ShowFallback();
        return;
    }
    // The control shows the page again, should the text have stood in for an earlier one.
    if (m_hwndText)
        ::ShowWindow(m_hwndText, SW_HIDE);
    m_bFallback = false;
    if (HWND hwnd = ControlWindow())
        ::ShowWindow(hwnd, SW_SHOW);
    BSTR bstrUrl = SysAllocString(Win32Widen(strUrl).c_str());
    VARIANT empty;
    VariantInit(&empty);
    const HRESULT hr = m_pBrowser->Navigate(bstrUrl, &empty, &empty, &empty, &empty);
    SysFreeString(bstrUrl);
    if (FAILED(hr))
        ShowFallback();
}

void CWin32Browser::ShowFallback() {
    if (!m_hwndText) {
        RECT rc{};
        ::GetClientRect(m_hwndHost, &rc);
        m_hwndText = CreateWindowExW(0, L"EDIT", L"",
                                     WS_CHILD | WS_VSCROLL | WS_HSCROLL | ES_MULTILINE |
                                         ES_READONLY | ES_AUTOVSCROLL | ES_AUTOHSCROLL,
                                     0, 0, rc.right, rc.bottom, m_hwndHost, nullptr,
                                     GetModuleHandleW(nullptr), nullptr);
        if (!m_hwndText)
            return;
        HWND hwndDialog = GetParent(m_hwndHost);
        SendMessageW(m_hwndText, WM_SETFONT,
                     static_cast<WPARAM>(SendMessageW(hwndDialog, WM_GETFONT, 0, 0)), FALSE);
    }
    if (HWND hwnd = ControlWindow())
        ::ShowWindow(hwnd, SW_HIDE);
    m_bFallback = true;
    ::SetWindowTextW(m_hwndText, L"");
    ::ShowWindow(m_hwndText, SW_SHOW);

    // The page travels as text from a worker, which owns what it reads and reports by posting.
    std::weak_ptr<CWin32Browser> weak = weak_from_this();
    std::thread([weak, nSeq = m_nSeq, strUrl = m_strUrl, post = m_post] {
        std::string strBody;
        std::string strError;
        std::string strText;
        if (fnFetchPage(strUrl, kFetchTimeoutMs, strBody, strError))
            strText = fnPageText(strBody);
        else
            strText = strUrl + "\n" + strError + "\n";
        post.PostWork([weak, nSeq, strText = std::move(strText)](CUiWindow&) {
            if (auto p = weak.lock())
                p->OnPageText(nSeq, strText);
        });
    }).detach();
}

void CWin32Browser::OnPageText(unsigned nSeq, const std::string& strText) {
    // Only the page of the latest navigation, and only while the text stands in.
    if (nSeq != m_nSeq || !m_bFallback || !m_hwndText)
        return;
    ::SetWindowTextW(m_hwndText, BoxText(strText).c_str());
}
