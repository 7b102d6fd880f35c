// The settings store's five operations over the platform's registry; portable tests.
#include "app/settings.h"
#include "registry_test_scope.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <latch>
#include <map>
#include <thread>

// Entries shown by their fields when a comparison fails.
void PrintTo(const CSavedEntry& entry, std::ostream* out) {
    *out << '{' << entry.m_strDevice << ", " << entry.m_strUserName << ", " << entry.m_strPassword
         << ", " << entry.m_strRootShareList << '}';
}

namespace {

class SettingsTest : public ::testing::Test {
protected:
    CTestRegistryScope m_scope;
    std::unique_ptr<CRegistry> m_pRegistry = OpenUserRegistry();
    CSettingsStore m_store{*m_pRegistry, m_scope.Key()};

    void Put(const std::map<std::string, std::string>& values) {
        std::unique_ptr<CRegistryKey> key;
        ASSERT_EQ(m_pRegistry->CreateKey(m_scope.Key(), key), kRegOk);
        for (const auto& [name, text] : values)
            ASSERT_EQ(key->SetStringValue(name, text), kRegOk) << name;
    }

    std::string Raw(const std::string& name) {
        std::unique_ptr<CRegistryKey> key;
        if (m_pRegistry->OpenKey(m_scope.Key(), ERegAccess::Query, key) != kRegOk)
            return "<no key>";
        std::uint32_t size = 0;
        if (key->QueryValue(name, nullptr, size) != kRegOk)
            return "<missing>";
        std::string data(size, '\0');
        EXPECT_EQ(key->QueryValue(name, data.data(), size), kRegOk);
        return data.substr(0, data.find('\0'));
    }

    void PutEntry(int n, const std::string& device, const std::string& user) {
        const auto prefix = std::to_string(n) + "_";
        Put({{prefix + "Key_TargetDevice", device},
             {prefix + "Key_UserName", user},
             {prefix + "Key_Password", "pw" + std::to_string(n)},
             {prefix + "Key_RootShareList", "Share" + std::to_string(n)}});
    }

