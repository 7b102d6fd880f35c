// The UI thread's queue of posted messages and work, and the handle that workers post through;
// portable.
#pragma once

#include "platform/ui/ui_types.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>

class CUiWindow;

// Where a post goes: one per window, shared by every handle to it. Only the UI thread reads or
// changes m_pWindow (it attaches while the window exists and detaches when it goes), so a post
// that arrives after its window has gone finds null and is dropped; workers only copy the pointer.
class CPostTarget {
public:
    CUiWindow* m_pWindow = nullptr;
};

// Work posted to a window: runs on the UI thread with the window it was posted to, which exists
// while it runs.
using CPostedWork = std::function<void(CUiWindow& wnd)>;

// Messages and work posted to the windows of one UI thread, in the order of their posts (a post
// made before another, on any threads, is delivered before it, whether it carries a message or
// work). Posting never blocks for long and never fails while the queue exists.
class CPostQueue {
public:
    struct CItem {
        std::shared_ptr<CPostTarget> pTarget;
        CUiMessage msg;
        CPostedWork fnWork; // set: the item carries work instead of the message
    };

    // Any thread. Wakes a waiting UI thread and calls the backend's waker, if one is set.
    void Push(CItem item);
    // UI thread: takes the oldest item, if any.
    bool TryPop(CItem& item);
    // UI thread: waits until an item is queued or the time has passed; true when one is queued.
    bool WaitFor(std::chrono::milliseconds timeout);
    std::size_t Size() const;
    // A backend whose loop does not wait on WaitFor (a native message loop) sets a waker that
    // nudges that loop; it is called on the posting thread, outside the queue's lock.
    void SetWaker(std::function<void()> fnWake);

    // UI thread: hands one item to its window (the message to WindowProc, or the work), or drops
    // it when the window has gone. Work that is dropped is destroyed without running. Every
    // backend delivers through this, so posts behave alike everywhere.
    static void Deliver(CItem& item);
    // UI thread: delivers every item queued, those that their handlers post included; the count.
    int DeliverAll();

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_cv;
    std::deque<CItem> m_items;
    std::function<void()> m_fnWake;
};

// A copyable handle that posts to one window from any thread. It keeps the queue and the target
// alive, never the window: posts to a window that no longer exists are dropped.
class CWindowPost {
public:
    CWindowPost() = default;
    CWindowPost(std::shared_ptr<CPostQueue> pQueue, std::shared_ptr<CPostTarget> pTarget)
        : m_pQueue(std::move(pQueue)), m_pTarget(std::move(pTarget)) {}

    bool Post(unsigned nMsg, WPARAM wParam = 0, LPARAM lParam = 0) const;
    // WM_COMMAND with the id and notification packed into wParam, lParam 0.
    bool PostCommand(int nId, int nNotify = 0) const;
    // Work that runs on the UI thread, in order with the messages, while the window exists; it is
    // destroyed unrun when the window has gone by then (so whatever it owns is released).
    bool PostWork(CPostedWork fnWork) const;
    explicit operator bool() const { return m_pQueue && m_pTarget; }

private:
    std::shared_ptr<CPostQueue> m_pQueue;
    std::shared_ptr<CPostTarget> m_pTarget;
};
