#include "transport/mail/Base64Decoder.h"

#include <array>

namespace edi {
namespace {

// The six bits of each character of the alphabet; -1 for any other byte.
constexpr std::array<qint8, 256> kValues = [] {
    std::array<qint8, 256> values{};
    values.fill(-1);
    constexpr char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    for (int i = 0; i < 64; ++i)
        values[quint8(alphabet[i])] = qint8(i);
    return values;
}();

}  // namespace

qsizetype Base64Decoder::decode(QByteArrayView encoded, char* out)
{
    char* next = out;
    for (const char byte : encoded) {
        if (ended_)
            break;
        if (byte == '=') {
            ended_ = true;
            break;
        }
        const qint8 value = kValues[quint8(byte)];
        if (value < 0)
            continue;
        bits_ = (bits_ << 6) | quint32(value);
        if (++count_ == 4) {
            *next++ = char(bits_ >> 16);
            *next++ = char(bits_ >> 8);
            *next++ = char(bits_);
            bits_ = 0;
            count_ = 0;
        }
    }
    return next - out;
}

qsizetype Base64Decoder::finish(char* out)
{
    qsizetype written = 0;
    switch (count_) {
    case 1: written = -1; break;
    case 2: out[0] = char(bits_ >> 4); written = 1; break;
    case 3: out[0] = char(bits_ >> 10); out[1] = char(bits_ >> 2); written = 2; break;
    default: break;
    }
    bits_ = 0;
    count_ = 0;
    return written;
}

}  // namespace edi
