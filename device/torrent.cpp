// Checks uploaded .torrent files and computes their info hash; portable (OpenSSL for SHA-1).
#include "device/torrent.h"

#include <openssl/evp.h>

#include <cstdint>

namespace {

// Nesting deeper than this is refused rather than followed, so no upload can exhaust the stack.
constexpr int kMaxDepth = 64;

class CBencodeReader {
public:
    explicit CBencodeReader(std::string_view data) : m_data(data) {}

    // Skips one value at m_nPos; on a dictionary at depth 1, notes the "info" value's span.
    bool Value(int nDepth) {
        if (nDepth > kMaxDepth) {
            return Fail("nesting too deep");
        }
        if (m_nPos >= m_data.size()) {
            return Fail("truncated");
        }
        char c = m_data[m_nPos];
        if (c == 'i') {
            return Integer();
        }
        if (c >= '0' && c <= '9') {
            std::string_view ignored;
            return String(ignored);
        }
        if (c == 'l') {
            ++m_nPos;
            while (m_nPos < m_data.size() && m_data[m_nPos] != 'e') {
                if (!Value(nDepth + 1)) {
                    return false;
                }
            }
            return End();
        }
        if (c == 'd') {
            ++m_nPos;
            while (m_nPos < m_data.size() && m_data[m_nPos] != 'e') {
                std::string_view key;
                if (m_data[m_nPos] < '0' || m_data[m_nPos] > '9') {
                    return Fail("dictionary key is not a string");
                }
                if (!String(key)) {
                    return false;
                }
                std::size_t nStart = m_nPos;
                if (!Value(nDepth + 1)) {
                    return false;
                }
                if (nDepth == 0 && key == "info") {
                    m_info = m_data.substr(nStart, m_nPos - nStart);
                }
            }
            return End();
        }
        return Fail("unexpected byte");
    }

    std::size_t Pos() const { return m_nPos; }
    std::string_view Info() const { return m_info; }
    const std::string& Why() const { return m_strWhy; }

private:
    bool Fail(const char* why) {
        m_strWhy = std::string(why) + " at byte " + std::to_string(m_nPos);
        return false;
    }

    bool End() {
        if (m_nPos >= m_data.size()) {
            return Fail("truncated");
        }
        ++m_nPos;
        return true;
    }

    // i<digits>e: no leading zeros, no "-0", no empty number.
    bool Integer() {
        std::size_t p = m_nPos + 1;
        if (p < m_data.size() && m_data[p] == '-') {
            ++p;
        }
        std::size_t nDigits = p;
        while (p < m_data.size() && m_data[p] >= '0' && m_data[p] <= '9') {
            ++p;
        }
        if (p == nDigits || p >= m_data.size() || m_data[p] != 'e') {
            return Fail("bad integer");
        }
        if (m_data[nDigits] == '0' && (p - nDigits > 1 || nDigits != m_nPos + 1)) {
            return Fail("bad integer");
        }
        m_nPos = p + 1;
        return true;
    }

    // <length>:<bytes>
    bool String(std::string_view& out) {
        std::size_t p = m_nPos;
        std::uint64_t nLength = 0;
        while (p < m_data.size() && m_data[p] >= '0' && m_data[p] <= '9') {
            if (nLength > m_data.size()) {
                return Fail("string length too large");
            }
            nLength = nLength * 10 + static_cast<std::uint64_t>(m_data[p] - '0');
            ++p;
        }
        if (p >= m_data.size() || m_data[p] != ':') {
            return Fail("bad string length");
        }
        if (m_data[m_nPos] == '0' && p - m_nPos > 1) {
            return Fail("bad string length");
        }
        ++p;
        if (nLength > m_data.size() - p) {
            return Fail("string runs past the end");
        }
        out = m_data.substr(p, static_cast<std::size_t>(nLength));
        m_nPos = p + static_cast<std::size_t>(nLength);
        return true;
    }

    std::string_view m_data;
    std::size_t m_nPos = 0;
    std::string_view m_info;
    std::string m_strWhy;
};

} // namespace

bool CheckTorrent(std::string_view data, std::string_view& info, std::string& strWhy) {
    if (data.empty() || data[0] != 'd') {
        strWhy = "not a bencoded dictionary";
        return false;
    }
    CBencodeReader reader(data);
    if (!reader.Value(0)) {
        strWhy = reader.Why();
        return false;
    }
    if (reader.Pos() != data.size()) {
        strWhy = "bytes after the dictionary";
        return false;
    }
    if (reader.Info().empty() || reader.Info()[0] != 'd') {
        strWhy = "no info dictionary";
        return false;
    }
    info = reader.Info();
    return true;
}

std::string InfoHashHex(std::string_view info) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int nDigest = 0;
    EVP_Digest(info.data(), info.size(), digest, &nDigest, EVP_sha1(), nullptr);
    static const char kHex[] = "0123456789abcdef";
    std::string out;
    for (unsigned int i = 0; i < nDigest; ++i) {
        out += kHex[digest[i] >> 4];
        out += kHex[digest[i] & 15];
    }
    return out;
}
