#pragma once

#include <QByteArray>
#include <QByteArrayView>

namespace edi {

// Shift-JIS (code page 932) bytes into UTF-8 through a table, for long inputs such as whole
// documents: it gives exactly what the code page converter gives (the table is read from it,
// once per process), a character at a time, without a call per piece. A character cut by the
// end of one piece is completed by the next.
class ShiftJisDecoder {
public:
    // Appends the UTF-8 form of bytes to out. False at bytes that form no character; out then
    // ends with the characters before them, and offset() tells where they are.
    bool decode(QByteArrayView bytes, QByteArray& out);
    // Whether the input so far ended inside a character.
    bool isInsideCharacter() const { return lead_ != 0; }
    // Bytes of the input taken so far (the one in error not counted).
    qint64 offset() const { return offset_; }

private:
    unsigned char lead_ = 0;  // the first byte of a character cut by the end of a piece
    qint64 offset_ = 0;
};

}  // namespace edi
