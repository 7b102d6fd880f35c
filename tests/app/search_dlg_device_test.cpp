// The busy dialog's send over the program's real seam (the upload library) against the reference
// device on loopback; Linux test.
#include "app/search_dlg.h"
#include "platform/headless/headless_driver.h"
#include "tests/device/device_fixture.h"
#include "tests/device/torrent_builder.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

struct CSend {
    std::string strUrl;
    std::string strFile;
    std::string strPassword;
    NAS_BTDOWNLOAD_PARAM Param() const {
        return {strUrl.c_str(),
                strFile.c_str(),
                mwtest::CDeviceProcess::kUser,
                strPassword.c_str(),
                "public",
                "",
                "down_job.htm",
                "save",
                "public",
                "1",
                "local"};
    }
};

TEST(BusyDialogOnTheDevice, ASendEndsWithOkOrWithTheDevicesOwnWords) {
    mwtest::CDeviceProcess device;
    ASSERT_TRUE(device.Start()) << device.Error();
    // The upload's trace goes to the device's folder, not to the user's log.
    setenv("XDG_STATE_HOME", (device.Root() + "/state-home").c_str(), 1);
    const std::string strGood = device.Root() + "/good.torrent";
    const std::string strBad = device.Root() + "/bad.torrent";
    mwtest::WriteTorrent(strGood, mwtest::MakeTorrent("busy-e2e.iso"));
    mwtest::WriteTorrent(strBad, "this is no torrent");

    CHeadlessDriver ui;
    const auto pJobs = CreateRealJobServices();
    struct Case {
        const char* name;
        CSend send;
        int nExpected;
        const char* message;
    };
    const std::vector<Case> cases = {
        {"accepted", {device.JobUrl(), strGood, mwtest::CDeviceProcess::kPassword}, IDOK, ""},
        {"refused by the device",
         {device.JobUrl(), strBad, mwtest::CDeviceProcess::kPassword},
         IDCANCEL,
         "The file is not a valid torrent file."},
        {"wrong password", {device.JobUrl(), strGood, "wrong"}, IDCANCEL, nullptr},
    };
    for (const auto& c : cases) {
        const NAS_BTDOWNLOAD_PARAM param = c.send.Param();
        CSearchDlg dlg(std::make_shared<const CUploadJob>(param), pJobs);
        EXPECT_EQ(dlg.DoModal(), c.nExpected) << c.name;
        if (c.message)
            EXPECT_EQ(dlg.m_strMessage, c.message) << c.name;
        else
            EXPECT_FALSE(dlg.m_strMessage.empty()) << c.name;
    }
    EXPECT_TRUE(std::filesystem::exists(device.ShareDir() + "/good.torrent")) << device.Log();
    EXPECT_FALSE(ui.Stalled());
}

} // namespace
