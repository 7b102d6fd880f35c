// Fuzz target: the reference device's check of uploaded .torrent files; Linux test tool.
#include "device/torrent.h"
#include "fuzz/fuzz_check.h"

#include <cstdio>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // libFuzzer's block is exactly the input's size: a read past it is reported.
    const std::string_view file(reinterpret_cast<const char*>(data), size);
    std::string_view info;
    std::string strWhy;
    if (!CheckTorrent(file, info, strWhy)) {
        Check(!strWhy.empty(), "a refusal without a reason");
        return 0;
    }
    Check(file.front() == 'd' && file.back() == 'e', "accepted, yet not one dictionary");
    Check(info.data() >= file.data() && info.data() + info.size() <= file.data() + file.size(),
          "the info span lies outside the file");
    Check(info.size() >= 2 && info.front() == 'd' && info.back() == 'e',
          "the info span is not a dictionary");

    // The info dictionary alone, wrapped in a file of its own, is accepted and found again.
    const std::string wrapped = "d4:info" + std::string(info) + "e";
    std::string_view info2;
    Check(CheckTorrent(wrapped, info2, strWhy), "the info dictionary alone is refused");
    Check(info2 == info, "the info dictionary alone spans other bytes");

    // Any cut of an accepted file is refused: one value must end exactly at the end.
    std::string_view ignored;
    Check(!CheckTorrent(file.substr(0, file.size() - 1), ignored, strWhy), "a cut file accepted");

    const std::string hash = InfoHashHex(info);
    Check(hash.size() == 40 && hash.find_first_not_of("0123456789abcdef") == std::string::npos,
          "the info hash is not 40 hex digits");
    return 0;
}
