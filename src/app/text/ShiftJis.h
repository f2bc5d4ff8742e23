#pragma once

#include <QByteArray>
#include <QString>
#include <QStringView>

namespace edi {

// Converts between Unicode text and the Shift-JIS bytes (code page 932) that files and the
// database use. Opening the converters is the expensive part, so an object is meant to be kept
// and reused; it is not thread-safe, use one per thread (see threadShiftJis()).
class ShiftJisCodec {
public:
    ShiftJisCodec();
    ~ShiftJisCodec();
    ShiftJisCodec(const ShiftJisCodec&) = delete;
    ShiftJisCodec& operator=(const ShiftJisCodec&) = delete;

    // Characters the code page lacks become '?', as the platform's ANSI conversion does.
    QByteArray encode(QStringView text);
    // Appends to `out` instead of returning a new array; lets hot paths reuse one buffer.
    void encodeInto(QStringView text, QByteArray& out);
    // Bytes that form no character become U+FFFD.
    QString decode(QByteArrayView bytes);
    void decodeInto(QByteArrayView bytes, QString& out);

    // UTF-8 text as Shift-JIS, appended to out; characters the code page lacks become '?'.
    void encodeUtf8Into(QByteArrayView utf8, QByteArray& out);
    // Shift-JIS bytes as UTF-8, appended to out; bytes that form no character become U+FFFD.
    void decodeToUtf8(QByteArrayView bytes, QByteArray& out);

    // Byte count of the Shift-JIS form, without building it.
    qsizetype byteLength(QStringView text);
    // True when every character has a Shift-JIS form.
    bool isRepresentable(QStringView text);

private:
    void* toShiftJis_;
    void* fromShiftJis_;
    void* shiftJisToUtf8_;
    void* utf8ToShiftJis_;
};

// The calling thread's codec.
ShiftJisCodec& threadShiftJis();

// True for a byte that starts a two-byte Shift-JIS character.
constexpr bool isShiftJisLeadByte(unsigned char b)
{
    return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
}

// True when the text's last byte starts a two-byte character whose second byte is missing: it
// would pair with whatever follows the text.
bool endsInLoneLeadByte(QByteArrayView bytes);

}  // namespace edi
