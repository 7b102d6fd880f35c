// The registry interface's semantics, the same on every backend; portable tests.
#include "platform/registry.h"
#include "registry_test_scope.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstring>
#include <vector>

namespace {

class RegistryTest : public ::testing::Test {
protected:
    CTestRegistryScope m_scope;
    std::unique_ptr<CRegistry> m_pRegistry = OpenUserRegistry();

    std::unique_ptr<CRegistryKey> Create() {
        std::unique_ptr<CRegistryKey> key;
        EXPECT_EQ(m_pRegistry->CreateKey(m_scope.Key(), key), kRegOk);
        return key;
    }

    // Reads a value whole through a fresh registry object, as another operation would.
    std::string ReadBack(const std::string& name) {
        auto registry = OpenUserRegistry();
        std::unique_ptr<CRegistryKey> key;
        EXPECT_EQ(registry->OpenKey(m_scope.Key(), ERegAccess::Query, key), kRegOk);
        if (!key)
            return "<no key>";
        std::uint32_t size = 0;
        EXPECT_EQ(key->QueryValue(name, nullptr, size), kRegOk);
        std::vector<char> data(size);
        EXPECT_EQ(key->QueryValue(name, data.data(), size), kRegOk);
        EXPECT_EQ(size, data.size());
        if (size == 0 || data.back() != '\0')
            return "<not NUL-terminated>";
        return std::string(data.data(), size - 1);
    }
};

TEST_F(RegistryTest, MissingKeyIsNotFoundUntilCreated) {
    std::unique_ptr<CRegistryKey> key;
    EXPECT_EQ(m_pRegistry->OpenKey(m_scope.Key(), ERegAccess::Query, key), kRegErrNotFound);
    EXPECT_EQ(m_pRegistry->OpenKey(m_scope.Key(), ERegAccess::All, key), kRegErrNotFound);
    EXPECT_EQ(key, nullptr);

    Create();
    EXPECT_EQ(m_pRegistry->OpenKey(m_scope.Key(), ERegAccess::Query, key), kRegOk);
    ASSERT_NE(key, nullptr);
    std::uint32_t size = 77;
    char buffer[8] = {};
    EXPECT_EQ(key->QueryValue("Key_UserName", buffer, size), kRegErrNotFound);
    EXPECT_EQ(size, 77u) << "a missing value leaves the size alone";
}

TEST_F(RegistryTest, QueryReportsSizeAndMoreData) {
    auto key = Create();
    ASSERT_EQ(key->SetStringValue("Key_Password", "secret12"), kRegOk);

    std::uint32_t size = 0;
    EXPECT_EQ(key->QueryValue("Key_Password", nullptr, size), kRegOk);
    EXPECT_EQ(size, 9u) << "the text and one NUL";

    char buffer[16];
    std::memset(buffer, 'x', sizeof buffer);
    size = 4;
    EXPECT_EQ(key->QueryValue("Key_Password", buffer, size), kRegErrMoreData);
    EXPECT_EQ(size, 9u);

    size = sizeof buffer;
    EXPECT_EQ(key->QueryValue("Key_Password", buffer, size), kRegOk);
    EXPECT_EQ(size, 9u);
    EXPECT_STREQ(buffer, "secret12");

    size = 9; // exactly fits
    EXPECT_EQ(key->QueryValue("Key_Password", buffer, size), kRegOk);
}

TEST_F(RegistryTest, NamesCompareWithoutCaseAndLaterWritesWin) {
    auto key = Create();
    ASSERT_EQ(key->SetStringValue("ConfirmDialog", "1"), kRegOk);
    ASSERT_EQ(key->SetStringValue("CONFIRMDIALOG", "0"), kRegOk);
    EXPECT_EQ(ReadBack("confirmdialog"), "0");

    std::string upper = m_scope.Key();
    for (auto& c : upper)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    std::unique_ptr<CRegistryKey> again;
    EXPECT_EQ(m_pRegistry->OpenKey(upper, ERegAccess::Query, again), kRegOk);
}

TEST_F(RegistryTest, QueryAccessCannotWrite) {
    Create();
    std::unique_ptr<CRegistryKey> key;
    ASSERT_EQ(m_pRegistry->OpenKey(m_scope.Key(), ERegAccess::Query, key), kRegOk);
    EXPECT_NE(key->SetStringValue("Key_IP", "10.0.0.1"), kRegOk);
}

TEST_F(RegistryTest, AwkwardValuesRoundTripWhole) {
    const std::string big = [] {
        std::string s;
        for (int i = 0; s.size() < 4096; ++i)
            s += "chunk" + std::to_string(i) + ";";
        return s.substr(0, 4096);
    }();
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"Quotes", "say \"hi\" \"\""},
        {"Backslashes", "C:\\Users\\me\\\\share\\"},
        {"Equals", "a=b==c\"=\"d"},
        {"NonAscii", "Gr\xC3\xBC\xC3\x9F"
                     "e \xE6\x97\xA5\xE6\x9C\xAC"},
        {"Empty", ""},
        {"Blanks", "  padded  "},
        {"Big", big},
        {"name with \"quote\" and \\ = sign", "v"},
    };
    {
        auto key = Create();
        for (const auto& [name, value] : cases)
            ASSERT_EQ(key->SetStringValue(name, value), kRegOk) << name;
    }
    for (const auto& [name, value] : cases)
        EXPECT_EQ(ReadBack(name), value) << name;
}

