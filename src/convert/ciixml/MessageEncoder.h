#pragma once

#include "convert/localcii/Layout.h"

#include <QByteArray>
#include <QString>

namespace edi {

// Builds the body of one CII message from the elements of an XML message, in the grammar the
// body decoder reads: data elements with their tags in the section they need (the two-byte
// section from the first item number above 239 on), groups, repetitions and the end byte.
class MessageEncoder {
public:
    // Neither a value longer than its length indicator can say nor a body longer than the
    // long-form prefix can say can be written: a shorter one would be other data.
    static constexpr qsizetype kMaxValue = 32767;
    static constexpr qsizetype kMaxBody = 9999999 - 17 - 1;

    // Thrown when the message would outgrow kMaxBody.
    struct TooLong {};
    // Thrown when a data element's value in its CII form outgrows kMaxValue.
    struct ValueTooLong {
        qint32 number;
        qsizetype size;
    };

    // A new message of a group with this CII layout and double-byte code. The encoder is meant
    // to be kept for all messages: its buffers stay.
    void begin(const Layout& layout, char doubleByteCode);
    // A data element "JP" + number with its text. Skipped when no layout item has the number or
    // the number has no tag form (61440-65535, above 524287); adds nothing when the value
    // converts to nothing. Throws ValueTooLong and TooLong.
    void element(qint32 number, QByteArrayView utf8Text);
    // A group "JPM" + number (0-32767), its repetitions and its end.
    void groupStart(qint32 number);
    void nextRepetition() { appendByte(char(0xFB)); }
    void groupEnd() { appendByte(char(0xFC)); }
    // The body; the block writer adds the end byte.
    const QByteArray& body() const { return body_; }

private:
    void appendValue(qint32 number, const QByteArray& value);
    void appendByte(char byte)
    {
        makeRoom(1);
        body_ += byte;
    }
    void makeRoom(qsizetype bytes) const
    {
        if (body_.size() + bytes > kMaxBody)
            throw TooLong{};
    }

    const Layout* layout_ = nullptr;
    char doubleByteCode_ = 0;
    QByteArray body_;
    bool twoByteSection_ = false;
    QByteArray value_;
    QByteArray shiftJis_;
};

// The value of an XML element (UTF-8 text) in its CII form by the item's attribute, into out;
// false when the element is to be left out (an empty text, a zero number or date). shiftJis is
// a work buffer.
bool encodeXmlValue(QByteArrayView utf8Text, const LayoutItem& item, char doubleByteCode, QByteArray& out,
                    QByteArray& shiftJis);

}  // namespace edi
