#include "app/database/ColumnValues.h"
#include "app/masters/ColumnFields.h"
#include "app/masters/CsvEncoding.h"
#include "app/masters/CsvReader.h"
#include "app/masters/CsvWriter.h"
#include "app/masters/MasterExport.h"
#include "app/masters/MasterImport.h"
#include "app/masters/MasterTables.h"
#include "app/text/ShiftJis.h"
#include "jobs/HistoryIndexes.h"
#include "support/TestDatabase.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <gtest/gtest.h>

using namespace Qt::Literals::StringLiterals;

namespace edi {
namespace {

using test::Backend;
using test::readFile;
using test::TestDatabase;
using test::writeFile;

CsvField plain(const QString& text) { return {text, false}; }

TEST(MasterCsv, ReadsQuotedFieldsAndCountsLinesOfTheFile)
{
    const CsvText csv = parseCsv(u"a,b,c\r\n\"x,1\",\"say \"\"hi\"\"\",\"two\r\nlines\"\r\n\r\n,\"\",\nlast,\"3\nlines\n\",z"_s);
    ASSERT_TRUE(csv.ok()) << csv.error.toStdString();
    ASSERT_EQ(csv.records.size(), 4u);
    EXPECT_EQ(csv.records[1].line, 2);
    EXPECT_EQ(csv.records[1].fields[0].text, u"x,1"_s);
    EXPECT_EQ(csv.records[1].fields[1].text, u"say \"hi\""_s);
    EXPECT_EQ(csv.records[1].fields[2].text, u"two\r\nlines"_s);
    EXPECT_EQ(csv.records[2].line, 5);  // after the two-line field and an empty line
    ASSERT_EQ(csv.records[2].fields.size(), 3u);  // a trailing comma ends in an empty field
    EXPECT_FALSE(csv.records[2].fields[0].quoted);
    EXPECT_TRUE(csv.records[2].fields[1].quoted);
    EXPECT_TRUE(csv.records[2].fields[2].text.isEmpty());
    EXPECT_EQ(csv.records[3].line, 6);
    EXPECT_EQ(csv.records[3].fields[2].text, u"z"_s);
}

TEST(MasterCsv, StopsAtABrokenRecordAndSaysItsLine)
{
    const CsvText unclosed = parseCsv(u"a,b\n1,2\n3,\"open\n\n"_s);
    EXPECT_EQ(unclosed.records.size(), 2u);
    EXPECT_EQ(unclosed.errorLine, 3);  // where the field opened
    EXPECT_EQ(unclosed.error, u"引用符 (\") が閉じていません"_s);
    const CsvText afterQuote = parseCsv(u"a,b\n\"1\"x,2\n"_s);
    EXPECT_EQ(afterQuote.errorLine, 2);
    EXPECT_FALSE(afterQuote.ok());
    EXPECT_FALSE(parseCsv(u"a,b\n1\"2,3\n"_s).ok());
}

TEST(MasterCsv, WrittenRecordsReadBackAsTheyWere)
{
    const std::vector<std::optional<QString>> fields = {u"a,b"_s, u"\"q\""_s, u"line\r\nbreak"_s, QString(u""_s),
                                                        std::nullopt, u" spaced "_s, u"終"_s};
    QString text;
    appendCsvRecord(text, fields);
    appendCsvRecord(text, fields);
    const CsvText csv = parseCsv(text);
    ASSERT_TRUE(csv.ok());
    ASSERT_EQ(csv.records.size(), 2u);
    EXPECT_EQ(csv.records[1].line, 3);
    for (size_t i = 0; i < fields.size(); ++i) {
        const CsvField& field = csv.records[1].fields[i];
        EXPECT_EQ(field.text, fields[i].value_or(QString()));
        EXPECT_EQ(field.quoted || !field.text.isEmpty(), fields[i].has_value()) << i;
    }
}

TEST(MasterCsv, DetectsUtf8WithOrWithoutBomAndCp932)
{
    const QString text = u"区分,①髙橋～\\\r\n"_s;
    EXPECT_EQ(decodeCsvBytes(text.toUtf8()).text, text);
    EXPECT_EQ(decodeCsvBytes(encodeCsvText(text, CsvEncoding::Utf8)).text, text);
    EXPECT_TRUE(encodeCsvText(text, CsvEncoding::Utf8).startsWith("\xEF\xBB\xBF"));
    const QByteArray cp932 = encodeCsvText(text, CsvEncoding::Cp932);
    EXPECT_EQ(cp932, threadShiftJis().encode(text));
    EXPECT_EQ(decodeCsvBytes(cp932).text, text);

    const DecodedCsv broken = decodeCsvBytes("a\r\nb\r\n\x82\xA0\x85\xFF\r\n");
    EXPECT_FALSE(broken.ok());
    EXPECT_EQ(broken.errorLine, 3);
    const DecodedCsv brokenAfterBom = decodeCsvBytes("\xEF\xBB\xBF" "a\n\x82\xA0\n");
    EXPECT_EQ(brokenAfterBom.errorLine, 2);
    EXPECT_EQ(decodeCsvBytes("a\n\x82").errorLine, 2);  // ends inside a character
}

TEST(MasterFields, ChecksEachColumnKind)
{
    const MasterTable& schedule = masterTable(kScheduleMaster);
    const MasterTable& control = masterTable(kControlMaster);
    const MasterColumn& weekday = schedule.columns[1];
    const MasterColumn& start = schedule.columns[2];
    const MasterColumn& name = control.columns[1];  // VARCHAR(60)

    EXPECT_EQ(readColumnField(weekday, plain(u" 8 "_s)).value, QVariant(8));  // the timetable counts on from Sunday
    EXPECT_EQ(readColumnField(weekday, plain(u"-1"_s)).value, QVariant(-1));
    EXPECT_EQ(readColumnField(weekday, plain(u"2147483647"_s)).value, QVariant(2147483647));
    EXPECT_EQ(readColumnField(weekday, plain(u"2147483648"_s)).problem,
              u"整数の範囲 (-2147483648 から 2147483647) を超えています"_s);
    for (const QString& bad : {u"1.0"_s, u"一"_s, u"1e3"_s})
        EXPECT_EQ(readColumnField(weekday, plain(bad)).problem, u"整数ではありません"_s) << bad.toStdString();
    EXPECT_EQ(readColumnField(weekday, plain({})).problem, u"キーの列が空です"_s);

    EXPECT_EQ(readColumnField(start, plain(u"8:05"_s)).value.toTime(), QTime(8, 5));
    EXPECT_EQ(readColumnField(start, plain(u"23:59:59"_s)).value.toTime(), QTime(23, 59, 59));
    for (const QString& bad : {u"24:00"_s, u"8:5"_s, u"08:30:60"_s, u"0830"_s, u"08:30:00.5"_s})
        EXPECT_FALSE(readColumnField(start, plain(bad)).problem.isEmpty()) << bad.toStdString();

    EXPECT_TRUE(readColumnField(name, plain(QString(60, u'受'))).problem.isEmpty());  // characters, not bytes
    EXPECT_EQ(readColumnField(name, plain(QString(61, u'受'))).problem, u"長すぎます (61 文字、この列は 60 文字まで)"_s);
    EXPECT_TRUE(readColumnField(name, plain(QString(59, u'受') + u"😀"_s)).problem.isEmpty());
    EXPECT_TRUE(readColumnField(name, plain({})).value.isNull());
    const ColumnValue emptyText = readColumnField(name, {{}, true});
    EXPECT_FALSE(emptyText.value.isNull());
    EXPECT_EQ(emptyText.value.toString(), QString());

    EXPECT_EQ(readColumnField(control.columns[2], plain(u"z"_s)).problem, u"Z, M, W のどれでもありません"_s);
    EXPECT_TRUE(readColumnField(control.columns[2], plain({})).problem.isEmpty());  // no method: nullable
    EXPECT_EQ(readColumnField(control.columns[0], {{}, true}).problem, u"キーの列が空です"_s);
    const MasterTable& layout = masterTable(kLayoutMaster);
    EXPECT_EQ(readColumnField(layout.columns[13], plain({})).problem, u"値がありません (この列には値が必要です)"_s);
}

// The tables as db/schema.sql creates them: every column, its type, length, NOT NULL and key.
TEST(MasterFields, TablesAgreeWithTheSchema)
{
    const QString schema = QString::fromUtf8(readFile(test::sourcePath(u"db/schema.sql"_s)));
    for (const MasterTable& table : masterTables()) {
        const qsizetype start = schema.indexOf(u"CREATE TABLE "_s + table.name + u" ("_s);
        ASSERT_GE(start, 0) << table.name.toStdString();
        const QString body = schema.mid(start, schema.indexOf(u"\n);"_s, start) - start);
        static const QRegularExpression columnLine(
            u"^\\s+(\"?)([^\\s\"]+)\\1\\s+(VARCHAR\\((\\d+)\\)|INTEGER|TIME)(\\s+NOT NULL)?,$"_s,
            QRegularExpression::MultilineOption);
        std::vector<QString> names;
        for (const QRegularExpressionMatch& match : columnLine.globalMatch(body)) {
            const int index = table.columnIndex(match.captured(2));
            ASSERT_GE(index, 0) << match.captured(2).toStdString();
            const MasterColumn& column = table.columns[index];
            names.push_back(column.name);
            EXPECT_EQ(column.type, match.captured(4).isEmpty()
                                       ? (match.captured(3) == u"TIME"_s ? ColumnType::Time : ColumnType::Integer)
                                       : ColumnType::Text);
            EXPECT_EQ(column.maxLength, match.captured(4).toInt()) << column.name.toStdString();
            EXPECT_EQ(column.required, match.hasCaptured(5)) << column.name.toStdString();
        }
        EXPECT_EQ(names.size(), table.columns.size()) << table.name.toStdString();
        const QRegularExpressionMatch key = QRegularExpression(u"PRIMARY KEY \\(([^)]*)\\)"_s).match(body);
        QStringList keys;
        for (const int column : table.keyColumns())
            keys << table.columns[column].name;
        EXPECT_EQ(keys.join(u", "_s), key.captured(1)) << table.name.toStdString();
    }
}

class MastersTest : public ::testing::TestWithParam<Backend> {
protected:
    void SetUp() override
    {
        test_ = std::make_unique<TestDatabase>(GetParam());
        test_->createTables();
        test_->loadDemoData(u"TESTPC"_s);
        db_ = test_->open();
    }

