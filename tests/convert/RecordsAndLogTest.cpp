#include "app/Clock.h"
#include "convert/localcii/ConversionError.h"
#include "convert/localcii/ConversionLog.h"
#include "convert/localcii/GroupHeaderScan.h"
#include "convert/localcii/MessageGroupHeader.h"
#include "support/CiiBuilder.h"
#include "support/TestFiles.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace Qt::Literals::StringLiterals;

namespace edi {
namespace {

using test::sjis;

TEST(FillFixedField, CutsPadsAndKeepsCharactersWhole)
{
    char field[12];
    EXPECT_EQ(fillFixedField(field, u"ABCDEFGHIJKL"_s), StoredSingleByte);
    EXPECT_EQ(QByteArray(field, 12), "ABCDEFGHIJKL");
    fillFixedField(field, u"ABCDEFGHIJKLM"_s);
    EXPECT_EQ(QByteArray(field, 12), "ABCDEFGHIJKL");
    EXPECT_EQ(fillFixedField(field, u"AB"_s), StoredSingleByte);
    EXPECT_EQ(QByteArray(field, 12), "AB          ");
    EXPECT_EQ(fillFixedField(field, u"ABCDEFGHIJK東"_s), StoredSingleByte);  // no room for the trail byte
    EXPECT_EQ(QByteArray(field, 12), "ABCDEFGHIJK ");
    EXPECT_EQ(fillFixedField(field, u"東京ｱ"_s), StoredSingleByte | StoredDoubleByte);
    EXPECT_EQ(QByteArray(field, 12), sjis(u"東京ｱ"_s) + "       ");
    EXPECT_EQ(fillFixedField(field, QString()), 0);
}

TEST(MessageGroupHeader, FieldsAndLinePrefix)
{
    test::GroupFields fields;
    fields.infoClass = u"ABCD"_s;
    fields.bpid = u"BP01"_s;
    const MessageGroupHeader header = test::makeHeader(fields);
    EXPECT_EQ(header.bpid(), u"BP01"_s);
    EXPECT_EQ(header.infoClass(), u"ABCD"_s);
    EXPECT_EQ(header.linePrefix(), QByteArray(5, ' ') + "ABCD" + QByteArray(6, ' ') + "S1" + QByteArray(10, ' ')
                                       + "R1" + QByteArray(10, ' '));
    EXPECT_EQ(header.linePrefix().size(), 39);
    EXPECT_FALSE(header.skipsMessages());
}

// The headers of every group, found past messages of several blocks in either storage mode and
// past a group whose messages a reader skips, without decoding anything.
TEST(GroupHeaderScan, FindsEveryGroupsHeaderInFileOrder)
{
    auto group = [](const char* sender, char mode, const QByteArray& flag, qsizetype valueLength) {
        test::GroupFields fields;
        fields.sender = QString::fromLatin1(sender);
        fields.storageMode = mode;
        fields.storageFlag = flag;
        fields.reference = u"R-"_s + fields.sender;
        const QByteArray body = test::BodyBuilder().element(1, QByteArray(valueLength, 'v')).bytes();
        return test::ciiGroup(fields, {body, body});
    };
    QTemporaryDir dir;
    const QString file = dir.filePath(u"groups.CII"_s);
    test::writeFile(file, group("S1", 'M', {}, 600) + group("S2", 'S', {}, 35000) + group("S3", 'M', "20", 300)
                              + group("S4", 'M', {}, 10));
    QStringList found;
    for (const MessageGroupHeader& header : readGroupHeaders(file))
        found << header.senderCode() + u'/' + header.exchangeReference() + u'/' + header.createdAt();
    EXPECT_EQ(found, (QStringList{u"S1/R-S1/261208093000"_s, u"S2/R-S2/261208093000"_s, u"S3/R-S3/261208093000"_s,
                                  u"S4/R-S4/261208093000"_s}));
    EXPECT_THROW(readGroupHeaders(dir.filePath(u"missing.CII"_s)), ConversionIoError);
}

class ConversionLogTest : public ::testing::Test {
protected:
    QStringList lines() const
    {
        QStringList result = QString::fromLatin1(test::readFile(path_)).split(u"\r\n"_s);
        result.removeLast();
        return result;
    }
    QTemporaryDir dir_;
    QString path_ = dir_.filePath(u"ERR.LOG"_s);
};

TEST_F(ConversionLogTest, ErrorsSetTheResultCodeWarningsDoNot)
{
    ConversionLog log(path_);
    log.beginRun();
    log.startLine(u"--LOCCIIC start--00000001"_s);
    log.warning(12, u"x"_s);
    EXPECT_TRUE(log.resultCode().isEmpty());
    log.error(7);
    log.error(21);
    EXPECT_EQ(log.resultCode(), u"0021"_s);
    log.endRun();
    log.beginRun();
    EXPECT_TRUE(log.resultCode().isEmpty());
    log.error(0, u"--CIIXMLC start--00000002"_s);  // code 0 never sets it
    EXPECT_TRUE(log.resultCode().isEmpty());
    log.endRun();
    EXPECT_EQ(lines(), (QStringList{u"0000--LOCCIIC start--00000001"_s, u"0012x"_s, u"0007"_s, u"0021"_s,
                                    u"0000--CIIXMLC start--00000002"_s}));
}

TEST_F(ConversionLogTest, RepeatedWarningsAreCapped)
{
    ConversionLog log(path_);
    log.beginRun();
    for (int i = 0; i < ConversionLog::kWarningLimit + 50; ++i)
        log.warning(8, u"-02"_s);
    log.endRun();
    const QStringList written = lines();
    EXPECT_EQ(written.size(), ConversionLog::kWarningLimit + 1);
    EXPECT_TRUE(test::readFile(path_).endsWith(sjis(u"0008-02以降省略\r\n"_s)));
}

TEST_F(ConversionLogTest, UnwritableLogStillKeepsTheError)
{
    ConversionLog log(dir_.filePath(u"missing/ERR.LOG"_s));
    log.beginRun();
    EXPECT_THROW(log.error(3), ConversionIoError);
    EXPECT_EQ(log.resultCode(), u"0003"_s);
}

TEST(StartLines, CarryTheSerial)
{
    ManualClock clock(QDateTime(QDate(2003, 4, 1), QTime(9, 5, 7)));
    EXPECT_EQ(localStartLine(123, clock), u"--LOCCIIC start--00000123  2003/04/01 9:05:07"_s);
    EXPECT_EQ(ciiXmlStartLine(123), u"--CIIXMLC start--00000123"_s);
}

}  // namespace
}  // namespace edi
