// The main window's folder browser against a throw-away smbd (run by with-smbd): "..." opens the
// chooser on the device with the window's account, and a folder on a share comes back into the
// Destination box as share\folder; Linux test.
#include "tests/program/linux/program_window_fixture.h"

#include <cstdlib>

namespace {

using mwtest::PumpUntil;

class ProgramFolder : public mwtest::ProgramWindowTest {
protected:
    void SetUp() override {
        for (const char* pszName : {"MW_SMB_HOST", "MW_SMB_SHARE", "MW_SMB_SHARE_DIR",
                                    "MW_SMB_USER", "MW_SMB_PASSWORD"}) {
            const char* p = std::getenv(pszName);
            if (!p)
                GTEST_SKIP() << "no test server (run through with-smbd)";
            m_env[pszName] = p;
        }
        ProgramWindowTest::SetUp();
        // The search finds the server as a device named by its address.
        m_pJobs->m_arrFound = {mwtest::Device(m_env["MW_SMB_HOST"].c_str(), 127, 0, 0, 1, 1)};
    }
    std::map<std::string, std::string> m_env;
};

TEST_F(ProgramFolder, AFolderOnTheDevicesShareBecomesTheDestinationAsShareAndFolder) {
    std::filesystem::create_directories(m_env["MW_SMB_SHARE_DIR"] + "/films 2025");
    const std::string strRoot = "smb://" + m_env["MW_SMB_HOST"] + "/";
    const std::string strFolder = strRoot + m_env["MW_SMB_SHARE"] + "/films%202025";
    RunProgram(
        "",
        [&] {
            CMarlowickDlg* pDlg = MainWindowReady(1);
            ASSERT_NE(pDlg, nullptr);
            // The user types the device's account, then clicks "...".
            gtk_entry_set_text(GTK_ENTRY(m_ui->ItemWidget(*pDlg, IDC_USERNAME)),
                               m_env["MW_SMB_USER"].c_str());
            gtk_entry_set_text(GTK_ENTRY(m_ui->ItemWidget(*pDlg, IDC_PASSWORD)),
                               m_env["MW_SMB_PASSWORD"].c_str());
            // In the chooser (checked from a timer, as the browser's own loops run): wait for it on
            // the device, go into the folder, pick it.
            int nStep = 0;
            std::string strStartedAt;
            std::function<bool()> fnUser = [&]() -> bool {
                GtkWidget* pChooser = mwtest::FindShownWindow(GTK_TYPE_FILE_CHOOSER_DIALOG);
                if (!pChooser)
                    return true;
                gchar* pUri = gtk_file_chooser_get_current_folder_uri(GTK_FILE_CHOOSER(pChooser));
                const std::string strAt = pUri ? pUri : "";
                g_free(pUri);
                if (nStep == 0 && !strAt.empty()) {
                    strStartedAt = strAt;
                    gtk_file_chooser_set_current_folder_uri(GTK_FILE_CHOOSER(pChooser),
                                                            strFolder.c_str());
                    nStep = 1;
                } else if (nStep == 1 && strAt == strFolder) {
                    gtk_dialog_response(GTK_DIALOG(pChooser), GTK_RESPONSE_ACCEPT);
                    nStep = 2;
                    return false;
                }
                return true;
            };
            const guint nUser = g_timeout_add(
                50,
                [](gpointer p) -> gboolean { return (*static_cast<std::function<bool()>*>(p))(); },
                &fnUser);
            Click(*pDlg, IDC_BROWSE);
            if (nStep < 2)
                g_source_remove(nUser);
            EXPECT_EQ(nStep, 2);
            EXPECT_EQ(strStartedAt, strRoot);
            EXPECT_EQ(pDlg->GetItemText(IDC_DESTINATION), m_env["MW_SMB_SHARE"] + "\\films 2025");
            EXPECT_EQ(pDlg->m_strRootSharelist, m_env["MW_SMB_SHARE"] + "\\films 2025");
            pDlg->EndDialog(IDCANCEL);
        },
        1);
}

} // namespace
