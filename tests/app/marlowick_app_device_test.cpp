// Start-up with the real upload against the reference device on loopback: a path given with
// confirmation off is sent without the main window; Linux test (the device is a Linux program).
#include "app/marlowick_app.h"
#include "tests/device/device_fixture.h"
#include "tests/device/torrent_builder.h"
#include "tests/settings_window/main_window_fixture.h"

#include <filesystem>

namespace {

using mwtest::MainWindowTest;

TEST_F(MainWindowTest, APathWithConfirmationOffReachesTheDevice) {
    mwtest::CDeviceProcess device;
    ASSERT_TRUE(device.Start()) << device.Error();
    ::setenv("XDG_STATE_HOME", (device.Root() + "/state-home").c_str(), 1);
    const std::string strFile = device.Root() + "/start-up.torrent";
    mwtest::WriteTorrent(strFile, mwtest::MakeTorrent("start-up.iso"));
    CMarlowickSettings s;
    s.m_strIP = "127.0.0.1:" + std::to_string(device.HttpPort());
    s.m_strUserName = mwtest::CDeviceProcess::kUser;
    s.m_strPassword = mwtest::CDeviceProcess::kPassword;
    s.m_strRootSharelist = mwtest::CDeviceProcess::kShare;
    s.m_nConfirmDialog = 0;
    StoreSettings(s);

    CAppServices services = Services();
    services.pJobs = CreateRealJobServices();
    CLimitSingleInstance guard("{Marlowick-device-test}");
    CMarlowickApp app(services, guard);
    EXPECT_FALSE(app.InitInstance(strFile));
    EXPECT_EQ(BoxTexts(), (std::vector<std::string>{"File transfer finish."})) << device.Log();
    EXPECT_TRUE(std::filesystem::exists(device.ShareDir() + "/start-up.torrent")) << device.Log();
    ::unsetenv("XDG_STATE_HOME");
}

} // namespace
