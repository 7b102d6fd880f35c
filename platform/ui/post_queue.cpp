// The UI thread's queue of posted messages; portable.
#include "platform/ui/post_queue.h"

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

bool CWindowPost::Post(unsigned nMsg, WPARAM wParam, LPARAM lParam) const {
    if (!m_pQueue || !m_pTarget)
        return false;
    m_pQueue->Push({m_pTarget, {nMsg, wParam, lParam}});
    return true;
}

bool CWindowPost::PostCommand(int nId, int nNotify) const {
    return Post(WM_COMMAND, MakeCommandParam(nId, nNotify), 0);
}
