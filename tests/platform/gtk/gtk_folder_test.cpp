// Network folders on Linux against a throw-away smbd (run by with-smbd): the mount of a device's
// node with the window's account, the shell's background mount, and the folder browser answering
// a folder on a share in the Windows form; Linux test.
#include "tests/platform/gtk/gtk_test_support.h"

#include "platform/gtk/smb_mount.h"
#include "platform/shell.h"
#include "resources/resources.h"

#include <gio/gio.h>

#include <cstdlib>
#include <filesystem>

namespace {

using mwtest::PumpUntil;

struct CSmbServer {
    std::string strHost;
    std::string strShare;
    std::string strShareDir;
    CNetworkAccount account;

    static std::optional<CSmbServer> FromEnvironment() {
        const char* pHost = std::getenv("MW_SMB_HOST");
        if (!pHost)
            return std::nullopt;
        auto get = [](const char* pName) {
            const char* p = std::getenv(pName);
            return std::string(p ? p : "");
        };
        return CSmbServer{pHost,
                          get("MW_SMB_SHARE"),
                          get("MW_SMB_SHARE_DIR"),
                          {get("MW_SMB_USER"), get("MW_SMB_PASSWORD")}};
    }
    std::string RootUri() const { return "smb://" + strHost + "/"; }
    std::string ShareUri() const { return RootUri() + strShare + "/"; }
};

// Whether the location is mounted now (asking it does not mount it).
bool IsMounted(const std::string& strUri) {
    GFile* pFile = g_file_new_for_uri(strUri.c_str());
    GFileInfo* pInfo = g_file_query_info(pFile, G_FILE_ATTRIBUTE_STANDARD_NAME,
                                         G_FILE_QUERY_INFO_NONE, nullptr, nullptr);
    g_object_unref(pFile);
    if (!pInfo)
        return false;
    g_object_unref(pInfo);
    return true;
}

// Unmounts a share that a test before mounted, so that the case signs in anew. (The device's
// node itself is a mount that GIO keeps out of sight: it stays until the session ends.)
void Unmount(const std::string& strUri) {
    GFile* pFile = g_file_new_for_uri(strUri.c_str());
    GMount* pMount = g_file_find_enclosing_mount(pFile, nullptr, nullptr);
    g_object_unref(pFile);
    if (!pMount)
        return;
    bool bDone = false;
    g_mount_unmount_with_operation(
        pMount, G_MOUNT_UNMOUNT_FORCE, nullptr, nullptr,
        [](GObject* pSource, GAsyncResult* pResult, gpointer pData) {
            g_mount_unmount_with_operation_finish(G_MOUNT(pSource), pResult, nullptr);
            *static_cast<bool*>(pData) = true;
        },
        &bDone);
    PumpUntil([&] { return bDone; }, 10000);
    g_object_unref(pMount);
}

class GtkFolder : public ::testing::Test {
protected:
    void SetUp() override {
        if (!m_server)
            GTEST_SKIP() << "no test server (run through with-smbd)";
        if (!m_ui)
            GTEST_SKIP() << "no display";
        Unmount(m_server->ShareUri());
        ASSERT_FALSE(IsMounted(m_server->ShareUri()));
    }

    // Mounts the device's node as the folder browser and the shell do; whether the root mounted.
    bool Mount(const CNetworkAccount& account, CAskUserOperation fnAsk = nullptr) {
        bool bDone = false;
        bool bMounted = false;
        MountSmbNode(m_server->RootUri(), account, std::move(fnAsk), [&](bool b) {
            bMounted = b;
            bDone = true;
        });
        EXPECT_TRUE(PumpUntil([&] { return bDone; }, 30000));
        return bMounted;
    }