    QString folder(const QString& name) const { return test_->folder() + u'/' + name; }
    void put(const QString& dir, const QString& table, const QString& text) const
    {
        writeFile(folder(dir) + u'/' + table + u".csv"_s, text.toUtf8());
    }
    // Every master as an export writes it.
    QByteArrayList exported(const QString& dir, CsvEncoding encoding = CsvEncoding::Utf8) const
    {
        const MasterExportResult result = exportMasters(*db_, folder(dir), encoding);
        EXPECT_TRUE(result.done) << result.errors.join(u'\n').toStdString();
        QByteArrayList files;
        for (const MasterTable& table : masterTables())
            files << readFile(folder(dir) + u'/' + table.fileName());
        return files;
    }
    static QStringList decoded(const QByteArrayList& files)
    {
        QStringList texts;
        for (const QByteArray& file : files)
            texts << decodeCsvBytes(file).text;
        return texts;
    }
    ResultSet rows(const QString& sql, const QVariantList& values = {}) const { return db_->query({sql, values}); }
    int count(const QString& table) const { return rows(u"SELECT COUNT(*) FROM "_s + table).value(0).toInt(); }

    std::unique_ptr<TestDatabase> test_;
    std::unique_ptr<Database> db_;
};

TEST_P(MastersTest, ExportImportExportIsExact)
{
    db_->execute({u"INSERT INTO FL1903EDI制御マスタ (センターコード, センター名, 送受信方式, 実行端末名, CVX受信ファイルパス,"
                  u" 相手先メールアドレス) VALUES (?, ?, ?, NULL, ?, ?)"_s,
                  {u"Q,\"1\""_s, u"名前, \"引用\" と\r\n改行"_s, u"Z"_s, QString(4096, u'路'), u""_s}});
    db_->execute({u"INSERT INTO FL1912EDIスケジュールマスタ VALUES (?, ?, ?, ?)"_s,
                  {u"Q,\"1\""_s, 9, QTime(23, 59, 58), u"R"_s}});
    const QByteArrayList first = exported(u"first"_s);
    const MasterImportResult imported = importMasters(*db_, folder(u"first"_s));
    ASSERT_TRUE(imported.done) << imported.errors.join(u'\n').toStdString();
    EXPECT_EQ(imported.loaded.size(), masterTables().size());
    EXPECT_EQ(exported(u"second"_s), first);
    EXPECT_EQ(decoded(exported(u"cp932"_s, CsvEncoding::Cp932)), decoded(first));
    ASSERT_TRUE(importMasters(*db_, folder(u"cp932"_s)).done);
    EXPECT_EQ(exported(u"third"_s), first);

    ResultSet centre = rows(u"SELECT * FROM FL1903EDI制御マスタ WHERE センターコード = ?"_s, {u"Q,\"1\""_s});
    ASSERT_FALSE(centre.atEnd());
    EXPECT_EQ(centre.value(u"センター名"_s).toString(), u"名前, \"引用\" と\r\n改行"_s);
    EXPECT_TRUE(centre.value(u"実行端末名"_s).isNull());
    EXPECT_FALSE(centre.value(u"相手先メールアドレス"_s).isNull());  // an empty text stays one
    EXPECT_EQ(centre.value(u"CVX受信ファイルパス"_s).toString().size(), 4096);
    EXPECT_EQ(timeValue(rows(u"SELECT 起動時刻 FROM FL1912EDIスケジュールマスタ WHERE 曜日 = 9"_s).value(0)),
              QTime(23, 59, 58));
}

TEST_P(MastersTest, ReadsCp932AndBomFilesWithColumnsInAnyOrder)
{
    writeFile(folder(u"in/区分マスタ.csv"_s), threadShiftJis().encode(u"区分名称,区分,区分ｺｰﾄﾞ\r\n①髙橋～,相手先種別,9\r\n"_s));
    writeFile(folder(u"in/FL1912EDIスケジュールマスタ.csv"_s),
              "\xEF\xBB\xBF" + u"起動時刻,センターコード,曜日\n8:05,ZC01,8\n\"17:00:30\",\"ZC01\",\"1\"\n"_s.toUtf8());
    const MasterImportResult result = importMasters(*db_, folder(u"in"_s));
    ASSERT_TRUE(result.done) << result.errors.join(u'\n').toStdString();
    ASSERT_EQ(result.loaded.size(), 2u);
    EXPECT_EQ(result.loaded[0].table, kCodeMaster);
    EXPECT_EQ(result.loaded[1].rows, 2);
    EXPECT_EQ(result.leftAlone, (QStringList{kControlMaster, kPartnerMaster, kFormatMaster, kLayoutMaster}));

    EXPECT_EQ(rows(u"SELECT 区分名称 FROM 区分マスタ"_s).value(0).toString(), u"①髙橋～"_s);
    ResultSet schedule = rows(u"SELECT * FROM FL1912EDIスケジュールマスタ ORDER BY 曜日"_s);
    EXPECT_EQ(timeValue(schedule.value(u"起動時刻"_s)), QTime(17, 0, 30));
    EXPECT_TRUE(schedule.value(u"送受信種別"_s).isNull());  // a column the file leaves out
    schedule.next();
    EXPECT_EQ(schedule.value(u"曜日"_s).toInt(), 8);
    EXPECT_EQ(timeValue(schedule.value(u"起動時刻"_s)), QTime(8, 5));
    EXPECT_EQ(count(kControlMaster), 7);  // without its file, as it was
}

TEST_P(MastersTest, ReportsEveryErrorWithItsLineAndChangesNothing)
{
    const QByteArrayList before = exported(u"before"_s);
    put(u"in"_s, kControlMaster, u"センターコード,センター名,送受信方式\nN1,新,Z\nN2,新2,W\nTHIRTEENCHARS,長,M\n"_s);
    put(u"in"_s, kScheduleMaster,
        u"センターコード,曜日,起動時刻,送受信種別\n"
        u"N1,2,25:00,R\n"       // 2
        u"N1,x,08:00,Q\n"       // 3
        u"ZC01,2,08:00,R\n"     // 4: in the database, but not in the control file
        u"N2,2,8:00,R\n"        // 5
        u"N2,2,08:00:00,S\n"    // 6: the key of line 5
        u"N2,2,09:00\n"_s);     // 7
    put(u"in"_s, kFormatMaster, u"情報区分コード,BPID\n0201,B1\n"_s);
    put(u"in"_s, kLayoutMaster,
        u"フォーマット種別,情報区分コード,BPID,項目通番,属性,繰返し数\nE,0201,B1,1,X,0\nE,0101,DEMO0101,1,X,0\nX,0201,B1,2,X,\n"_s);
    const MasterImportResult result = importMasters(*db_, folder(u"in"_s));
    EXPECT_FALSE(result.done);
    const QString schedule = kScheduleMaster + u".csv "_s;
    const QString layout = kLayoutMaster + u".csv "_s;
    const QStringList expected = {
        kControlMaster + u".csv 4行目 センターコード \"THIRTEENCHARS\": 長すぎます (13 文字、この列は 12 文字まで)"_s,
        schedule + u"2行目 起動時刻 \"25:00\": 時刻ではありません (HH:MM または HH:MM:SS)"_s,
        schedule + u"3行目 曜日 \"x\": 整数ではありません"_s,
        schedule + u"3行目 送受信種別 \"Q\": R, S のどれでもありません"_s,
        schedule + u"6行目: キー (センターコード=N2, 曜日=2, 起動時刻=08:00:00) が 5行目と重なっています"_s,
        schedule + u"7行目: 列の数 (3) が見出しの列の数 (4) と違います"_s,
        layout + u"4行目 フォーマット種別 \"X\": E, L のどれでもありません"_s,
        layout + u"4行目 繰返し数 \"\": 値がありません (この列には値が必要です)"_s,
        schedule + u"4行目 センターコード \"ZC01\": EDI制御マスタにないセンターです (FL1903EDI制御マスタ.csv にありません)"_s,
        layout + u"3行目 情報区分コード, BPID \"0101, DEMO0101\": フォーマット情報マスタにない情報区分コードと BPID です"
                 u" (FL1902フォーマット情報マスタ.csv にありません)"_s,
    };
    EXPECT_EQ(result.errors, expected);
    EXPECT_EQ(result.errorCount, expected.size());
    EXPECT_EQ(exported(u"after"_s), before);
}

TEST_P(MastersTest, AnErrorInTheLastFileKeepsTheEarlierOnesOut)
{
    const QByteArrayList before = exported(u"before"_s);
    put(u"in"_s, kCodeMaster, u"区分,区分ｺｰﾄﾞ,区分名称\n送受信方式,Z,新\n"_s);
    put(u"in"_s, kControlMaster, u"センターコード\nZC01\n"_s);
    put(u"in"_s, kLayoutMaster, u"フォーマット種別,情報区分コード,BPID,項目通番,属性,繰返し数\nE,0101,DEMO0101,1,X,0\n"
                               u"E,0101,DEMO0101,2,X,many\n"_s);
    const MasterImportResult result = importMasters(*db_, folder(u"in"_s));
    EXPECT_EQ(result.errors, QStringList{kLayoutMaster + u".csv 3行目 繰返し数 \"many\": 整数ではありません"_s});
    EXPECT_EQ(exported(u"after"_s), before);
}

TEST_P(MastersTest, ADatabaseFailureRollsBackTheTablesAlreadyReplaced)
{
    put(u"in"_s, kCodeMaster, u"区分,区分ｺｰﾄﾞ\n送受信方式,Z\n"_s);
    put(u"in"_s, kPartnerMaster, u"センターコード,相手先企業コード\nZC01,K9\n"_s);
    db_->execute({u"DROP TABLE FL1915センタ利用企業マスタ"_s, {}});
    const MasterImportResult result = importMasters(*db_, folder(u"in"_s));
    EXPECT_FALSE(result.done);
    ASSERT_EQ(result.errors.size(), 1);
    EXPECT_TRUE(result.errors[0].startsWith(kPartnerMaster + u".csv: データベースが受け付けませんでした: "_s))
        << result.errors[0].toStdString();
    EXPECT_EQ(count(kCodeMaster), 5);
}

TEST_P(MastersTest, CentresAreLookedUpInTheDatabaseWhenNoControlFileIsGiven)
{
    put(u"in"_s, kPartnerMaster, u"センターコード,相手先企業コード\nZC01,K9\nZZ99,K8\n"_s);
    const MasterImportResult refused = importMasters(*db_, folder(u"in"_s));
    EXPECT_EQ(refused.errors, QStringList{kPartnerMaster + u".csv 3行目 センターコード \"ZZ99\": EDI制御マスタにないセンターです"
                                                           u" (データベースの FL1903EDI制御マスタ にありません)"_s});
    put(u"in"_s, kPartnerMaster, u"センターコード,相手先企業コード\nZC01,K9\n"_s);
    ASSERT_TRUE(importMasters(*db_, folder(u"in"_s)).done);
    EXPECT_EQ(count(kPartnerMaster), 1);
    EXPECT_EQ(count(kScheduleMaster), 71);
}

TEST_P(MastersTest, Cp932ExportRefusesCharactersItLacks)
{
    db_->execute({u"UPDATE FL1903EDI制御マスタ SET センター名 = ? WHERE センターコード = ?"_s, {u"絵😀"_s, u"MX01"_s}});
    const MasterExportResult refused = exportMasters(*db_, folder(u"out"_s), CsvEncoding::Cp932);
    EXPECT_FALSE(refused.done);
    EXPECT_EQ(refused.errors, QStringList{kControlMaster + u".csv 3行目 センター名 \"絵😀\": CP932 にない文字があります"
                                                           u" (--encoding utf-8 で書き出せます)"_s});
    EXPECT_FALSE(QDir(folder(u"out"_s)).exists());
    ASSERT_TRUE(exportMasters(*db_, folder(u"out"_s), CsvEncoding::Utf8).done);
    ASSERT_TRUE(importMasters(*db_, folder(u"out"_s)).done);
    EXPECT_EQ(rows(u"SELECT センター名 FROM FL1903EDI制御マスタ WHERE センターコード = 'MX01'"_s).value(0).toString(),
              u"絵😀"_s);
}

INSTANTIATE_TEST_SUITE_P(Backends, MastersTest,
                         ::testing::Values(Backend::Sqlite, Backend::PostgreSql, Backend::OdbcPostgreSql),
                         [](const auto& info) { return test::backendName(info.param); });

class MasterFilesTest : public ::testing::Test {
protected:
    MasterFilesTest()
    {
        database_.createTables();
        database_.loadDemoData(u"TESTPC"_s);
        db_ = database_.open();
    }
    QString folder(const QString& name) const { return database_.folder() + u'/' + name; }
    MasterImportResult importText(const QString& table, const QString& text) const
    {
        writeFile(folder(u"in/"_s) + table + u".csv"_s, text.toUtf8());
        return importMasters(*db_, folder(u"in"_s));
    }

