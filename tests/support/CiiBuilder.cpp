#include "CiiBuilder.h"

#include "app/text/ShiftJis.h"
#include "convert/localcii/CiiBlockWriter.h"

namespace edi::test {

BodyBuilder& BodyBuilder::element(qint32 tag, const QByteArray& value)
{
    appendDataElement(bytes_, tag, value, twoByteSection_);
    return *this;
}

BodyBuilder& BodyBuilder::twoByteSection()
{
    twoByteSection_ = true;
    bytes_ += '\xF0';
    return *this;
}

BodyBuilder& BodyBuilder::group()
{
    appendGroupStart(bytes_, 0, false);
    return *this;
}

BodyBuilder& BodyBuilder::group(qint32 number)
{
    appendGroupStart(bytes_, number, true);
    return *this;
}

BodyBuilder& BodyBuilder::nextRepetition()
{
    bytes_ += '\xFB';
    return *this;
}

BodyBuilder& BodyBuilder::endGroup()
{
    bytes_ += '\xFC';
    return *this;
}

BodyBuilder& BodyBuilder::raw(const QByteArray& bytes)
{
    bytes_ += bytes;
    return *this;
}

MessageGroupHeader makeHeader(const GroupFields& fields)
{
    MessageGroupHeader header;
    header.fill(1, FixedRecord::kSize, QString());  // all spaces
    header.fill(26, 12, fields.sender);
    header.fill(62, 12, fields.receiver);
    header.fill(74, 8, fields.bpid);
    header.fill(94, 4, fields.infoClass);
    const QByteArray flag = !fields.storageFlag.isEmpty() ? fields.storageFlag
                          : fields.storageMode == 'S'    ? QByteArray("10")
                                                         : QByteArray("11");
    header.fill(104, 2, QString::fromLatin1(flag));
    header.fill(106, 10, fields.reference);
    header.fill(116, 12, fields.created);
    header.fill(146, 1, QStringLiteral("E"));
    header.data()[146] = fields.storageMode;
    header.data()[148] = fields.doubleByteCode;
    return header;
}

QByteArray ciiGroup(const GroupFields& fields, const QList<QByteArray>& bodies)
{
    QByteArray out;
    appendHeaderBlock(out, makeHeader(fields));
    for (qsizetype i = 0; i < bodies.size(); ++i)
        appendMessageBlocks(out, qint32(i + 1), bodies[i], fields.storageMode);
    MessageGroupTrailer trailer;
    trailer.fill(1, FixedRecord::kSize, QString::number(bodies.size()).rightJustified(5, u'0'));
    appendTrailerBlock(out, trailer);
    return out;
}

QByteArray sjis(const QString& text)
{
    return threadShiftJis().encode(text);
}

}  // namespace edi::test
