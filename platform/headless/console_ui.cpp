// The desktop of a build without one: the headless backend, with message boxes written to standard
// error (their answer is OK, or Yes); platform stand-in for CreatePlatformUi.
#include "platform/headless/headless_ui.h"

#include <cstdio>

std::unique_ptr<CUiBackend> CreatePlatformUi() {
    auto pUi = std::make_unique<CHeadlessUi>();
    pUi->SetMessageBoxHandler([](const CShownMessageBox& box) {
        std::fprintf(stderr, "%s: %s\n", box.strCaption.c_str(), box.strText.c_str());
        return (box.nType & 0xF) == MB_YESNO ? IDYES : IDOK;
    });
    return pUi;
}
