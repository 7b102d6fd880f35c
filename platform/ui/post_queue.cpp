// The UI thread's queue of posted messages and work; portable.
#include "platform/ui/post_queue.h"

#include "platform/ui/dialog.h"

void CPostQueue::Push(CItem item) {
    std::function<void()> fnWake;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_items.push_back(std::move(item));
        fnWake = m_fnWake;
    }
    m_cv.notify_all();
    if (fnWake)
        fnWake();
}

bool CPostQueue::TryPop(CItem& item) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_items.empty())
        return false;
    item = std::move(m_items.front());
    m_items.pop_front();
    return true;
}

bool CPostQueue::WaitFor(std::chrono::milliseconds timeout) {
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_cv.wait_for(lock, timeout, [this] { return !m_items.empty(); });
}

std::size_t CPostQueue::Size() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_items.size();
}

void CPostQueue::SetWaker(std::function<void()> fnWake) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_fnWake = std::move(fnWake);
}

void CPostQueue::Deliver(CItem& item) {
    CUiWindow* pWindow = item.pTarget ? item.pTarget->m_pWindow : nullptr;
    if (!pWindow) {
        item.fnWork = nullptr;
        return;
    }
    if (item.fnWork) {
        // Moved out first, so that what the work owns is released when it returns.
        CPostedWork fnWork = std::move(item.fnWork);
        fnWork(*pWindow);
    } else {
        pWindow->WindowProc(item.msg.nMsg, item.msg.wParam, item.msg.lParam);
    }
}

int CPostQueue::DeliverAll() {
    int n = 0;
    CItem item;
    while (TryPop(item)) {
        Deliver(item);
        item = {};
        ++n;
    }
    return n;
}

bool CWindowPost::Post(unsigned nMsg, WPARAM wParam, LPARAM lParam) const {
    if (!m_pQueue || !m_pTarget)
        return false;
    m_pQueue->Push({m_pTarget, {nMsg, wParam, lParam}, {}});
    return true;
}

bool CWindowPost::PostCommand(int nId, int nNotify) const {
    return Post(WM_COMMAND, MakeCommandParam(nId, nNotify), 0);
}

bool CWindowPost::PostWork(CPostedWork fnWork) const {
    if (!m_pQueue || !m_pTarget || !fnWork)
        return false;
    m_pQueue->Push({m_pTarget, {}, std::move(fnWork)});
    return true;
}
