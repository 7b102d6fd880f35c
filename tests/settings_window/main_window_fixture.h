// Test doubles of the main window's seams (job services, shell, association lookup), a settings
// store of the test's own, and a headless backend; portable test support.
#pragma once

#include "app/app_services.h"
#include "discovery/device_list.h"
#include "platform/headless/headless_driver.h"
#include "registry_test_scope.h"
#include "resources/resources.h"
#include "settings_window/marlowick_dlg.h"
#include "tests/app/job_services_stub.h"

#include <gtest/gtest.h>

#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace mwtest {

// One upload as the fake saw it.
struct CSentJob {
    std::string strUrl, strFile, strUser, strPassword, strShareList, strSubDir, strHShareList;
};

struct CUploadOutcome {
    int nResult;
    VARNEL_DWORD nCode;
    std::string strMessage;
};

// Searches find the devices set beforehand; a device accepts one account; uploads answer as
// scripted (accepted once the script is used up). Worker threads call it, so it locks.
class CFakeJobs final : public CJobServicesStub {
public:
    std::vector<NAS_DEVICE_INFO> m_arrFound;
    std::string m_strGoodUser = "admin";
    std::string m_strGoodPassword = "secret";
    std::deque<CUploadOutcome> m_uploads;

    bool StartSockets() override {
        std::lock_guard<std::mutex> lock(m_mutex);
        ++m_nStarts;
        return true;
    }
    void StopSockets() override {
        std::lock_guard<std::mutex> lock(m_mutex);
        ++m_nStops;
    }
    bool Search(CDeviceList& list) override {
        std::lock_guard<std::mutex> lock(m_mutex);
        ++m_nSearches;
        for (const auto& device : m_arrFound)
            if (!list.Find(device.mac))
                list.AddTail(device);
        return true;
    }
    bool CheckAccount(CDeviceList& list, int nIndex, const std::string& strUser,
                      const std::string& strPassword) override {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_arrChecks.push_back(std::to_string(nIndex) + " " + strUser + " " + strPassword);
        return list.GetAt(nIndex) && strUser == m_strGoodUser && strPassword == m_strGoodPassword;
    }
    int Upload(const NAS_BTDOWNLOAD_PARAM& p, std::string& strMessage,
               VARNEL_DWORD& nCode) override {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_arrSent.push_back(
            {p.url, p.local_filename, p.user, p.pw, p.share_list, p.subdir, p.h_share_list});
        CUploadOutcome outcome{1, 0, ""};
        if (!m_uploads.empty()) {
            outcome = m_uploads.front();
            m_uploads.pop_front();
        }
        strMessage = outcome.strMessage;
        nCode = outcome.nCode;
        return outcome.nResult;
    }

    int Starts() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_nStarts;
    }
    int Stops() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_nStops;
    }
    int Searches() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_nSearches;
    }
    std::vector<std::string> Checks() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_arrChecks;
    }
    std::vector<CSentJob> Sent() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_arrSent;
    }

private:
    std::mutex m_mutex;
    int m_nStarts = 0, m_nStops = 0, m_nSearches = 0;
    std::vector<std::string> m_arrChecks;
    std::vector<CSentJob> m_arrSent;
};

// Records what the window asks of the desktop.
class CFakeShell final : public CShell {
public:
    std::string m_strModulePath = "C:\\Apps\\M\\Marlowick.exe";
    std::vector<std::pair<std::string, std::string>> m_arrStarted;
    std::vector<std::string> m_arrOpened;
    std::vector<CNetworkAccount> m_arrOpenedWith;

    bool StartHidden(const std::string& strProgram, const std::string& strArgument) override {
        m_arrStarted.emplace_back(strProgram, strArgument);
        return true;
    }
    void OpenInBackground(const std::string& strPath, const CNetworkAccount& account) override {
        m_arrOpened.push_back(strPath);
        m_arrOpenedWith.push_back(account);
    }
    std::string GetModulePath() override { return m_strModulePath; }
};

class CFakeAssociation final : public CAssociationLookup {
public:
    std::string m_strCommand;
    std::string GetHandlerCommand(const std::string& strExtension) override {
        return strExtension == ".torrent" ? m_strCommand : std::string();
    }
};

// A device as a search reply describes it.
inline NAS_DEVICE_INFO Device(const char* pszName, std::uint8_t a, std::uint8_t b, std::uint8_t c,
                              std::uint8_t d, std::uint8_t nMac) {
    NAS_DEVICE_INFO info{};
    std::memcpy(info.name, pszName, std::min<std::size_t>(std::strlen(pszName), 15));
    info.mac[5] = nMac;
    const std::uint8_t bytes[4] = {a, b, c, d};
    std::memcpy(&info.ip, bytes, 4); // network order: the first byte first
    return info;
}

class MainWindowTest : public ::testing::Test {
protected:
    CTestRegistryScope m_scope;
    std::shared_ptr<CRegistry> m_pRegistry{OpenUserRegistry()};
    CDeviceList m_list;
    std::shared_ptr<CFakeJobs> m_pJobs = std::make_shared<CFakeJobs>();
    std::shared_ptr<CFakeShell> m_pShell = std::make_shared<CFakeShell>();
    std::shared_ptr<CFakeAssociation> m_pAssociation = std::make_shared<CFakeAssociation>();
    CHeadlessDriver m_ui;

    void TearDown() override {
        EXPECT_FALSE(m_ui.Stalled());
        EXPECT_EQ(m_ui.PendingSteps(), 0u);
    }

    CAppServices Services() {
        CAppServices s;
        s.pJobs = m_pJobs;
        s.pRegistry = m_pRegistry;
        s.strSettingsKey = m_scope.Key();
        s.pShell = m_pShell;
        s.pAssociation = m_pAssociation;
        s.pDeviceList = &m_list;
        return s;
    }
    CSettingsStore Store() { return CSettingsStore(*m_pRegistry, m_scope.Key()); }

    // Stores the current settings as a Set of the program would, and the saved entries.
    void StoreSettings(const CMarlowickSettings& settings) {
        CMarlowickSettings s = settings;
        ASSERT_TRUE(Store().SaveSettings(s));
    }
    void StoreEntry(const std::string& strDevice, const std::string& strUser,
                    const std::string& strPassword, const std::string& strDestination) {
        CMarlowickSettings s;
        Store().LoadSavedEntries(s);
        s.m_nSavedCount = static_cast<int>(s.m_arrSavedEntries.size());
        s.m_strTargetDevice = strDevice;
        s.m_strUserName = strUser;
        s.m_strPassword = strPassword;
        s.m_strRootSharelist = strDestination;
        ASSERT_TRUE(Store().SaveSettings(s));
    }

    // Ends a dialog from a step (the window's own Cancel, as Close does).
    static void Close(CDialog& dlg) { dlg.EndDialog(IDCANCEL); }

    std::vector<std::string> BoxTexts() {
        std::vector<std::string> out;
        for (const auto& box : m_ui.MessageBoxes())
            out.push_back(box.strText);
        return out;
    }
};

} // namespace mwtest