    static std::map<std::string, std::string> CurrentValues(const std::string& confirm) {
        return {{"Key_UserName", " admin "},
                {"Key_Password", "secret"},
                {"Key_RootShareList", "Download\\bt"},
                {"Key_SubDir", ""},
                {"Key_IP", "192.168.1.20"},
                {"ConfirmDialog", confirm},
                {"Key_TargetDevice", "NAS-1"}};
    }
};

TEST_F(SettingsTest, NoKeyAtAll) {
    EXPECT_TRUE(m_store.IsConfirmDialogOn());
    CMarlowickSettings s;
    s.m_strIP = "untouched";
    EXPECT_FALSE(m_store.LoadSettings(s));
    EXPECT_EQ(s.m_strIP, "untouched");
    EXPECT_EQ(s.m_nConfirmDialog, 0);
    EXPECT_EQ(m_store.LoadSavedEntries(s), 0);
    EXPECT_TRUE(s.m_arrSavedEntries.empty());
}

TEST_F(SettingsTest, LoadsTheCurrentSettingsTrimmed) {
    Put(CurrentValues("1"));
    CMarlowickSettings s;
    EXPECT_TRUE(m_store.LoadSettings(s));
    EXPECT_EQ(s.m_strUserName, "admin");
    EXPECT_EQ(s.m_strPassword, "secret");
    EXPECT_EQ(s.m_strRootSharelist, "Download\\bt");
    EXPECT_EQ(s.m_strSubFolder, "");
    EXPECT_EQ(s.m_strIP, "192.168.1.20");
    EXPECT_EQ(s.m_nConfirmDialog, 1);
    EXPECT_EQ(s.m_strTargetDevice, "NAS-1");
}

// Both readers take the switch the same way, so a direct send never meets a record that asks for
// the window's check.
TEST_F(SettingsTest, ConfirmDialogHasOneReading) {
    const std::vector<std::pair<std::string, bool>> cases = {
        {"1", true},  {" 1 ", true}, {"\t1\r\n", true}, {"0", false},
        {"2", false}, {"", false},   {"11", false},     {"yes", false}};
    for (const auto& [text, on] : cases) {
        Put(CurrentValues(text));
        CMarlowickSettings s;
        ASSERT_TRUE(m_store.LoadSettings(s));
        EXPECT_EQ(m_store.IsConfirmDialogOn(), on) << '"' << text << '"';
        EXPECT_EQ(s.m_nConfirmDialog, on ? 1 : 0) << '"' << text << '"';
    }
}

TEST_F(SettingsTest, KeyHoldingOnlyConfirmDialog) {
    EXPECT_TRUE(m_store.SaveConfirmDialog(false));
    EXPECT_EQ(Raw("ConfirmDialog"), "0");
    EXPECT_FALSE(m_store.IsConfirmDialogOn());
    EXPECT_TRUE(m_store.SaveConfirmDialog(true));
    EXPECT_TRUE(m_store.IsConfirmDialogOn());

    CMarlowickSettings s;
    EXPECT_TRUE(m_store.LoadSettings(s)) << "the key exists";
    EXPECT_EQ(s.m_strUserName, "");
    EXPECT_EQ(s.m_nConfirmDialog, 0) << "reading stopped at the first, missing value";
    EXPECT_EQ(m_store.LoadSavedEntries(s), 0);
}

TEST_F(SettingsTest, ReadingStopsAtTheFirstMissingValue) {
    auto values = CurrentValues("1");
    values.erase("Key_SubDir");
    Put(values);
    CMarlowickSettings s;
    s.m_strIP = "kept";
    EXPECT_TRUE(m_store.LoadSettings(s));
    EXPECT_EQ(s.m_strRootSharelist, "Download\\bt");
    EXPECT_EQ(s.m_strIP, "kept");
    EXPECT_EQ(s.m_strTargetDevice, "");
    EXPECT_EQ(s.m_nConfirmDialog, 0);
}

// A value longer than the one read before it fails once and is read whole on the next attempt;
// nothing is cut, however long.
TEST_F(SettingsTest, LongValuesAreReadWhole) {
    auto values = CurrentValues("0");
    values["Key_UserName"] = "a";
    values["Key_Password"] = "a much longer password than the account";
    values["Key_RootShareList"] = std::string(600, 'r');
    values["Key_IP"] = std::string(5000, 'i');
    Put(values);
    CMarlowickSettings s;
    ASSERT_TRUE(m_store.LoadSettings(s));
    EXPECT_EQ(s.m_strPassword, values["Key_Password"]);
    EXPECT_EQ(s.m_strRootSharelist, values["Key_RootShareList"]);
    EXPECT_EQ(s.m_strIP, values["Key_IP"]);
    EXPECT_EQ(s.m_strTargetDevice, "NAS-1");
}

TEST_F(SettingsTest, SavedEntriesEndAtMissingOrBlankDeviceOrMissingAccount) {
    PutEntry(0, "NAS-0", "u0");
    PutEntry(1, "NAS-1", "u1");
    CMarlowickSettings s;
    EXPECT_EQ(m_store.LoadSavedEntries(s), 2) << "2_Key_TargetDevice is missing";
    EXPECT_EQ(s.m_arrSavedEntries, (std::vector<CSavedEntry>{{"NAS-0", "u0", "pw0", "Share0"},
                                                             {"NAS-1", "u1", "pw1", "Share1"}}));

    PutEntry(2, "NAS-2", "u2");
    Put({{"1_Key_TargetDevice", "   "}});
    CMarlowickSettings blank;
    EXPECT_EQ(m_store.LoadSavedEntries(blank), 1) << "a blank device name ends the list";

    Put({{"1_Key_TargetDevice", "NAS-1"}, {"2_Key_TargetDevice", "NAS-2"}});
    Put({{"3_Key_TargetDevice", "NAS-3"}}); // entry 3 has a device name only
    CMarlowickSettings partial;
    EXPECT_EQ(m_store.LoadSavedEntries(partial), 3);
    // The entry cut short is not one of the list's: no record holds its device name alone.
    ASSERT_EQ(partial.m_arrSavedEntries.size(), 3u);
    EXPECT_EQ(partial.m_arrSavedEntries[2].m_strDevice, "NAS-2");
}

TEST_F(SettingsTest, SaveWritesCurrentSettingsAndTheDevicesEntry) {
    PutEntry(0, "NAS-0", "u0");
    PutEntry(1, "NAS-1", "u1");
    CMarlowickSettings s;
    s.m_nSavedCount = m_store.LoadSavedEntries(s);
    s.m_nSavedIndex = 1; // NAS-1 selected: its entry is overwritten
    s.m_strTargetDevice = "NAS-1";
    s.m_strUserName = "admin";
    s.m_strPassword = "  typed as is ";
    s.m_strRootSharelist = "Public\\films";
    s.m_strIP = "10.0.0.5";
    s.m_nConfirmDialog = 2;
    EXPECT_TRUE(m_store.SaveSettings(s));

    EXPECT_EQ(Raw("Key_Password"), "  typed as is ");
    EXPECT_EQ(Raw("1_Key_Password"), "  typed as is ");
    EXPECT_EQ(Raw("1_Key_UserName"), "admin");
    EXPECT_EQ(Raw("1_Key_RootShareList"), "Public\\films");
    EXPECT_EQ(Raw("0_Key_UserName"), "u0");
    EXPECT_EQ(Raw("Key_SubDir"), "");
    EXPECT_EQ(Raw("Key_IP"), "10.0.0.5");
    EXPECT_EQ(Raw("ConfirmDialog"), "1");
    EXPECT_EQ(Raw("2_Key_TargetDevice"), "<missing>");
    EXPECT_EQ(s.m_nSavedCount, 2);
    EXPECT_EQ(s.m_arrSavedEntries[1].m_strUserName, "admin");
}

// Two devices without an entry, saved one after the other in the same window, get one entry
// each; the first is not replaced by the second.
TEST_F(SettingsTest, TwoNewDevicesSavedInOneWindowGetTheirOwnEntries) {
    PutEntry(0, "NAS-0", "u0");
    CMarlowickSettings s;
    s.m_nSavedCount = m_store.LoadSavedEntries(s);
    ASSERT_EQ(s.m_nSavedCount, 1);

    for (const char* device : {"NAS-A", "NAS-B"}) {
        s.m_nSavedIndex = -1; // what selecting a device without an entry gives
        s.m_strTargetDevice = device;
        s.m_strUserName = std::string("user-") + device;
        s.m_strPassword = std::string(300, 'p'); // longer than any fixed buffer would take
        s.m_strRootSharelist = "Share";
        EXPECT_TRUE(m_store.SaveSettings(s));
    }
    EXPECT_EQ(s.m_nSavedCount, 3);
    EXPECT_EQ(s.m_nSavedIndex, 2);
    ASSERT_EQ(s.m_arrSavedEntries.size(), 3u);
    EXPECT_EQ(s.m_arrSavedEntries[1].m_strDevice, "NAS-A");
    EXPECT_EQ(s.m_arrSavedEntries[2].m_strDevice, "NAS-B");

    CMarlowickSettings fresh;
    EXPECT_EQ(m_store.LoadSavedEntries(fresh), 3);
    EXPECT_EQ(fresh.m_arrSavedEntries, s.m_arrSavedEntries);
    EXPECT_EQ(fresh.m_arrSavedEntries[1].m_strUserName, "user-NAS-A");
    EXPECT_EQ(fresh.m_arrSavedEntries[2].m_strUserName, "user-NAS-B");
    EXPECT_EQ(fresh.m_arrSavedEntries[2].m_strPassword, std::string(300, 'p'));
}

// The settings a window saves for new device n.
void Fill(CMarlowickSettings& s, int n) {
    const auto k = std::to_string(n);
    s.m_strTargetDevice = "NAS-" + k;
    s.m_strIP = "10.0.0." + k;
    s.m_strUserName = "user-" + k;
    s.m_strPassword = "pw-" + k;
    s.m_strRootSharelist = "share-" + k;
    s.m_nConfirmDialog = n % 2;
}

CSavedEntry EntryOf(int n) {
    const auto k = std::to_string(n);
    return {"NAS-" + k, "user-" + k, "pw-" + k, "share-" + k};
}

// Two windows opened before either saved: the second new device does not take the first one's
// entry, and a device that got an entry meanwhile keeps that one.
TEST_F(SettingsTest, AWindowSavesIntoTheEntriesAsTheyAreNowStored) {
    PutEntry(0, "NAS-0", "u0");
    CMarlowickSettings first;
    CMarlowickSettings second;
    first.m_nSavedCount = m_store.LoadSavedEntries(first);
    second.m_nSavedCount = m_store.LoadSavedEntries(second);

    Fill(first, 1);
    ASSERT_TRUE(m_store.SaveSettings(first));
    Fill(second, 2);
    ASSERT_TRUE(m_store.SaveSettings(second));
    EXPECT_EQ(second.m_nSavedIndex, 2);
    Fill(second, 1); // the first window's device, unknown to the second when it opened
    second.m_nSavedIndex = -1;
    ASSERT_TRUE(m_store.SaveSettings(second));
    EXPECT_EQ(second.m_nSavedIndex, 1);

    CMarlowickSettings fresh;
    EXPECT_EQ(m_store.LoadSavedEntries(fresh), 3);
    EXPECT_EQ(fresh.m_arrSavedEntries,
              (std::vector<CSavedEntry>{{"NAS-0", "u0", "pw0", "Share0"}, EntryOf(1), EntryOf(2)}));
    EXPECT_EQ(second.m_arrSavedEntries, fresh.m_arrSavedEntries);
    EXPECT_EQ(second.m_nSavedCount, 3);
}

// Ten windows, each opened before any saved, save a new device each at the same moment, each
// through its own registry object: one save is one whole set, and no entry mixes two devices.
TEST_F(SettingsTest, ParallelSavesKeepEachDevicesValuesTogether) {
    constexpr int kWriters = 10;
    std::latch start(kWriters);
    std::vector<char> arrStored(kWriters, 0);
    std::vector<std::thread> arrThreads;
    for (int n = 0; n < kWriters; ++n) {
        arrThreads.emplace_back([&, n] {
            auto pRegistry = OpenUserRegistry();
            CSettingsStore store(*pRegistry, m_scope.Key());
            CMarlowickSettings s;
            s.m_nSavedCount = store.LoadSavedEntries(s);
            Fill(s, n);
            start.arrive_and_wait();
            arrStored[n] = store.SaveSettings(s) && s.m_nSavedIndex >= 0 &&
                           s.m_arrSavedEntries.at(s.m_nSavedIndex) == EntryOf(n);
        });
    }
    for (auto& thread : arrThreads)
        thread.join();
    EXPECT_EQ(arrStored, std::vector<char>(kWriters, 1));

    CMarlowickSettings s;
    ASSERT_TRUE(m_store.LoadSettings(s));
    const int n = std::atoi(s.m_strTargetDevice.substr(s.m_strTargetDevice.find('-') + 1).c_str());
    EXPECT_EQ(
        (CSavedEntry{s.m_strTargetDevice, s.m_strUserName, s.m_strPassword, s.m_strRootSharelist}),
        EntryOf(n));
    EXPECT_EQ(s.m_strIP, "10.0.0." + std::to_string(n));
    EXPECT_EQ(s.m_nConfirmDialog, n % 2);

    EXPECT_EQ(m_store.LoadSavedEntries(s), kWriters);
    auto arrEntries = s.m_arrSavedEntries;
    std::sort(arrEntries.begin(), arrEntries.end(), [](const CSavedEntry& a, const CSavedEntry& b) {
        return a.m_strDevice < b.m_strDevice;
    });
    std::vector<CSavedEntry> arrExpected;
    for (int k = 0; k < kWriters; ++k)
        arrExpected.push_back(EntryOf(k));
    EXPECT_EQ(arrEntries, arrExpected);
}

// A registry whose values keep growing between queries: a value gets three attempts, then the
// reading ends there.
class CGrowingKey final : public CRegistryTransaction {
public:
    explicit CGrowingKey(int& queries) : m_nQueries(queries) {}
    RegStatus QueryValue(const std::string&, void*, std::uint32_t& size) override {
        ++m_nQueries;
        size += 100;
        return kRegErrMoreData;
    }
    RegStatus SetStringValue(const std::string&, const std::string&) override { return kRegOk; }
    RegStatus Commit() override { return kRegOk; }

private:
    int& m_nQueries;
};

class CGrowingRegistry final : public CRegistry {
public:
    int m_nQueries = 0; // queries made through the last key opened
    RegStatus OpenKey(const std::string&, ERegAccess, std::unique_ptr<CRegistryKey>& key) override {
        m_nQueries = 0;
        key = std::make_unique<CGrowingKey>(m_nQueries);
        return kRegOk;
    }
    RegStatus CreateKey(const std::string& sub, std::unique_ptr<CRegistryKey>& key) override {
        return OpenKey(sub, ERegAccess::All, key);
    }
    RegStatus BeginTransaction(const std::string&, ERegAccess,
                               std::unique_ptr<CRegistryTransaction>& key) override {
        m_nQueries = 0;
        key = std::make_unique<CGrowingKey>(m_nQueries);
        return kRegOk;
    }
};

TEST(SettingsQueryRule, AValueGetsThreeAttempts) {
    CGrowingRegistry registry;
    CSettingsStore store(registry);
    CMarlowickSettings s;
    EXPECT_TRUE(store.LoadSettings(s));
    EXPECT_EQ(registry.m_nQueries, 3);
    EXPECT_EQ(store.LoadSavedEntries(s), 0);
    EXPECT_EQ(registry.m_nQueries, 3);
    EXPECT_TRUE(store.IsConfirmDialogOn()) << "an unreadable switch means on";
}

} // namespace
