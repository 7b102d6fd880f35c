// Mounting a device's network node and its shares through GIO; Linux platform code.
#include "platform/gtk/smb_mount.h"

#include <gio/gio.h>

#include <memory>

namespace {

// Mounts that have not ended by then are cancelled (a device that does not answer).
constexpr guint kLimitMs = 20000;
// A device lists a handful of shares; more are not mounted in advance.
constexpr int kMaxShares = 32;

class CMountJob;

// The answers one mount operation has given.
struct CAnswers {
    CMountJob* pJob = nullptr;
    bool bMayAskUser = false;
    bool bTriedAccount = false;
    bool bTriedAnonymous = false;
    bool bAskingUser = false;
};

class CMountJob {
public:
    CMountJob(const std::string& strUri, const CNetworkAccount& account, CAskUserOperation fnAsk,
              std::function<void(bool)> fnDone)
        : m_strUri(strUri), m_account(account), m_fnAsk(std::move(fnAsk)),
          m_fnDone(std::move(fnDone)), m_pCancel(g_cancellable_new()) {}
    ~CMountJob() {
        if (m_nLimit)
            g_source_remove(m_nLimit);
        g_object_unref(m_pCancel);
    }
    CMountJob(const CMountJob&) = delete;
    CMountJob& operator=(const CMountJob&) = delete;

    void Start() {
        ArmLimit();
        Mount(m_strUri, true);
    }

private:
    struct CCall {
        CMountJob* pJob;
        GMountOperation* pOp;
    };

    void Mount(const std::string& strUri, bool bRoot) {
        GFile* pFile = g_file_new_for_uri(strUri.c_str());
        GMountOperation* pOp = bRoot && m_fnAsk ? m_fnAsk() : nullptr;
        if (!pOp)
            pOp = g_mount_operation_new();
        auto* pAnswers = new CAnswers{this, bRoot && m_fnAsk, false, false, false};
        g_object_set_data_full(G_OBJECT(pOp), "mw-answers", pAnswers,
                               [](gpointer p) { delete static_cast<CAnswers*>(p); });
        g_signal_connect(pOp, "ask-password", G_CALLBACK(OnAskPassword), pAnswers);
        g_signal_connect(pOp, "ask-question", G_CALLBACK(OnAskQuestion), pAnswers);
        g_signal_connect(pOp, "reply", G_CALLBACK(OnReply), pAnswers);
        ++m_nPending;
        g_file_mount_enclosing_volume(pFile, G_MOUNT_MOUNT_NONE, pOp, m_pCancel,
                                      bRoot ? OnRootMounted : OnShareMounted, new CCall{this, pOp});
        g_object_unref(pFile);
    }

    static void OnAskPassword(GMountOperation* pOp, const char* /*pMessage*/,
                              const char* /*pDefaultUser*/, const char* pDefaultDomain,
                              GAskPasswordFlags flags, gpointer pData) {
        auto* pAnswers = static_cast<CAnswers*>(pData);
        const CNetworkAccount& account = pAnswers->pJob->m_account;
        if (!account.strUser.empty() && !pAnswers->bTriedAccount) {
            pAnswers->bTriedAccount = true;
            g_mount_operation_set_anonymous(pOp, FALSE);
            g_mount_operation_set_username(pOp, account.strUser.c_str());
            g_mount_operation_set_password(pOp, account.strPassword.c_str());
            if (pDefaultDomain)
                g_mount_operation_set_domain(pOp, pDefaultDomain);
            g_mount_operation_set_password_save(pOp, G_PASSWORD_SAVE_NEVER);
            Answer(pOp, G_MOUNT_OPERATION_HANDLED);
            return;
        }
        if ((flags & G_ASK_PASSWORD_ANONYMOUS_SUPPORTED) && !pAnswers->bTriedAnonymous) {
            pAnswers->bTriedAnonymous = true;
            g_mount_operation_set_anonymous(pOp, TRUE);
            Answer(pOp, G_MOUNT_OPERATION_HANDLED);
            return;
        }
        if (pAnswers->bMayAskUser) {
            // The operation's own handler asks; the user may take their time.
            pAnswers->bAskingUser = true;
            pAnswers->pJob->DisarmLimit();
            return;
        }
        Answer(pOp, G_MOUNT_OPERATION_ABORTED);
    }

    static void OnAskQuestion(GMountOperation* pOp, const char* /*pMessage*/,
                              const char** /*pChoices*/, gpointer pData) {
        if (!static_cast<CAnswers*>(pData)->bMayAskUser)
            Answer(pOp, G_MOUNT_OPERATION_ABORTED);
    }

