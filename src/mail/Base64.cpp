#include "mail/Base64.h"

namespace quorvane {

std::string EncodeBase64(std::string_view data) {
    static constexpr char Alphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve((data.size() + 2) / 3 * 4);
    size_t i = 0;
    for (; i + 3 <= data.size(); i += 3) {
        const unsigned group = static_cast<unsigned char>(data[i]) << 16 |
                               static_cast<unsigned char>(data[i + 1]) << 8 |
                               static_cast<unsigned char>(data[i + 2]);
        out += Alphabet[group >> 18 & 0x3F];
        out += Alphabet[group >> 12 & 0x3F];
        out += Alphabet[group >> 6 & 0x3F];
        out += Alphabet[group & 0x3F];
    }
    const size_t left = data.size() - i;
    if (left > 0) {
        unsigned group = static_cast<unsigned char>(data[i]) << 16;
        if (left == 2)
            group |= static_cast<unsigned char>(data[i + 1]) << 8;
        out += Alphabet[group >> 18 & 0x3F];
        out += Alphabet[group >> 12 & 0x3F];
        out += left == 2 ? Alphabet[group >> 6 & 0x3F] : '=';
        out += '=';
    }
    return out;
}

} // namespace quorvane
