#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <array>
#include <span>

namespace edi {

// FillFixedField's report of what it stored.
enum FillResult : int { StoredSingleByte = 1, StoredDoubleByte = 2 };

// Stores the Shift-JIS form of text into a fixed-width field: cut at the field's width, padded
// with spaces. A double-byte character whose lead byte would fall on the field's last byte is
// replaced by a space rather than written past the field. Returns the FillResult bits.
int fillFixedField(std::span<char> field, const QString& text);

// A 249-byte record of a CII file with its fields addressed by 1-based byte positions, as the
// message-group header and trailer are documented.
class FixedRecord {
public:
    static constexpr int kSize = 249;

    QByteArrayView field(int position, int width) const { return {bytes_.data() + position - 1, width}; }
    std::span<char> field(int position, int width) { return {bytes_.data() + position - 1, size_t(width)}; }
    int fill(int position, int width, const QString& text) { return fillFixedField(field(position, width), text); }
    // The field's Shift-JIS bytes as text, padding included.
    QString text(int position, int width) const;
    char at(int position) const { return bytes_[size_t(position - 1)]; }

    char* data() { return bytes_.data(); }
    const char* data() const { return bytes_.data(); }

private:
    std::array<char, kSize> bytes_{};  // zero bytes until the first run writes it
};

// The message-group header ("0C" block). One record lives for the whole run of the program and
// is shared by the converters: a field a conversion does not write keeps what an earlier one left.
class MessageGroupHeader : public FixedRecord {
public:
    QString bpid() const;       // bytes 74-81, trimmed
    QString infoClass() const;  // 情報区分, bytes 94-97, trimmed
    char storageMode() const { return at(147); }         // 格納モード: "M", "S" or space
    QByteArrayView storageFlag() const { return field(104, 2); }  // "11", "10" or "20"
    bool skipsMessages() const { return storageFlag() == "20"; }
    char doubleByteCode() const { return at(149); }      // 16ビット文字コード
    QString senderCode() const;         // 発信者コード, bytes 26-37, trimmed
    QString receiverCode() const;       // 受信者コード, bytes 62-73, trimmed
    QString exchangeReference() const;  // 交換参照番号, bytes 106-115, trimmed
    QString createdAt() const;          // creation date and time "yymmddhhmmss", bytes 116-127, trimmed

    // The 39 characters in front of every local record: 5 spaces, the information class in
    // 4 characters, 6 spaces, the sender party code (bytes 26-37) and the receiver party code
    // (bytes 62-73).
    QByteArray linePrefix() const;
};

// The message-group trailer ("0E" block).
class MessageGroupTrailer : public FixedRecord {};

// The message blocks of a storage mode: "S" 32001-byte blocks, anything else 251-byte blocks.
struct BlockSizes {
    int block;         // a message's first block, identifier included
    int continuation;  // data bytes of a continuation block after its digit
    bool padded;       // the last block of a message is padded with spaces
};
BlockSizes blockSizesFor(char storageMode);

}  // namespace edi
