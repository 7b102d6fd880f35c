// Messages from other processes to a window by its caption: FindWindowA and SendMessageTimeoutA,
// and a hidden window on a thread of its own for windows that have no native window; Win32 backend
// of platform/ui/remote_message.h.
#include <windows.h>

#include "platform/ui/remote_message.h"

#include "platform/debug_output.h"
#include "platform/ui/remote_dispatch.h"

#include <condition_variable>
#include <mutex>
#include <thread>

namespace {

constexpr char kEndpointClass[] = "MarlowickRemoteEndpoint";

class CWin32Endpoint final : public CRemoteEndpoint {
public:
    CWin32Endpoint(std::string strCaption, CWindowPost post)
        : m_strCaption(std::move(strCaption)), m_dispatcher(std::move(post)) {}

    // Starts the thread and waits until its window exists (or could not be made).
    bool Start() {
        m_thread = std::thread([this] { Run(); });
        std::unique_lock<std::mutex> lock(m_mutex);
        m_cv.wait(lock, [this] { return m_bStarted; });
        return m_hwnd != nullptr;
    }

    ~CWin32Endpoint() override {
        m_dispatcher.Stop();
        HWND hwnd = nullptr;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            hwnd = m_hwnd;
        }
        if (hwnd)
            PostMessageA(hwnd, WM_CLOSE, 0, 0);
        if (m_thread.joinable())
            m_thread.join();
    }

private:
    static LRESULT CALLBACK WndProc(HWND hwnd, UINT nMsg, WPARAM wParam, LPARAM lParam) {
        if (nMsg == WM_NCCREATE) {
            const auto* cs = reinterpret_cast<const CREATESTRUCTA*>(lParam);
            SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(cs->lpCreateParams));
        }
        auto* self = reinterpret_cast<CWin32Endpoint*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
        if (self && nMsg >= WM_USER && nMsg < 0xC000) {
            // Handled on the UI thread; a window that has gone answers 0, as a closed one would.
            return self->m_dispatcher.Dispatch(nMsg, wParam, lParam).value_or(0);
        }
        if (nMsg == WM_CLOSE) {
            DestroyWindow(hwnd);
            return 0;
        }
        if (nMsg == WM_DESTROY) {
            PostQuitMessage(0);
            return 0;
        }
        return DefWindowProcA(hwnd, nMsg, wParam, lParam);
    }

    void Run() {
        HINSTANCE hInst = GetModuleHandleA(nullptr);
        WNDCLASSA wc{};
        wc.lpfnWndProc = WndProc;
        wc.hInstance = hInst;
        wc.lpszClassName = kEndpointClass;
        RegisterClassA(&wc); // a second endpoint finds the class registered already
        HWND hwnd = CreateWindowExA(0, kEndpointClass, m_strCaption.c_str(), WS_POPUP, 0, 0, 0, 0,
                                    nullptr, nullptr, hInst, this);
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_hwnd = hwnd;
            m_bStarted = true;
        }
        m_cv.notify_all();
        if (!hwnd)
            return;
        MSG msg;
        while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        std::lock_guard<std::mutex> lock(m_mutex);
        m_hwnd = nullptr;
    }

    std::string m_strCaption;
    CRemoteDispatcher m_dispatcher;
    std::mutex m_mutex;
    std::condition_variable m_cv;
    bool m_bStarted = false;
    HWND m_hwnd = nullptr;
    std::thread m_thread;
};

} // namespace

bool FindRemoteWindow(const std::string& strCaption) {
    return FindWindowA(nullptr, strCaption.c_str()) != nullptr;
}

CRemoteResult SendRemoteMessage(const std::string& strCaption, unsigned nMsg, WPARAM wParam,
                                LPARAM lParam, std::chrono::milliseconds timeout) {
    CRemoteResult result;
    if (nMsg < WM_USER)
        return result;
    HWND hwnd = FindWindowA(nullptr, strCaption.c_str());
    if (!hwnd) {
        result.status = CRemoteStatus::NoWindow;
        return result;
    }
    DWORD_PTR dwResult = 0;
    SetLastError(0);
    const auto ms = static_cast<UINT>(timeout.count() < 0 ? 0 : timeout.count());
    if (SendMessageTimeoutA(hwnd, nMsg, wParam, lParam, SMTO_NORMAL | SMTO_ABORTIFHUNG, ms,
                            &dwResult) == 0) {
        const DWORD err = GetLastError();
        if (err == ERROR_TIMEOUT)
            result.status = CRemoteStatus::TimedOut;
        else if (err == ERROR_INVALID_WINDOW_HANDLE || !IsWindow(hwnd))
            result.status = CRemoteStatus::NoWindow;
        else
            result.status = CRemoteStatus::Failed;
        return result;
    }
    result.status = CRemoteStatus::Delivered;
    result.lResult = static_cast<LRESULT>(dwResult);
    return result;
}

std::unique_ptr<CRemoteEndpoint> CreateRemoteEndpoint(const std::string& strCaption,
                                                      CWindowPost post) {
    // One window per caption: a live one elsewhere keeps the name.
    if (FindWindowA(nullptr, strCaption.c_str()))
        return nullptr;
    auto pEndpoint = std::make_unique<CWin32Endpoint>(strCaption, std::move(post));
    if (!pEndpoint->Start()) {
        mwDebugOutput("remote message: cannot make the window for " + strCaption);
        return nullptr;
    }
    return pEndpoint;
}
