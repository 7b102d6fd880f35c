// Sends one message to a window of another process by its caption, for the tests of messages
// between processes; portable. Usage: remote_send_helper CAPTION MSG WPARAM LPARAM EXPECTED
// [TIMEOUT_MS]. Exits 0 when the handler answered EXPECTED, 10 + the status otherwise (11 no
// window, 12 timed out, 13 failed), 20 for another answer, 2 for bad arguments.
#include "platform/ui/remote_message.h"

#include <cstdlib>
#include <string>

int main(int argc, char** argv) {
    if (argc < 6)
        return 2;
    const std::string strCaption = argv[1];
    const auto nMsg = static_cast<unsigned>(std::strtoul(argv[2], nullptr, 10));
    const auto wParam = static_cast<WPARAM>(std::strtoull(argv[3], nullptr, 10));
    const auto lParam = static_cast<LPARAM>(std::strtoll(argv[4], nullptr, 10));
    const auto nExpected = static_cast<LRESULT>(std::strtoll(argv[5], nullptr, 10));
    const auto timeout = std::chrono::milliseconds(argc > 6 ? std::strtol(argv[6], nullptr, 10)
                                                            : kRemoteMessageTimeout.count());
    const CRemoteResult result = SendRemoteMessage(strCaption, nMsg, wParam, lParam, timeout);
    if (!result.Delivered())
        return 10 + static_cast<int>(result.status);
    return result.lResult == nExpected ? 0 : 20;
}