    // What the user gave signs in to the shares as well.
    static void OnReply(GMountOperation* pOp, GMountOperationResult result, gpointer pData) {
        auto* pAnswers = static_cast<CAnswers*>(pData);
        if (!pAnswers->bAskingUser)
            return;
        pAnswers->bAskingUser = false;
        pAnswers->pJob->ArmLimit();
        const char* pUser = g_mount_operation_get_username(pOp);
        if (result == G_MOUNT_OPERATION_HANDLED && !g_mount_operation_get_anonymous(pOp) && pUser &&
            *pUser) {
            const char* pPassword = g_mount_operation_get_password(pOp);
            pAnswers->pJob->m_account = {pUser, pPassword ? pPassword : ""};
        }
    }

    // Our answer replaces the operation's own (a dialog, or "unhandled").
    static void Answer(GMountOperation* pOp, GMountOperationResult result) {
        g_mount_operation_reply(pOp, result);
        g_signal_stop_emission_by_name(pOp, "ask-password");
    }

    static bool Mounted(GObject* pSource, GAsyncResult* pResult) {
        GError* pError = nullptr;
        const bool bMounted =
            g_file_mount_enclosing_volume_finish(G_FILE(pSource), pResult, &pError) ||
            g_error_matches(pError, G_IO_ERROR, G_IO_ERROR_ALREADY_MOUNTED);
        g_clear_error(&pError);
        return bMounted;
    }

    static void OnRootMounted(GObject* pSource, GAsyncResult* pResult, gpointer pData) {
        std::unique_ptr<CCall> pCall(static_cast<CCall*>(pData));
        CMountJob* pJob = pCall->pJob;
        g_object_unref(pCall->pOp);
        pJob->m_bRootMounted = Mounted(pSource, pResult);
        if (pJob->m_bRootMounted) {
            ++pJob->m_nPending;
            g_file_enumerate_children_async(
                G_FILE(pSource),
                G_FILE_ATTRIBUTE_STANDARD_NAME "," G_FILE_ATTRIBUTE_STANDARD_TARGET_URI,
                G_FILE_QUERY_INFO_NONE, G_PRIORITY_DEFAULT, pJob->m_pCancel, OnEnumerated, pJob);
        }
        pJob->Ended();
    }

    static void OnEnumerated(GObject* pSource, GAsyncResult* pResult, gpointer pData) {
        auto* pJob = static_cast<CMountJob*>(pData);
        GFileEnumerator* pEnum =
            g_file_enumerate_children_finish(G_FILE(pSource), pResult, nullptr);
        if (!pEnum) {
            pJob->Ended();
            return;
        }
        g_file_enumerator_next_files_async(pEnum, kMaxShares, G_PRIORITY_DEFAULT, pJob->m_pCancel,
                                           OnShares, pJob);
        g_object_unref(pEnum);
    }

    static void OnShares(GObject* pSource, GAsyncResult* pResult, gpointer pData) {
        auto* pJob = static_cast<CMountJob*>(pData);
        GList* pInfos =
            g_file_enumerator_next_files_finish(G_FILE_ENUMERATOR(pSource), pResult, nullptr);
        for (GList* p = pInfos; p; p = p->next) {
            const char* pTarget = g_file_info_get_attribute_string(
                G_FILE_INFO(p->data), G_FILE_ATTRIBUTE_STANDARD_TARGET_URI);
            if (pTarget && g_str_has_prefix(pTarget, "smb://"))
                pJob->Mount(pTarget, false);
        }
        g_list_free_full(pInfos, g_object_unref);
        pJob->Ended();
    }

    static void OnShareMounted(GObject* pSource, GAsyncResult* pResult, gpointer pData) {
        std::unique_ptr<CCall> pCall(static_cast<CCall*>(pData));
        g_object_unref(pCall->pOp);
        Mounted(pSource, pResult);
        pCall->pJob->Ended();
    }

    // One call ended; the last one reports and ends the job.
    void Ended() {
        if (--m_nPending > 0)
            return;
        auto fnDone = std::move(m_fnDone);
        const bool bMounted = m_bRootMounted;
        delete this;
        if (fnDone)
            fnDone(bMounted);
    }

    void ArmLimit() {
        DisarmLimit();
        m_nLimit = g_timeout_add(kLimitMs, OnLimit, this);
    }
    void DisarmLimit() {
        if (m_nLimit)
            g_source_remove(m_nLimit);
        m_nLimit = 0;
    }
    static gboolean OnLimit(gpointer pData) {
        auto* pJob = static_cast<CMountJob*>(pData);
        pJob->m_nLimit = 0;
        g_cancellable_cancel(pJob->m_pCancel);
        return G_SOURCE_REMOVE;
    }

    std::string m_strUri;
    CNetworkAccount m_account;
    CAskUserOperation m_fnAsk;
    std::function<void(bool)> m_fnDone;
    GCancellable* m_pCancel;
    guint m_nLimit = 0;
    int m_nPending = 0;
    bool m_bRootMounted = false;
};

} // namespace

void MountSmbNode(const std::string& strUri, const CNetworkAccount& account,
                  CAskUserOperation fnAskUser, std::function<void(bool bMounted)> fnDone) {
    (new CMountJob(strUri, account, std::move(fnAskUser), std::move(fnDone)))->Start();
}
