// Messages from other processes of the same user to a window found by its caption; portable
// interface (backends: platform/posix/remote_message_unix.cpp,
// platform/win32/remote_message_win32.cpp).
//
// Two ends:
//   - A sender finds a running window by its caption and sends it one user message (WM_USER and
//     above; numbers only, no pointers cross) synchronously: it gets the handler's result, or
//     learns that no such window runs, or gives up after a bounded wait.
//   - A window serves its caption through an endpoint. Each message that arrives is delivered on
//     the window's UI thread, through the post queue and in arrival order, to
//     CUiWindow::WindowProc; its result goes back to the sender.
//
// Windows: FindWindowA finds the window and SendMessageTimeoutA sends; a real window needs no
// endpoint (messages from other processes arrive as window messages). A window of a backend that
// has no native windows (headless) is served by a hidden window with its caption on a thread of
// its own. POSIX: one Unix-domain socket per caption in $XDG_RUNTIME_DIR/marlowick/ (mode 0700;
// without XDG_RUNTIME_DIR, a per-user folder marlowick-<uid> in the temporary folder), served by a
// thread of the endpoint. Only processes of the same user are answered (the peer's user id is
// checked); a socket left by a killed process is detected and replaced.
#pragma once

#include "platform/ui/post_queue.h"
#include "platform/ui/ui_types.h"

#include <chrono>
#include <memory>
#include <string>

// How long a sender waits for the handler's answer unless told otherwise.
inline constexpr std::chrono::milliseconds kRemoteMessageTimeout{5000};

enum class CRemoteStatus {
    Delivered, // the handler ran; lResult is its result
    NoWindow,  // no window with that caption runs (or it closed before handling the message)
    TimedOut,  // the window did not answer in time; the message may still be handled later
    Failed,    // anything else: refused, broken connection, system error
};

struct CRemoteResult {
    CRemoteStatus status = CRemoteStatus::Failed;
    LRESULT lResult = 0;
    bool Delivered() const { return status == CRemoteStatus::Delivered; }
};

// True when a window with exactly this caption runs in a process of this user.
bool FindRemoteWindow(const std::string& strCaption);

// Sends nMsg (WM_USER or above) to the window captioned strCaption and waits for its result,
// at most timeout. Any thread.
CRemoteResult SendRemoteMessage(const std::string& strCaption, unsigned nMsg, WPARAM wParam = 0,
                                LPARAM lParam = 0,
                                std::chrono::milliseconds timeout = kRemoteMessageTimeout);

// Serves one caption for one window until destroyed (UI thread). Destroying it stops answering at
// once: a sender then finds no window.
class CRemoteEndpoint {
public:
    virtual ~CRemoteEndpoint() = default;
};

// The endpoint for the window that post reaches, under strCaption; null when the caption cannot
// be served (another live process serves it, or the system refused).
std::unique_ptr<CRemoteEndpoint> CreateRemoteEndpoint(const std::string& strCaption,
                                                      CWindowPost post);
