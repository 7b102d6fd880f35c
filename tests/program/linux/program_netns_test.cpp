// The program's main window across real networks, run by scripts/netns-devices (under with-xvfb)
// in the computer's namespace with the real search and upload: Refresh lists both reference
// devices, WebKit starts only when the page switch shows the page, and the page is the first
// device's status page listing the job just sent to it; Linux test client.
#include "tests/program/linux/program_window_fixture.h"

#include "tests/device/netns_devices.h"
#include "tests/device/torrent_builder.h"

#include <atomic>

namespace {

using mwtest::PumpUntil;

// The real services, counting the searches.
class CCountedJobs final : public CJobServices {
public:
    explicit CCountedJobs(std::shared_ptr<CJobServices> pReal) : m_pReal(std::move(pReal)) {}
    bool StartSockets() override { return m_pReal->StartSockets(); }
    void StopSockets() override { m_pReal->StopSockets(); }
    bool Search(CDeviceList& list) override {
        const bool b = m_pReal->Search(list);
        ++m_nSearches;
        return b;
    }
    bool CheckAccount(CDeviceList& list, int nIndex, const std::string& strUser,
                      const std::string& strPassword) override {
        return m_pReal->CheckAccount(list, nIndex, strUser, strPassword);
    }
    int Upload(const NAS_BTDOWNLOAD_PARAM& param, std::string& strMessage,
               VARNEL_DWORD& nCode) override {
        return m_pReal->Upload(param, strMessage, nCode);
    }
    int UploadFile(const NAS_BTDOWNLOAD_PARAM& param, VARNEL_DWORD& nCode) override {
        return m_pReal->UploadFile(param, nCode);
    }
    void SetLogLevel(int nLevel) override { m_pReal->SetLogLevel(nLevel); }
    void Sleep(unsigned nMs) override { m_pReal->Sleep(nMs); }
    void DebugOutput(const std::string& strLine) override { m_pReal->DebugOutput(strLine); }
    bool FetchPage(const std::string& strUrl, unsigned nTimeoutMs, std::string& strBody,
                   std::string& strError) override {
        return m_pReal->FetchPage(strUrl, nTimeoutMs, strBody, strError);
    }
    std::atomic<int> m_nSearches{0};

private:
    std::shared_ptr<CJobServices> m_pReal;
};

class ProgramAcrossNamespaces : public mwtest::ProgramWindowTest {
protected:
    void SetUp() override {
        m_arrDevices = mwtest::NetnsDevices();
        if (m_arrDevices.size() < 2)
            GTEST_SKIP() << "run by scripts/netns-devices, which names the devices";
        ProgramWindowTest::SetUp();
        ::setenv("XDG_STATE_HOME", (m_scope.ConfigDir() + "/state").c_str(), 1);
        m_pJobsInUse = m_pCounted;
    }
    void TearDown() override { ::unsetenv("XDG_STATE_HOME"); }

    // Sends a .torrent to the device as the program sends it: the busy dialog over the real
    // upload.
    void SendTo(const mwtest::CNetnsDevice& device, const std::string& strName) {
        const std::string strFile = m_scope.ConfigDir() + "/" + strName;
        mwtest::WriteTorrent(strFile, mwtest::MakeTorrent(strName + ".iso"));
        const std::string strUrl = "http://" + device.strAddress + "/Down/download_job.cgi";
        const NAS_BTDOWNLOAD_PARAM param{strUrl.c_str(),
                                         strFile.c_str(),
                                         device.strUser.c_str(),
                                         device.strPassword.c_str(),
                                         "public",
                                         "",
                                         "down_job.htm",
                                         "save",
                                         "public",
                                         "1",
                                         "local"};
        CSearchDlg send(std::make_shared<const CUploadJob>(param), m_pCounted);
        ASSERT_EQ(mwtest::DoModalWithin(send, 60000), IDOK) << send.m_strMessage;
    }

    std::vector<mwtest::CNetnsDevice> m_arrDevices;
    std::shared_ptr<CCountedJobs> m_pCounted =
        std::make_shared<CCountedJobs>(CreateRealJobServices());
};

TEST_F(ProgramAcrossNamespaces, RefreshListsBothDevicesAndThePageShowsTheJobJustSent) {
    for (const auto& device : m_arrDevices)
        SendTo(device, "netns-page-" + device.strName + ".torrent");
    RunProgram(
        "",
        [&] {
            CMarlowickDlg* pDlg = MainWindowReady(2);
            ASSERT_NE(pDlg, nullptr);
            // Refresh, as the user clicks it: the busy dialog, and both devices again.
            const int nSearches = m_pCounted->m_nSearches;
            Click(*pDlg, IDC_REFRESH);
            ASSERT_TRUE(PumpUntil(
                [&] {
                    return m_pCounted->m_nSearches > nSearches &&
                           !mwtest::FindShownDialog<CSearchDlg>();
                },
                60000));
            std::vector<std::string> lines =
                mwtest::ListLines(m_ui->ItemWidget(*pDlg, IDC_DEVICE_LIST));
            std::sort(lines.begin(), lines.end());
            std::vector<std::string> names;
            for (const auto& device : m_arrDevices)
                names.push_back(device.strName);
            std::sort(names.begin(), names.end());
            EXPECT_EQ(lines, names);

            // The page is hidden: no WebKit yet.
            EXPECT_EQ(m_ui->WebViewsMade(), 0);
            EXPECT_TRUE(mwtest::WebKitChildren().empty());
            // The search chose the first line's device.
            const std::string strTarget = pDlg->GetItemText(IDC_TARGET_DEVICE);
            Click(*pDlg, IDC_MONITOR_PAGE);
            WebKitWebView* pView = m_ui->WebView(*pDlg, IDC_WEB_BROWSER);
            ASSERT_NE(pView, nullptr);
            std::string strText;
            EXPECT_TRUE(PumpUntil(
                [&] {
                    strText = webkit_web_view_is_loading(pView) ? "" : mwtest::PageText(pView);
                    return strText.find("1 job(s)") != std::string::npos;
                },
                60000))
                << strText;
            EXPECT_NE(strText.find("netns-page-" + strTarget + ".torrent"), std::string::npos)
                << strText;
            pDlg->EndDialog(IDCANCEL);
        },
        2, 100000);
}

} // namespace