    std::optional<CSmbServer> m_server = CSmbServer::FromEnvironment();
    mwtest::CGtkScope m_ui;
};

// First in the suite: the device's node, once mounted, stays mounted for the session.
TEST_F(GtkFolder, ADeviceThatRefusesTheAccountAndAnonymousAccessIsMountedOnlyWhenTheUserSignsIn) {
    if (IsMounted(m_server->RootUri()))
        GTEST_SKIP() << "the device's node was mounted by a test before";
    // This server refuses anonymous access; nobody is asked.
    EXPECT_FALSE(Mount({m_server->account.strUser, "wrong"}));
    EXPECT_FALSE(Mount({}));
    EXPECT_FALSE(IsMounted(m_server->RootUri()));

    // With an operation that asks the user: the user types the right account (a handler that
    // runs after ours, where a GtkMountOperation shows its dialog).
    int nAsked = 0;
    const CNetworkAccount account = m_server->account;
    const auto fnAsk = [&nAsked, &account]() -> GMountOperation* {
        GMountOperation* pOp = g_mount_operation_new();
        struct CUser {
            int* pAsked;
            CNetworkAccount account;
        };
        g_object_set_data_full(G_OBJECT(pOp), "test-user", new CUser{&nAsked, account},
                               [](gpointer p) { delete static_cast<CUser*>(p); });
        g_signal_connect_after(
            pOp, "ask-password",
            G_CALLBACK(+[](GMountOperation* pSelf, gchar*, gchar*, gchar*, GAskPasswordFlags,
                           gpointer) {
                auto* pUser = static_cast<CUser*>(g_object_get_data(G_OBJECT(pSelf), "test-user"));
                ++*pUser->pAsked;
                g_mount_operation_set_anonymous(pSelf, FALSE);
                g_mount_operation_set_username(pSelf, pUser->account.strUser.c_str());
                g_mount_operation_set_password(pSelf, pUser->account.strPassword.c_str());
                g_mount_operation_reply(pSelf, G_MOUNT_OPERATION_HANDLED);
            }),
            nullptr);
        return pOp;
    };
    EXPECT_TRUE(Mount({m_server->account.strUser, "wrong"}, fnAsk));
    EXPECT_EQ(nAsked, 1);
    EXPECT_TRUE(IsMounted(m_server->RootUri()));
    // What the user gave signs in to the shares as well.
    EXPECT_TRUE(IsMounted(m_server->ShareUri()));
}

TEST_F(GtkFolder, TheSharesAreMountedWithTheWindowsAccount) {
    struct Case {
        const char* name;
        CNetworkAccount account;
        bool bMounted;
    };
    for (const Case& c :
         {Case{"wrong password", {m_server->account.strUser, "wrong"}, false},
          Case{"no account", {}, false}, Case{"the window's account", m_server->account, true}}) {
        Unmount(m_server->ShareUri());
        Mount(c.account);
        EXPECT_EQ(IsMounted(m_server->ShareUri()), c.bMounted) << c.name;
    }
}

TEST_F(GtkFolder, TheShellMountsTheDevicesNodeInTheBackground) {
    auto pShell = CreateSystemShell();
    pShell->OpenInBackground("\\\\" + m_server->strHost, m_server->account);
    // Asked now and then only: each question goes to the same GIO daemon as the mount's work.
    auto next = std::chrono::steady_clock::now();
    EXPECT_TRUE(PumpUntil(
        [&] {
            if (std::chrono::steady_clock::now() < next)
                return false;
            next += std::chrono::milliseconds(500);
            return IsMounted(m_server->ShareUri());
        },
        30000));
}

class CProbeDlg : public CDialog {
public:
    CProbeDlg() : CDialog(GetDialogTemplate(IDD_MARLOWICK_DIALOG)) {}
    std::function<void()> m_fnOnInit;

protected:
    bool OnInitDialog() override {
        mwtest::RunSoon(m_fnOnInit);
        return true;
    }
};

TEST_F(GtkFolder, TheFolderBrowserStartsOnTheDeviceAndAnswersAFolderOnAShareInTheWindowsForm) {
    std::filesystem::create_directories(m_server->strShareDir + "/sub dir");
    const std::string strFolderUri = m_server->ShareUri() + "sub%20dir";
    CProbeDlg dlg;
    std::optional<std::string> answer;
    std::string strStartedAt;
    bool bAskedUser = true;
    // The user, step by step as the chooser comes up (checked from a timer, so that the folder
    // browser's own loops keep running): waits for it, goes into the folder and picks it.
    int nStep = 0;
    const auto fnUser = [&]() -> bool {
        GtkWidget* pChooser = mwtest::FindShownWindow(GTK_TYPE_FILE_CHOOSER_DIALOG);
        if (!pChooser)
            return true;
        auto* pFiles = GTK_FILE_CHOOSER(pChooser);
        gchar* pUri = gtk_file_chooser_get_current_folder_uri(pFiles);
        const std::string strAt = pUri ? pUri : "";
        g_free(pUri);
        if (nStep == 0 && !strAt.empty()) {
            strStartedAt = strAt;
            EXPECT_FALSE(gtk_file_chooser_get_local_only(pFiles));
            EXPECT_FALSE(gtk_file_chooser_get_create_folders(pFiles));
            // Mounted beforehand with the window's account: no password dialog anywhere.
            bAskedUser = mwtest::FindShownWindow(GTK_TYPE_DIALOG) != pChooser;
            gtk_file_chooser_set_current_folder_uri(pFiles, strFolderUri.c_str());
            nStep = 1;
        } else if (nStep == 1 && strAt == strFolderUri) {
            gtk_dialog_response(GTK_DIALOG(pChooser), GTK_RESPONSE_ACCEPT);
            nStep = 2;
            return false;
        }
        return true;
    };
    dlg.m_fnOnInit = [&] {
        const guint nUser = g_timeout_add(
            50, [](gpointer p) -> gboolean { return (*static_cast<decltype(fnUser)*>(p))(); },
            const_cast<void*>(static_cast<const void*>(&fnUser)));
        answer = GetUiBackend().BrowseForFolder(&dlg, "Select folder", "\\\\" + m_server->strHost,
                                                m_server->account);
        if (nStep < 2)
            g_source_remove(nUser);
        dlg.EndDialog(IDOK);
    };
    EXPECT_EQ(mwtest::DoModalWithin(dlg, 60000), IDOK);
    EXPECT_EQ(nStep, 2);
    EXPECT_EQ(strStartedAt, m_server->RootUri());
    EXPECT_FALSE(bAskedUser);
    EXPECT_EQ(answer, "\\\\" + m_server->strHost + "\\" + m_server->strShare + "\\sub dir");
}

} // namespace
