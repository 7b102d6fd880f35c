// Pennick's store on Linux: our desktop entry in $XDG_DATA_HOME/applications, made the default
// for application/x-bittorrent through GIO; the replaced default is kept in the entry itself;
// Linux backend.
#include "outside/pennick/pennick.h"

#include <gio/gdesktopappinfo.h>
#include <gio/gio.h>

#include <chrono>
#include <fcntl.h>
#include <filesystem>
#include <sys/file.h>
#include <system_error>
#include <thread>
#include <unistd.h>

namespace {

constexpr const char* kType = "application/x-bittorrent";
constexpr const char* kOurId = "marlowick-arbolet.desktop";
// The default that our entry replaced; present (maybe empty) once it replaced one.
constexpr const char* kPreviousKey = "X-Marlowick-Previous";

struct CGFree {
    void operator()(void* p) const { g_free(p); }
};
using CGString = std::unique_ptr<char, CGFree>;
struct CGUnref {
    void operator()(void* p) const { g_object_unref(p); }
};
template <class T> using CGObject = std::unique_ptr<T, CGUnref>;
struct CKeyFileFree {
    void operator()(GKeyFile* p) const { g_key_file_free(p); }
};
using CKeyFile = std::unique_ptr<GKeyFile, CKeyFileFree>;

// An argument of Exec, quoted as desktop entries want it: inside double quotes, a backslash
// before '"', '`', '$' and '\'; '%' doubled, since Exec gives it to field codes.
std::string QuoteExecArgument(const std::string& strArgument) {
    std::string strOut = "\"";
    for (const char ch : strArgument) {
        if (ch == '"' || ch == '`' || ch == '$' || ch == '\\')
            strOut += '\\';
        if (ch == '%')
            strOut += '%';
        strOut += ch;
    }
    return strOut + "\"";
}

class CGioStore final : public CAssociationStore {
public:
    CGioStore()
        : m_strEntryPath(
              (std::filesystem::path(g_get_user_data_dir()) / "applications" / kOurId).string()) {}

    ~CGioStore() override {
        if (m_nLock >= 0)
            ::close(m_nLock); // releases the lock
    }
    CGioStore(const CGioStore&) = delete;
    CGioStore& operator=(const CGioStore&) = delete;