    TestDatabase database_{Backend::Sqlite};
    std::unique_ptr<Database> db_;
};

TEST_F(MasterFilesTest, HeadersAndFoldersWithErrors)
{
    const QString file = kPartnerMaster + u".csv 1行目: "_s;
    EXPECT_EQ(importText(kPartnerMaster, u"センターコード,相手先企業コード,会社名,センターコード\n"_s).errors,
              (QStringList{file + u"列「会社名」は FL1915センタ利用企業マスタ にありません"_s,
                           file + u"列「センターコード」が二度あります"_s}));
    EXPECT_EQ(importText(kPartnerMaster, u"センターコード\n"_s).errors,
              QStringList{file + u"列「相手先企業コード」がありません (この列には値が必要です)"_s});
    EXPECT_EQ(importText(kPartnerMaster, {}).errors, QStringList{file + u"見出しの行 (列の名前) がありません"_s});

    EXPECT_EQ(importMasters(*db_, folder(u"none"_s)).errors, QStringList{folder(u"none"_s) + u": フォルダがありません"_s});
    QDir().mkpath(folder(u"empty"_s));
    writeFile(folder(u"empty/FL1912EDIスケジュールマスタ.CSV"_s), {});
    const MasterImportResult empty = importMasters(*db_, folder(u"empty"_s));
    EXPECT_EQ(empty.ignoredFiles, QStringList{u"FL1912EDIスケジュールマスタ.CSV"_s});
    EXPECT_EQ(empty.errors.size(), 1);
}

TEST_F(MasterFilesTest, ErrorsBeyondAHundredAreCountedNotListed)
{
    QString text = u"センターコード,相手先企業コード\n"_s;
    for (int i = 0; i < 150; ++i)
        text += u"ZC01,\n"_s;
    const MasterImportResult result = importText(kPartnerMaster, text);
    EXPECT_EQ(result.errors.size(), 100);
    EXPECT_EQ(result.errorCount, 150);
    EXPECT_EQ(result.errors.last(), kPartnerMaster + u".csv 101行目 相手先企業コード \"\": キーの列が空です"_s);
}

struct ProgramRun {
    int exitCode;
    QString out;
    QString err;
};

TEST_F(MasterFilesTest, TheProgramEndsWithItsExitStatus)
{
    writeFile(folder(u"EDI.ini"_s), database_.environmentSection());
    const auto run = [&](const QStringList& arguments) {
        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(u"LC_ALL"_s, u"C.UTF-8"_s);
        process.setProcessEnvironment(environment);
        process.start(test::buildPath(u"tools/edi-dbinit"_s), QStringList{u"--ini"_s, folder(u"EDI.ini"_s)} + arguments);
        process.waitForFinished(60000);
        return ProgramRun{process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
                   QString::fromUtf8(process.readAllStandardOutput()), QString::fromUtf8(process.readAllStandardError())};
    };
    const ProgramRun exported = run({u"--export"_s, folder(u"out"_s), u"--encoding"_s, u"CP932"_s});
    EXPECT_EQ(exported.exitCode, 0) << exported.err.toStdString();
    EXPECT_TRUE(exported.out.contains(u"FL1912EDIスケジュールマスタ.csv: 71 行を書き出しました\n"_s));

    // A database made before the history's indexes gets them with the import.
    for (const HistoryIndex& index : historyIndexes())
        db_->execute({u"DROP INDEX "_s + index.name, {}});
    const ProgramRun imported = run({u"--import"_s, folder(u"out"_s)});
    EXPECT_EQ(imported.exitCode, 0) << imported.err.toStdString();
    EXPECT_TRUE(imported.out.contains(u"FL1903レコードフォーマット情報マスタ: 22 行を読み込みました\n"_s));
    for (const HistoryIndex& index : historyIndexes())
        EXPECT_TRUE(imported.out.contains(u"FL1102処理履歴ファイル: 索引 %1 を作りました\n"_s.arg(index.name)))
            << imported.out.toStdString();
    EXPECT_FALSE(run({u"--import"_s, folder(u"out"_s)}).out.contains(u"索引"_s));

    writeFile(folder(u"bad/区分マスタ.csv"_s), "区分,区分ｺｰﾄﾞ\n,Z\n");
    const ProgramRun refused = run({u"--import"_s, folder(u"bad"_s)});
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_EQ(refused.err, u"区分マスタ.csv 2行目 区分 \"\": キーの列が空です\n"
                           u"edi-dbinit: エラーが 1 件あります。データベースは変更していません。\n"_s);
    EXPECT_TRUE(refused.out.isEmpty());
    EXPECT_EQ(db_->query({u"SELECT COUNT(*) FROM 区分マスタ"_s, {}}).value(0).toInt(), 5);

    for (const QStringList& usage : {QStringList{u"--import"_s, folder(u"out"_s), u"--export"_s, folder(u"x"_s)},
                                     QStringList{u"--import"_s, folder(u"out"_s), u"--encoding"_s, u"cp932"_s},
                                     QStringList{u"--export"_s, folder(u"x"_s), u"--encoding"_s, u"sjis"_s},
                                     QStringList{u"--import"_s, folder(u"out"_s), u"schema.sql"_s}, QStringList{}})
        EXPECT_EQ(run(usage).exitCode, 2) << usage.join(u' ').toStdString();
    const ProgramRun help = run({u"--help"_s});
    EXPECT_EQ(help.exitCode, 0);
    for (const QString& option : {u"--import"_s, u"--export"_s, u"--encoding"_s, u"--demo"_s})
        EXPECT_TRUE(help.out.contains(option)) << option.toStdString();
}

}  // namespace
}  // namespace edi
