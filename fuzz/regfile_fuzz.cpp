// Fuzz target: the .reg settings file, read, written and read again; Linux test tool.
#include "platform/posix/registry_regfile_format.h"
#include "fuzz/fuzz_check.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

namespace {

constexpr std::string_view kRoot = "HKEY_CURRENT_USER";
// Enough values to reach every spelling, few enough to keep each run quick.
constexpr std::size_t kMaxSetValues = 32;

// Written out and read back, a document holds the same keys and values, and writing that again
// gives the same text.
void CheckRoundTrip(const CRegFileDocument& doc) {
    const std::string text = WriteRegFile(doc);
    CRegFileDocument back;
    std::string strError;
    Check(ParseRegFile(text, back, strError), "a written document does not read back");
    Check(back.eVersion == doc.eVersion, "version changed");
    Check(back.arrKeys.size() == doc.arrKeys.size(), "key count changed");
    for (const auto& key : doc.arrKeys) {
        CRegFileKey* found = back.FindKey(key.strPath);
        Check(found != nullptr, "a key went missing");
        Check(found->strPath == key.strPath, "a key path changed");
        Check(found->arrValues.size() == key.arrValues.size(), "value count changed");
        for (const auto& value : key.arrValues) {
            CRegFileValue* v = CRegFileDocument::FindValue(*found, value.strName);
            Check(v != nullptr, "a value went missing");
            Check(v->nType == value.nType, "a value type changed");
            Check(v->data == value.data, "value data changed");
        }
    }
    Check(WriteRegFile(back) == text, "writing a read-back document gives other text");
}

// A key path as the registry layer builds it from a sub-key: the root, a backslash and the
// sub-key without line breaks or NULs (refused there) and without trailing backslashes.
std::string KeyPathFrom(std::string_view subKey) {
    std::string path(kRoot);
    std::string part;
    for (char c : subKey) {
        if (c != '\r' && c != '\n' && c != '\0')
            part += c;
    }
    while (!part.empty() && part.back() == '\\')
        part.pop_back();
    if (!part.empty())
        path += '\\' + part;
    return path;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    CRegFileDocument doc;
    std::string strError;
    if (!ParseRegFile(std::string_view(reinterpret_cast<const char*>(data), size), doc, strError)) {
        Check(!strError.empty(), "a refusal without a reason");
        return 0;
    }
    for (const auto& key : doc.arrKeys) {
        Check(!key.strPath.empty(), "an empty key path");
        Check(doc.HasKeyOrChild(key.strPath), "a key is not found as present");
    }
    CheckRoundTrip(doc);

    // Values set through the registry: every value read becomes a string of its own bytes, both
    // where it is and in a key named after its bytes; the writer must spell all of them.
    std::vector<std::pair<std::string, std::pair<std::string, std::string>>> arrSets;
    for (const auto& key : doc.arrKeys) {
        for (const auto& value : key.arrValues) {
            if (arrSets.size() >= kMaxSetValues)
                break;
            std::string text = value.data;
            if (!text.empty() && text.back() == '\0')
                text.pop_back();
            arrSets.push_back({key.strPath, {value.strName, text}});
            arrSets.push_back({KeyPathFrom(text), {value.strName, text}});
        }
    }
    for (const auto& [path, set] : arrSets)
        CRegFileDocument::SetString(doc.FindOrAddKey(path), set.first, set.second);
    for (const auto& [path, set] : arrSets) {
        CRegFileKey* key = doc.FindKey(path);
        Check(key != nullptr, "a key just added is not found");
        Check(CRegFileDocument::FindValue(*key, set.first) != nullptr, "a value just set is gone");
    }
    CheckRoundTrip(doc);
    return 0;
}
