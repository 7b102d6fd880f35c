// The .reg file behind the Linux registry: location, format, atomic and locked writes, damage;
// Linux tests.
#include "platform/posix/registry_regfile.h"
#include "platform/posix/registry_regfile_format.h"
#include "registry_test_scope.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <spawn.h>
#include <sys/stat.h>
#include <unistd.h>
#include <sys/wait.h>
#include <vector>

extern char** environ;

namespace {

namespace fs = std::filesystem;
constexpr char kKey[] = "SOFTWARE\\LM42\\Tessaly\\Marlowick\\1.0";

std::string Slurp(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

void Spill(const fs::path& path, std::string_view bytes) {
    fs::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// A value's text, or "<missing>" / "<no key>"; data past the first NUL is shown after a '|'.
std::string Query(CRegistry& registry, const std::string& name, const std::string& key = kKey) {
    std::unique_ptr<CRegistryKey> handle;
    if (registry.OpenKey(key, ERegAccess::Query, handle) != kRegOk)
        return "<no key>";
    std::uint32_t size = 0;
    if (handle->QueryValue(name, nullptr, size) != kRegOk)
        return "<missing>";
    std::string data(size, '\0');
    if (handle->QueryValue(name, data.data(), size) != kRegOk)
        return "<failed>";
    if (data.ends_with('\0'))
        data.pop_back();
    for (auto& c : data)
        if (c == '\0')
            c = '|';
    return data;
}

class RegFileTest : public ::testing::Test {
protected:
    CTestRegistryScope m_scope;
    fs::path m_file = fs::path(m_scope.ConfigDir()) / "marlowick" / "settings.reg";
    std::unique_ptr<CRegistry> m_pRegistry = OpenUserRegistry();

    void Set(const std::string& name, const std::string& value) {
        std::unique_ptr<CRegistryKey> key;
        ASSERT_EQ(m_pRegistry->CreateKey(kKey, key), kRegOk);
        ASSERT_EQ(key->SetStringValue(name, value), kRegOk);
    }

    std::vector<fs::path> AsideFiles() const {
        std::vector<fs::path> out;
        for (const auto& entry : fs::directory_iterator(m_file.parent_path()))
            if (entry.path().filename().string().starts_with("settings.reg.damaged"))
                out.push_back(entry.path());
        std::sort(out.begin(), out.end());
        return out;
    }
};

TEST_F(RegFileTest, WritesOwnerOnlyFileInTheConfigFolder) {
    EXPECT_EQ(GetRegFilePath(), m_file.string());
    Set("Key_RootShareList", "Download\\bt \"new\"");

    struct stat st {};
    ASSERT_EQ(::stat(m_file.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_EQ(Slurp(m_file), "Windows Registry Editor Version 5.00\n"
                             "\n"
                             "[HKEY_CURRENT_USER\\SOFTWARE\\LM42\\Tessaly\\Marlowick\\1.0]\n"
                             "\"Key_RootShareList\"=\"Download\\\\bt \\\"new\\\"\"\n");
    // Nothing written aside is left behind.
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(m_file.parent_path()))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"settings.reg", "settings.reg.lock"}));
}

TEST_F(RegFileTest, RelativeConfigHomeFallsBackToHome) {
    const std::string home = m_scope.ConfigDir() + "/home";
    const char* oldHome = std::getenv("HOME");
    const std::string savedHome = oldHome ? oldHome : "";
    ::setenv("HOME", home.c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", "relative/config", 1);
    EXPECT_EQ(GetRegFilePath(), home + "/.config/marlowick/settings.reg");
    ::unsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(GetRegFilePath(), home + "/.config/marlowick/settings.reg");
    ::setenv("HOME", savedHome.c_str(), 1);
}

TEST_F(RegFileTest, ReadsHandWrittenFilesAndKeepsTheirOtherValues) {
    // The usual spellings: either first line, CR LF, comments, @, dword, hex with continuation
    // lines, names in another case, duplicate names (the last counts) and import deletions.
    Spill(m_file, "REGEDIT4\r\n"
                  "\r\n"
                  "; written by hand\r\n"
                  "[HKEY_CURRENT_USER\\Software\\LM42\\Tessaly\\Marlowick\\1.0]\r\n"
                  "\"key_username\"=\"admin\"\r\n"
                  "\"Key_Password\" = \"p\\\"w\\\\d\"\r\n"
                  "@=\"default\"\r\n"
                  "\"Number\"=dword:0000002a\r\n"
                  "\"Bytes\"=hex:41,42,00,\\\r\n"
                  "  43\r\n"
                  "\"Key_IP\"=\"10.0.0.1\"\r\n"
                  "\"Key_IP\"=\"10.0.0.2\"\r\n"
                  "\"Gone\"=\"x\"\r\n"
                  "\"Gone\"=-\r\n"
                  "\r\n"
                  "[HKEY_CURRENT_USER\\Software\\Other]\r\n"
                  "\"x\"=\"y\"\r\n"
                  "[-HKEY_CURRENT_USER\\Software\\Other]\r\n");
    EXPECT_EQ(Query(*m_pRegistry, "Key_UserName"), "admin");
    EXPECT_EQ(Query(*m_pRegistry, "KEY_PASSWORD"), "p\"w\\d");
    EXPECT_EQ(Query(*m_pRegistry, ""), "default");
    EXPECT_EQ(Query(*m_pRegistry, "Number"), "*||"); // 42 as four bytes, the last NUL dropped
    EXPECT_EQ(Query(*m_pRegistry, "Bytes"), "AB|C");
    EXPECT_EQ(Query(*m_pRegistry, "Key_IP"), "10.0.0.2");
    EXPECT_EQ(Query(*m_pRegistry, "Gone"), "<missing>");
    EXPECT_EQ(Query(*m_pRegistry, "x", "Software\\Other"), "<no key>");
    // A parent of a key exists, as in the registry.
    EXPECT_EQ(Query(*m_pRegistry, "x", "Software\\LM42"), "<missing>");

    Set("ConfirmDialog", "0");
    const auto text = Slurp(m_file);
    EXPECT_TRUE(text.starts_with("REGEDIT4\n")) << text;
    EXPECT_NE(text.find("\"Bytes\"=hex:41,42,00,\\\n  43\n"), std::string::npos) << text;
    EXPECT_EQ(Query(*m_pRegistry, "Number"), "*||"); // 42 as four bytes, the last NUL dropped
    EXPECT_EQ(Query(*m_pRegistry, "Key_UserName"), "admin");
    EXPECT_EQ(Query(*m_pRegistry, "ConfirmDialog"), "0");
    EXPECT_TRUE(AsideFiles().empty());
}

TEST_F(RegFileTest, ReadsUtf16FilesAsWindowsWritesThem) {
    const std::u16string text = u"Windows Registry Editor Version 5.00\r\n\r\n"
                                u"[HKEY_CURRENT_USER\\SOFTWARE\\LM42\\Tessaly\\Marlowick\\1.0]\r\n"
                                u"\"Key_TargetDevice\"=\"B\u00fcro\"\r\n"
                                u"\"Path\"=hex(2):43,00,3a,00,5c,00,00,00\r\n";
    std::string bytes = "\xFF\xFE";
    for (char16_t c : text) {
        bytes += static_cast<char>(c & 0xFF);
        bytes += static_cast<char>(c >> 8);
    }
    Spill(m_file, bytes);
    EXPECT_EQ(Query(*m_pRegistry, "Key_TargetDevice"), "B\xC3\xBCro");
    EXPECT_EQ(Query(*m_pRegistry, "Path"), "C:\\");
}

TEST_F(RegFileTest, DamagedFileIsSetAsideAndReadsEmpty) {
    const std::vector<std::string> damaged = {
        "not a registry file\n",
        "REGEDIT4\n[HKEY_CURRENT_USER\\SOFTWARE\\LM42\\Tessaly\\Marlowick\\1.0]\n"
        "\"Key_Password\"=\"cut in the mid",
        "REGEDIT4\n[HKEY_CURRENT_USER\\SOFTWARE\\LM42\\Tessaly\\Marlowick\\1.0]\n"
        "\"Key_Password\"=\"bad \\q escape\"\n",
        "REGEDIT4\n\"Key_IP\"=\"value before any key\"\n",
        "REGEDIT4\n[HKEY_CURRENT_USER\\SOFTWARE\\LM42\\Tessaly\\Marlowick\\1.0]\n"
        "\"Key_IP\"=\"1.2.3.4\" trailing\n",
        "REGEDIT4\n[HKEY_CURRENT_USER\\SOFTWARE\\LM42\\Tessaly\\Marlowick\\1.0]\n"
        "\"N\"=dword:123456789\n",
        "REGEDIT4\n[HKEY_CURRENT_USER\\SOFTWARE\\LM42\\Tessaly\\Marlowick\\1.0\n",
        "REGEDIT4\n[\\]\n",
        std::string("REGEDIT4\n[HKEY_CURRENT_USER\\SOFTWARE]\n\"a\"=\"b\0c\"\n", 43),
    };
    for (std::size_t i = 0; i < damaged.size(); ++i) {
        Spill(m_file, damaged[i]);
        EXPECT_EQ(Query(*m_pRegistry, "Key_Password"), "<no key>") << i;
        EXPECT_FALSE(fs::exists(m_file)) << i;
        const auto aside = AsideFiles();
        ASSERT_EQ(aside.size(), i + 1) << i;
        EXPECT_EQ(Slurp(i == 0 ? m_file.string() + ".damaged"
                               : m_file.string() + ".damaged." + std::to_string(i)),
                  damaged[i])
            << i;
    }

    // A writer meeting a damaged file starts afresh and keeps the damaged one too.
    Spill(m_file, "REGEDIT4\n[broken\n");
    Set("Key_IP", "10.1.1.1");
    EXPECT_EQ(Query(*m_pRegistry, "Key_IP"), "10.1.1.1");
    EXPECT_EQ(AsideFiles().size(), damaged.size() + 1);
}

TEST_F(RegFileTest, OpenKeySeesLaterWritesOfOthers) {
    Set("Key_IP", "10.0.0.1");
    std::unique_ptr<CRegistryKey> reader;
    ASSERT_EQ(m_pRegistry->OpenKey(kKey, ERegAccess::Query, reader), kRegOk);
    auto other = OpenUserRegistry();
    std::unique_ptr<CRegistryKey> writer;
    ASSERT_EQ(other->OpenKey(kKey, ERegAccess::All, writer), kRegOk);
    ASSERT_EQ(writer->SetStringValue("Key_IP", "10.0.0.22"), kRegOk);
    char buffer[32] = {};
    std::uint32_t size = sizeof buffer;
    ASSERT_EQ(reader->QueryValue("Key_IP", buffer, size), kRegOk);
    EXPECT_STREQ(buffer, "10.0.0.22");
}

TEST_F(RegFileTest, KeyNamesThatWouldBreakTheFileAreRefused) {
    Set("Key_IP", "10.0.0.1");
    std::unique_ptr<CRegistryKey> key;
    EXPECT_EQ(m_pRegistry->CreateKey("SOFTWARE\\Bad\nName", key), kRegErrInvalidParam);
    EXPECT_EQ(key, nullptr);
    EXPECT_EQ(Query(*m_pRegistry, "Key_IP"), "10.0.0.1");
    EXPECT_TRUE(AsideFiles().empty());
}

TEST(RegFileFormat, WrittenTextParsesBackToTheSameValues) {
    CRegFileDocument doc;
    auto& key = doc.FindOrAddKey("HKEY_CURRENT_USER\\SOFTWARE\\Test");
    const std::vector<std::string> texts = {
        "plain",       "a\"b\\c", "line\nbreak\r", "=\"=", std::string("nul\0inside", 10),
        "\xE2\x82\xAC"};
    for (std::size_t i = 0; i < texts.size(); ++i)
        CRegFileDocument::SetString(key, "v" + std::to_string(i) + "\"\\", texts[i]);
    CRegFileDocument::SetString(key, "", "default");

    CRegFileDocument back;
    std::string error;
    ASSERT_TRUE(ParseRegFile(WriteRegFile(doc), back, error)) << error;
    auto* parsed = back.FindKey("hkey_current_user\\software\\test");
    ASSERT_NE(parsed, nullptr);
    for (std::size_t i = 0; i < texts.size(); ++i) {
        auto* value = CRegFileDocument::FindValue(*parsed, "V" + std::to_string(i) + "\"\\");
        ASSERT_NE(value, nullptr) << i;
        EXPECT_EQ(value->data, texts[i] + '\0') << i;
    }
    ASSERT_NE(CRegFileDocument::FindValue(*parsed, ""), nullptr);
}

// Something in the file's place that cannot be read is reported as such, not taken for "no
// settings", and a writer never replaces it.
TEST_F(RegFileTest, AFileThatCannotBeReadIsReportedAndKept) {
    const struct {
        const char* pszWhat;
        bool (*make)(const fs::path&);
    } kCases[] = {
        {"a folder", [](const fs::path& p) { return fs::create_directory(p); }},
        {"a FIFO", [](const fs::path& p) { return ::mkfifo(p.c_str(), 0600) == 0; }},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.pszWhat);
        fs::remove_all(m_file);
        fs::create_directories(m_file.parent_path());
        ASSERT_TRUE(c.make(m_file));
        const auto type = fs::symlink_status(m_file).type();
        std::unique_ptr<CRegistryKey> key;
        const RegStatus rc = m_pRegistry->OpenKey(kKey, ERegAccess::Query, key);
        EXPECT_NE(rc, kRegOk);
        EXPECT_NE(rc, kRegErrNotFound);
        EXPECT_NE(m_pRegistry->CreateKey(kKey, key), kRegOk);
        EXPECT_EQ(key, nullptr);
        EXPECT_EQ(fs::symlink_status(m_file).type(), type);
        EXPECT_TRUE(AsideFiles().empty());
    }
}

// The lock file is never reached through a symbolic link: a writer would create or lock
// whatever the link names.
TEST_F(RegFileTest, TheLockFileIsNeverFollowedThroughALink) {
    fs::create_directories(m_file.parent_path());
    const fs::path victim = fs::path(m_scope.ConfigDir()) / "victim";
    fs::create_symlink(victim, m_file.string() + ".lock");
    std::unique_ptr<CRegistryKey> key;
    EXPECT_NE(m_pRegistry->CreateKey(kKey, key), kRegOk);
    EXPECT_FALSE(fs::exists(victim));
    EXPECT_FALSE(fs::exists(m_file));
}

// Two processes write at once; neither may lose the other's values.
TEST_F(RegFileTest, ConcurrentWritersLoseNothing) {
    constexpr int kPerWriter = 100;
    const std::string count = std::to_string(kPerWriter);
    std::vector<pid_t> pids;
    for (const char* prefix : {"first", "second"}) {
        const char* argv[] = {MW_REGISTRY_WRITER, m_file.c_str(), prefix, count.c_str(), nullptr};
        pid_t pid = 0;
        ASSERT_EQ(::posix_spawn(&pid, MW_REGISTRY_WRITER, nullptr, nullptr,
                                const_cast<char* const*>(argv), environ),
                  0);
        pids.push_back(pid);
    }
    for (pid_t pid : pids) {
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    }
    for (const char* prefix : {"first", "second"})
        for (int i = 0; i < kPerWriter; ++i)
            EXPECT_EQ(Query(*m_pRegistry, std::string(prefix) + std::to_string(i)),
                      "value " + std::to_string(i))
                << prefix << i;
    EXPECT_TRUE(AsideFiles().empty());
}

} // namespace
