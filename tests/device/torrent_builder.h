// Builds small, well-formed .torrent files for tests; portable test support.
#pragma once

#include <cstdint>
#include <fstream>
#include <map>
#include <string>

namespace mwtest {

inline std::string BencodeString(const std::string& text) {
    return std::to_string(text.size()) + ":" + text;
}

// A bencoded dictionary from already encoded values; bencode wants the keys in byte order, which
// std::map gives.
inline std::string BencodeDict(const std::map<std::string, std::string>& entries) {
    std::string out = "d";
    for (const auto& [key, value] : entries) {
        out += BencodeString(key) + value;
    }
    return out + "e";
}

// A single-file torrent named strName with nPieces made-up piece hashes (20 bytes each, derived
// from nSeed, so that different seeds give different info hashes). 5120 pieces make a torrent of
// a little over 100 KiB.
inline std::string MakeTorrent(const std::string& strName, std::size_t nPieces = 4,
                               std::uint32_t nSeed = 1) {
    std::string pieces(nPieces * 20, '\0');
    std::uint32_t x = nSeed * 2654435761u + 12345u;
    for (auto& byte : pieces) {
        x = x * 1103515245u + 12345u;
        byte = static_cast<char>(x >> 24);
    }
    const std::uint64_t nPieceLength = 262144;
    std::string info = BencodeDict({{"length", "i" + std::to_string(nPieces * nPieceLength) + "e"},
                                    {"name", BencodeString(strName)},
                                    {"piece length", "i" + std::to_string(nPieceLength) + "e"},
                                    {"pieces", BencodeString(pieces)}});
    return BencodeDict({{"announce", BencodeString("http://tracker.invalid/announce")},
                        {"created by", BencodeString("marlowick tests")},
                        {"info", info}});
}

inline void WriteTorrent(const std::string& path, const std::string& data) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << data;
}

} // namespace mwtest
