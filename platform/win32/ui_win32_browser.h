// The web browser control of the Win32 backend: the system's browser hosted without ATL, and a
// read-only text box with the page's text when the control cannot show it; platform code.
#pragma once

#include <windows.h>

#include "platform/ui/post_queue.h"

#include <memory>
#include <string>

struct IOleObject;
struct IWebBrowser2;
struct IConnectionPoint;
class CBrowserSite;

// The window class that stands for a web browser control in a dialog template.
void RegisterBrowserHostClass(const wchar_t* pszClass);

// One browser control in its host window. The control is created at the first Navigate. When it
// cannot be created, or it reports that a navigation failed, the host shows the page as text
// instead: fetched on a worker (platform/page_fetch.h) that reports through post, and turned into
// lines by the page-to-text reader.
class CWin32Browser : public std::enable_shared_from_this<CWin32Browser> {
public:
    static constexpr unsigned kFetchTimeoutMs = 10000;

    CWin32Browser(HWND hwndHost, std::string strClassId, CWindowPost post);
    ~CWin32Browser();
    CWin32Browser(const CWin32Browser&) = delete;
    CWin32Browser& operator=(const CWin32Browser&) = delete;

    void Navigate(const std::string& strUrl);
    // The text box, while it stands in for the control; else null.
    HWND FallbackWindow() const { return m_bFallback ? m_hwndText : nullptr; }
    // Fits the control and the text box to the host.
    void Layout();

private:
    bool CreateControl();
    void DestroyControl();
    HWND ControlWindow() const;
    void ShowFallback();
    void OnPageText(unsigned nSeq, const std::string& strText);

    HWND m_hwndHost;
    std::string m_strClassId;
    CWindowPost m_post;
    CBrowserSite* m_pSite = nullptr;
    IOleObject* m_pOle = nullptr;
    IWebBrowser2* m_pBrowser = nullptr;
    IConnectionPoint* m_pEvents = nullptr;
    DWORD m_dwCookie = 0;
    bool m_bTried = false;
    HWND m_hwndText = nullptr;
    bool m_bFallback = false;
    std::string m_strUrl;
    unsigned m_nSeq = 0;
};
