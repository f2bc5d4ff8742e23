#pragma once

#include "QtPrinters.h"

#include "convert/localcii/MessageGroupHeader.h"

#include <QByteArray>
#include <QList>
#include <QString>

namespace edi::test {

// The bytes of a message body, written element by element as a CII writer would.
class BodyBuilder {
public:
    // A data element: the tag in the current section's form and the length indicator.
    BodyBuilder& element(qint32 tag, const QByteArray& value);
    BodyBuilder& twoByteSection();             // X'F0'
    BodyBuilder& group();                      // X'FA' in the one-byte section
    BodyBuilder& group(qint32 number);         // X'FA' n or X'FD' n n in the two-byte section
    BodyBuilder& nextRepetition();             // X'FB'
    BodyBuilder& endGroup();                   // X'FC'
    BodyBuilder& raw(const QByteArray& bytes);
    QByteArray bytes() const { return bytes_; }

private:
    QByteArray bytes_;
    bool twoByteSection_ = false;
};

struct GroupFields {
    QString infoClass = QStringLiteral("0101");
    QString bpid = QStringLiteral("DEMO0101");
    char storageMode = 'M';
    QByteArray storageFlag;  // empty: "11" for mode "M", "10" for "S"
    QString sender = QStringLiteral("S1");
    QString receiver = QStringLiteral("R1");
    char doubleByteCode = 'M';
    QString reference;                                 // 交換参照番号
    QString created = QStringLiteral("261208093000");  // creation date and time, yymmddhhmmss
};

MessageGroupHeader makeHeader(const GroupFields& fields);

// A whole message group: header block, the messages numbered from 1 in the blocks of the
// storage mode, and the trailer block counting them.
QByteArray ciiGroup(const GroupFields& fields, const QList<QByteArray>& bodies);

// Shift-JIS bytes of a text.
QByteArray sjis(const QString& text);

}  // namespace edi::test
