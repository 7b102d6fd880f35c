// Hands a message from another process to a window's UI thread and waits for its result; portable.
#include "platform/ui/remote_dispatch.h"

#include "platform/ui/dialog.h"

namespace {

// One message on its way: completed by the handler, or by its own destruction when the post was
// dropped unrun, so that a wait never outlives the work.
struct CCall {
    bool bDone = false;
    std::optional<LRESULT> result;
};

} // namespace

CRemoteDispatcher::CRemoteDispatcher(CWindowPost post)
    : m_pState(std::make_shared<CState>()), m_post(std::move(post)) {}

std::optional<LRESULT> CRemoteDispatcher::Dispatch(unsigned nMsg, WPARAM wParam,
                                                   LPARAM lParam) const {
    auto pCall = std::make_shared<CCall>();
    // The guard lives as long as the posted work; whichever way the work ends, it wakes the wait.
    struct CGuard {
        std::shared_ptr<CState> pState;
        std::shared_ptr<CCall> pCall;
        void Finish(std::optional<LRESULT> result) {
            {
                std::lock_guard<std::mutex> lock(pState->mutex);
                if (pCall->bDone)
                    return;
                pCall->bDone = true;
                pCall->result = result;
            }
            pState->cv.notify_all();
        }
        ~CGuard() { Finish(std::nullopt); }
    };
    auto pGuard = std::make_shared<CGuard>();
    pGuard->pState = m_pState;
    pGuard->pCall = pCall;
    const bool bPosted = m_post.PostWork([pGuard, nMsg, wParam, lParam](CUiWindow& wnd) {
        pGuard->Finish(wnd.WindowProc(nMsg, wParam, lParam));
    });
    pGuard.reset();
    if (!bPosted)
        return std::nullopt;
    std::unique_lock<std::mutex> lock(m_pState->mutex);
    m_pState->cv.wait(lock, [&] { return pCall->bDone || m_pState->bStopped; });
    return pCall->bDone ? pCall->result : std::nullopt;
}

void CRemoteDispatcher::Stop() {
    {
        std::lock_guard<std::mutex> lock(m_pState->mutex);
        m_pState->bStopped = true;
    }
    m_pState->cv.notify_all();
}
