#pragma once

#include "app/Clock.h"
#include "app/database/Database.h"
#include "convert/localcii/ConversionContext.h"
#include "convert/localcii/ConversionLog.h"
#include "convert/localcii/FormatMasters.h"
#include "convert/localcii/LocalCiiConverter.h"
#include "support/CiiBuilder.h"
#include "support/TestDatabase.h"

#include <gtest/gtest.h>

namespace edi::test {

// One row of a test layout.
struct Row {
    qint32 serial;
    qint32 level;
    qint32 number;  // 項目№
    const char* position;
    const char* attribute;
    qint32 length;
    qint32 decimals = 0;
    const char* multiDetail = nullptr;
    qint32 repeat = 0;
};

// Real SQLite masters with the demo data, a conversion log and the files of one test.
class ConverterFixture : public ::testing::Test {
protected:
    ConverterFixture();

    // A format with the same rows in both layouts, each item its own counterpart.
    void addFormat(const QString& infoClass, const QString& bpid, const QList<Row>& rows,
                   const QList<Row>& localRows = {});
    void removeLayout(QChar kind, const QString& infoClass);

    ConversionResult convertLocal(const QByteArray& cii, qint64 serial = 57);
    QString path(const QString& name) const { return database_.folder() + u'/' + name; }
    // The lines of the local file of an information class, without their CR LF.
    QList<QByteArray> localLines(const QString& infoClass) const;
    QStringList logLines() const;

    TestDatabase database_{Backend::Sqlite};
    std::unique_ptr<Database> db_;
    DatabaseFormatMasters masters_;
    ConversionContext context_;
    ConversionLog log_;
    ManualClock clock_{QDateTime(QDate(2026, 12, 8), QTime(9, 5, 7))};
};

}  // namespace edi::test
