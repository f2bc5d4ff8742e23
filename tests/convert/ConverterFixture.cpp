#include "ConverterFixture.h"

#include "app/text/ShiftJis.h"
#include "support/TestFiles.h"

#include <QFile>

using namespace Qt::Literals::StringLiterals;

namespace edi::test {
namespace {

std::unique_ptr<Database> preparedDatabase(const TestDatabase& database)
{
    database.createTables();
    database.loadDemoData(u"TESTPC"_s);
    return database.open();
}

}  // namespace

ConverterFixture::ConverterFixture()
    : db_(preparedDatabase(database_))
    , masters_(*db_)
    , log_(path(u"ERR.LOG"_s))
{
}

void ConverterFixture::addFormat(const QString& infoClass, const QString& bpid, const QList<Row>& rows,
                                 const QList<Row>& localRows)
{
    db_->execute({u"INSERT INTO FL1902フォーマット情報マスタ (情報区分コード, BPID, 格納モード, XML文字コード) VALUES (?, ?, ?, ?)"_s,
                  {infoClass, bpid, u"M"_s, u"M"_s}});
    auto insert = [&](const QString& kind, const Row& row) {
        db_->execute({u"INSERT INTO FL1903レコードフォーマット情報マスタ (フォーマット種別, 情報区分コード, BPID, 項目通番,"
                      u" 対応項目通番, レベル番号, 項目№, 項目位置, 項目名称, 属性, 長さ, 小数部長さ, マルチ明細番号, 繰返し数)"
                      u" VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"_s,
                      {kind, infoClass, bpid, row.serial, row.serial, row.level, row.number,
                       QString::fromLatin1(row.position), u"項目%1"_s.arg(row.serial), QString::fromLatin1(row.attribute),
                       row.length, row.decimals,
                       row.multiDetail ? QVariant(QString::fromLatin1(row.multiDetail)) : QVariant(QMetaType::fromType<QString>()),
                       row.repeat}});
    };
    for (const Row& row : rows)
        insert(u"E"_s, row);
    for (const Row& row : localRows.isEmpty() ? rows : localRows)
        insert(u"L"_s, row);
}

void ConverterFixture::removeLayout(QChar kind, const QString& infoClass)
{
    db_->execute({u"DELETE FROM FL1903レコードフォーマット情報マスタ WHERE フォーマット種別 = ? AND 情報区分コード = ?"_s,
                  {QString(kind), infoClass}});
}

ConversionResult ConverterFixture::convertLocal(const QByteArray& cii, qint64 serial)
{
    writeFile(path(u"IN.CII"_s), cii);
    return convertLocalCii(masters_, context_, log_, clock_, serial, path(u"IN.CII"_s), path(u"OUT.LOC"_s));
}

QList<QByteArray> ConverterFixture::localLines(const QString& infoClass) const
{
    QFile file(path(u"OUT"_s + infoClass + u".LOC"_s));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QList<QByteArray> lines = file.readAll().split('\n');
    EXPECT_TRUE(lines.last().isEmpty()) << "the last line must end with CR LF";
    lines.removeLast();
    for (QByteArray& line : lines) {
        EXPECT_TRUE(line.endsWith('\r'));
        line.chop(1);
    }
    return lines;
}

QStringList ConverterFixture::logLines() const
{
    QFile file(path(u"ERR.LOG"_s));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QStringList lines = threadShiftJis().decode(file.readAll()).split(u"\r\n"_s);
    lines.removeLast();
    return lines;
}

}  // namespace edi::test
