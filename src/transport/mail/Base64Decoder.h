#pragma once

#include <QByteArrayView>

namespace edi {

// Decodes base64 as mail programs do: what is not of the alphabet (line ends, blanks) is left
// out, "=" ends the data, and a last quantum without its "=" padding still gives its bytes. Only
// a single character left over, which holds no whole byte, cannot be decoded: the text was cut.
class Base64Decoder {
public:
    // The most bytes a piece of encoded text gives.
    static qsizetype decodedSize(qsizetype encoded) { return encoded / 4 * 3 + 3; }
    // Writes the bytes of the next piece of encoded text to `out`, which holds decodedSize()
    // bytes; returns how many.
    qsizetype decode(QByteArrayView encoded, char* out);
    // Writes the bytes of a last quantum without padding (at most two); none (-1) when a lone
    // character is left.
    qsizetype finish(char* out);

private:
    quint32 bits_ = 0;  // the characters of the quantum so far, six bits each
    int count_ = 0;     // how many
    bool ended_ = false;
};

}  // namespace edi