    bool Lock() override {
        const std::string strPath =
            (std::filesystem::path(g_get_user_runtime_dir()) / "marlowick-pennick.lock").string();
        m_nLock = ::open(strPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (m_nLock < 0)
            return Fail("cannot open " + strPath);
        // Bounded: a run takes well under a second.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (::flock(m_nLock, LOCK_EX | LOCK_NB) != 0) {
            if (std::chrono::steady_clock::now() > deadline)
                return Fail(strPath + " stayed locked for 10 s");
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return true;
    }

    std::string OurId() const override { return kOurId; }

    std::string ArboletPath() const override {
        std::error_code ec;
        const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
        return ec ? std::string("arbolet") : (self.parent_path() / "arbolet").string();
    }

    bool IsRunnable(const std::string& strProgram) const override {
        return ::access(strProgram.c_str(), X_OK) == 0 &&
               std::filesystem::is_regular_file(strProgram);
    }

    bool IsInstalled() override { return std::filesystem::exists(m_strEntryPath); }

    std::optional<std::string> Remembered() override {
        CKeyFile pFile = LoadEntry();
        if (!pFile)
            return std::nullopt;
        CGString pValue(
            g_key_file_get_string(pFile.get(), G_KEY_FILE_DESKTOP_GROUP, kPreviousKey, nullptr));
        if (!pValue)
            return std::nullopt;
        return std::string(pValue.get());
    }

    bool InstallOurs(const std::string& strArbolet) override {
        // Written before GIO first looks at the folder: GIO reads a folder once per process.
        CKeyFile pFile(g_key_file_new());
        const std::optional<std::string> previous = Remembered();
        g_key_file_set_string(pFile.get(), G_KEY_FILE_DESKTOP_GROUP, G_KEY_FILE_DESKTOP_KEY_TYPE,
                              G_KEY_FILE_DESKTOP_TYPE_APPLICATION);
        g_key_file_set_string(pFile.get(), G_KEY_FILE_DESKTOP_GROUP, G_KEY_FILE_DESKTOP_KEY_NAME,
                              "Marlowick");
        g_key_file_set_string(pFile.get(), G_KEY_FILE_DESKTOP_GROUP, G_KEY_FILE_DESKTOP_KEY_COMMENT,
                              "Hands .torrent files to the storage device's download service");
        const std::string strExec = QuoteExecArgument(strArbolet) + " %F";
        g_key_file_set_string(pFile.get(), G_KEY_FILE_DESKTOP_GROUP, G_KEY_FILE_DESKTOP_KEY_EXEC,
                              strExec.c_str());
        const char* arrTypes[] = {kType};
        g_key_file_set_string_list(pFile.get(), G_KEY_FILE_DESKTOP_GROUP,
                                   G_KEY_FILE_DESKTOP_KEY_MIME_TYPE, arrTypes, 1);
        g_key_file_set_boolean(pFile.get(), G_KEY_FILE_DESKTOP_GROUP,
                               G_KEY_FILE_DESKTOP_KEY_NO_DISPLAY, TRUE);
        g_key_file_set_boolean(pFile.get(), G_KEY_FILE_DESKTOP_GROUP,
                               G_KEY_FILE_DESKTOP_KEY_TERMINAL, FALSE);
        if (previous)
            g_key_file_set_string(pFile.get(), G_KEY_FILE_DESKTOP_GROUP, kPreviousKey,
                                  previous->c_str());
        std::error_code ec;
        std::filesystem::create_directories(std::filesystem::path(m_strEntryPath).parent_path(),
                                            ec);
        return SaveEntry(pFile.get());
    }

    bool ReadCurrent(std::string& strId) override {
        CGObject<GAppInfo> pInfo(g_app_info_get_default_for_type(kType, FALSE));
        const char* pszId = pInfo ? g_app_info_get_id(pInfo.get()) : nullptr;
        strId = pszId ? pszId : "";
        return true;
    }

    bool Remember(const std::string& strPrevious) override {
        CKeyFile pFile = LoadEntry();
        if (!pFile)
            return false;
        g_key_file_set_string(pFile.get(), G_KEY_FILE_DESKTOP_GROUP, kPreviousKey,
                              strPrevious.c_str());
        return SaveEntry(pFile.get());
    }

    bool MakeOursCurrent() override {
        CGObject<GDesktopAppInfo> pOurs(g_desktop_app_info_new(kOurId));
        if (!pOurs)
            return Fail("GIO does not take " + m_strEntryPath + " as an application");
        return SetDefault(G_APP_INFO(pOurs.get()));
    }

    bool Restore(const std::string& strPrevious) override {
        if (strPrevious.empty())
            return true; // nothing to give back: removing our entry leaves the type as it was
        CGObject<GDesktopAppInfo> pPrevious(g_desktop_app_info_new(strPrevious.c_str()));
        if (!pPrevious)
            return true; // uninstalled since: nothing to give back to
        // The default line names us: only naming the previous one replaces it.
        return SetDefault(G_APP_INFO(pPrevious.get()));
    }

    bool RemoveOurs() override {
        CGObject<GDesktopAppInfo> pOurs(g_desktop_app_info_new(kOurId));
        GError* pError = nullptr;
        // Takes our entry off the type's added associations, so that nothing lists it.
        if (pOurs && !g_app_info_remove_supports_type(G_APP_INFO(pOurs.get()), kType, &pError))
            return Fail(pError);
        std::error_code ec;
        if (!std::filesystem::remove(m_strEntryPath, ec) && ec)
            return Fail("cannot remove " + m_strEntryPath + ": " + ec.message());
        return true;
    }

    void Announce() override {
        // GIO's readers watch the files themselves; nothing to tell.
    }

    std::string Overrider() override { return {}; }

    std::string ErrorText() const override { return m_strError; }

private:
    CKeyFile LoadEntry() {
        CKeyFile pFile(g_key_file_new());
        if (!g_key_file_load_from_file(pFile.get(), m_strEntryPath.c_str(), G_KEY_FILE_NONE,
                                       nullptr))
            return nullptr;
        return pFile;
    }

    bool SaveEntry(GKeyFile* pFile) {
        GError* pError = nullptr;
        // Written whole under a temporary name, then renamed.
        if (!g_key_file_save_to_file(pFile, m_strEntryPath.c_str(), &pError))
            return Fail(pError);
        return true;
    }

    bool SetDefault(GAppInfo* pInfo) {
        GError* pError = nullptr;
        if (!g_app_info_set_as_default_for_type(pInfo, kType, &pError))
            return Fail(pError);
        return true;
    }

    bool Fail(GError* pError) {
        m_strError = pError ? pError->message : "unknown GIO failure";
        g_clear_error(&pError);
        return false;
    }

    bool Fail(const std::string& strText) {
        m_strError = strText;
        return false;
    }

    std::string m_strEntryPath;
    std::string m_strError;
    int m_nLock = -1;
};

} // namespace

std::unique_ptr<CAssociationStore> CreateAssociationStore() {
    return std::make_unique<CGioStore>();
}
