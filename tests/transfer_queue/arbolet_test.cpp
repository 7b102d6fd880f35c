// Arbolet hands its paths to a running queue window found by its caption (a headless window of
// this test here, served as other processes see it): the value, the message, and the window's
// rows; portable (natively and under Wine).
#include "child_process.h"
#include "transfer_queue_fixture.h"

#include <thread>

namespace {

using mwtest::CQueueJobs;

std::string Arbolet() {
    return mwtest::ExeDir() +
#if defined(_WIN32)
           "\\Arbolet.exe";
#else
           "/arbolet";
#endif
}

TEST(Arbolet, HandsEachPathToTheRunningQueueWindowInOrder) {
    mwtest::CPrivateRuntimeDir runtime;
    CTestRegistryScope scope; // on Linux the settings file of this test alone
    CHeadlessDriver ui;
    ui.Ui().SetServeRemote(true);
    auto pJobs = std::make_shared<CQueueJobs>();
    pJobs->Hold(); // nothing is sent while the rows are looked at
    CTransferDlg queue(pJobs, std::shared_ptr<CRegistry>(OpenUserRegistry()), kSettingsKey);
    std::thread runner;
    int nExit = -1;
    const std::vector<std::string> arrPaths = {"C:\\t\\first file.torrent", "/t/second.torrent"};
    ui.Then(queue, [&] {
        runner = std::thread([&] {
            nExit = mwtest::RunChild(Arbolet(), arrPaths, 60000);
            queue.PostWork([](CUiWindow& wnd) { static_cast<CDialog&>(wnd).EndDialog(IDOK); });
        });
    });
    EXPECT_EQ(queue.DoModal(), IDOK);
    runner.join();
    EXPECT_EQ(nExit, 0);
    ASSERT_EQ(queue.m_arrayTransferFile, arrPaths);
    pJobs->Release();
    fnWaitForTransferWorkers();
}

} // namespace
