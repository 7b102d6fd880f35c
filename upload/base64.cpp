// Standard base64 encoding of the upload's credentials; portable.
#include "upload/base64.h"

std::string EncodeBase64(std::string_view data) {
    static constexpr char kAlphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve((data.size() + 2) / 3 * 4);
    std::size_t i = 0;
    for (; i + 3 <= data.size(); i += 3) {
        const unsigned v = static_cast<unsigned char>(data[i]) << 16 |
                           static_cast<unsigned char>(data[i + 1]) << 8 |
                           static_cast<unsigned char>(data[i + 2]);
        out += kAlphabet[v >> 18 & 63];
        out += kAlphabet[v >> 12 & 63];
        out += kAlphabet[v >> 6 & 63];
        out += kAlphabet[v & 63];
    }
    if (const std::size_t rest = data.size() - i; rest > 0) {
        unsigned v = static_cast<unsigned char>(data[i]) << 16;
        if (rest == 2)
            v |= static_cast<unsigned char>(data[i + 1]) << 8;
        out += kAlphabet[v >> 18 & 63];
        out += kAlphabet[v >> 12 & 63];
        out += rest == 2 ? kAlphabet[v >> 6 & 63] : '=';
        out += '=';
    }
    return out;
}
