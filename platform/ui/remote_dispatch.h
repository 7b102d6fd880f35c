// Hands a message from another process to a window's UI thread and waits for its result; portable
// (shared by the endpoints of platform/ui/remote_message.h).
#pragma once

#include "platform/ui/post_queue.h"

#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>

class CRemoteDispatcher {
public:
    explicit CRemoteDispatcher(CWindowPost post);

    // Endpoint thread: posts the message as work to the window, so it is handled on the UI
    // thread in order with every other post, and waits for the handler's result. Nothing when
    // the window has gone (the work was dropped unrun) or when Stop was called meanwhile.
    std::optional<LRESULT> Dispatch(unsigned nMsg, WPARAM wParam, LPARAM lParam) const;
    // Any thread: ends every wait, now and later.
    void Stop();

private:
    struct CState {
        std::mutex mutex;
        std::condition_variable cv;
        bool bStopped = false;
    };
    std::shared_ptr<CState> m_pState;
    CWindowPost m_post;
};