// A transaction keeps its values back until Commit, stores them together, and stores nothing
// (not even the key) when it ends without Commit.
TEST_F(RegistryTest, ATransactionStoresItsValuesTogetherAtCommit) {
    std::unique_ptr<CRegistryTransaction> reading;
    EXPECT_EQ(m_pRegistry->BeginTransaction(m_scope.Key(), ERegAccess::Query, reading),
              kRegErrNotFound);
    EXPECT_EQ(reading, nullptr);
    std::unique_ptr<CRegistryKey> key;
    {
        std::unique_ptr<CRegistryTransaction> abandoned;
        ASSERT_EQ(m_pRegistry->BeginTransaction(m_scope.Key(), ERegAccess::All, abandoned), kRegOk);
        ASSERT_EQ(abandoned->SetStringValue("Key_IP", "10.0.0.1"), kRegOk);
        // Its own writes are read back by the query rule.
        char buffer[16] = {};
        std::uint32_t size = 2;
        EXPECT_EQ(abandoned->QueryValue("key_ip", buffer, size), kRegErrMoreData);
        EXPECT_EQ(size, 9u);
        EXPECT_EQ(abandoned->QueryValue("key_ip", buffer, size), kRegOk);
        EXPECT_STREQ(buffer, "10.0.0.1");
    }
    EXPECT_EQ(m_pRegistry->OpenKey(m_scope.Key(), ERegAccess::Query, key), kRegErrNotFound);

    {
        std::unique_ptr<CRegistryTransaction> saving;
        ASSERT_EQ(m_pRegistry->BeginTransaction(m_scope.Key(), ERegAccess::All, saving), kRegOk);
        ASSERT_EQ(saving->SetStringValue("Key_IP", "10.0.0.2"), kRegOk);
        ASSERT_EQ(saving->SetStringValue("Key_UserName", "admin"), kRegOk);
        EXPECT_EQ(m_pRegistry->OpenKey(m_scope.Key(), ERegAccess::Query, key), kRegErrNotFound)
            << "nothing is stored before Commit";
        EXPECT_EQ(saving->Commit(), kRegOk);
    }
    EXPECT_EQ(ReadBack("Key_IP"), "10.0.0.2");
    EXPECT_EQ(ReadBack("Key_UserName"), "admin");

    ASSERT_EQ(m_pRegistry->BeginTransaction(m_scope.Key(), ERegAccess::Query, reading), kRegOk);
    EXPECT_NE(reading->SetStringValue("Key_IP", "10.0.0.3"), kRegOk);
    EXPECT_EQ(reading->Commit(), kRegOk);
    reading.reset();
    EXPECT_EQ(ReadBack("Key_IP"), "10.0.0.2");
}

} // namespace
