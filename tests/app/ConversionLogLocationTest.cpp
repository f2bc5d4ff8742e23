#include "app/files/ConversionLogLocation.h"
#include "support/ReadOnlyPath.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <optional>

using namespace Qt::Literals::StringLiterals;

namespace edi::test {
namespace {

// Real folders: the program's, the service's and the fallback, in a temporary folder. The
// environment variables the rule reads are set per test and restored.
class ConversionLogLocationTest : public ::testing::Test {
protected:
    ConversionLogLocationTest()
    {
        for (const char* folder : {"bin", "received"})
            QDir().mkpath(path(QString::fromLatin1(folder)));
        qunsetenv("LOGS_DIRECTORY");
    }
    ~ConversionLogLocationTest() override
    {
        restore("LOGS_DIRECTORY", logsDirectory_);
        restore("XDG_STATE_HOME", stateHome_);
        restore("HOME", home_);
    }

    QString path(const QString& relative) const { return dir_.path() + u'/' + relative; }
    // The rule with the program in bin/ and received/ as the fallback.
    QString chosen(const QString& configured = {}) const
    {
        return conversionLogPath(configured, path(u"bin"_s), path(u"received/"_s));
    }

    QTemporaryDir dir_;

private:
    static std::optional<QByteArray> saved(const char* name)
    {
        return qEnvironmentVariableIsSet(name) ? std::optional(qgetenv(name)) : std::nullopt;
    }
    static void restore(const char* name, const std::optional<QByteArray>& value)
    {
        if (value)
            qputenv(name, *value);
        else
            qunsetenv(name);
    }

    std::optional<QByteArray> logsDirectory_ = saved("LOGS_DIRECTORY");
    std::optional<QByteArray> stateHome_ = saved("XDG_STATE_HOME");
    std::optional<QByteArray> home_ = saved("HOME");
};

TEST_F(ConversionLogLocationTest, TheConfiguredFolderWinsAndIsCreated)
{
    qputenv("LOGS_DIRECTORY", path(u"service"_s).toUtf8());
    EXPECT_EQ(chosen(path(u"logs/edi/"_s)), path(u"logs/edi/ERR.LOG"_s));
    EXPECT_TRUE(QFileInfo(path(u"logs/edi"_s)).isDir());
    // A folder value without its separator is a folder all the same.
    EXPECT_EQ(chosen(path(u"logs/other"_s)), path(u"logs/other/ERR.LOG"_s));
}

TEST_F(ConversionLogLocationTest, BesideTheProgramWhereItMayWrite)
{
    qputenv("LOGS_DIRECTORY", path(u"service"_s).toUtf8());
    EXPECT_EQ(chosen(), path(u"bin/ERR.LOG"_s));
    writeFile(path(u"bin/ERR.LOG"_s), "0000--LOCCIIC start--00000001\r\n");
    EXPECT_EQ(chosen(), path(u"bin/ERR.LOG"_s));
    EXPECT_FALSE(QFileInfo::exists(path(u"service"_s)));
}

TEST_F(ConversionLogLocationTest, AProgramFolderThatCannotBeWrittenGivesWayToTheServicesFolder)
{
    qputenv("LOGS_DIRECTORY", (path(u"service/edi-auto"_s) + u':' + path(u"service/second"_s)).toUtf8());
    {
        const ReadOnlyPath readOnly(path(u"bin"_s));
        if (!readOnly.available())
            GTEST_SKIP() << readOnly.why().toStdString();
        EXPECT_EQ(chosen(), path(u"service/edi-auto/ERR.LOG"_s));
        EXPECT_TRUE(QFileInfo(path(u"service/edi-auto"_s)).isDir());
        EXPECT_FALSE(QFileInfo::exists(path(u"service/second"_s)));
    }
    // The folder may be written but the log in it not.
    writeFile(path(u"bin/ERR.LOG"_s), {});
    const ReadOnlyPath readOnlyLog(path(u"bin/ERR.LOG"_s));
    ASSERT_TRUE(readOnlyLog.available()) << readOnlyLog.why().toStdString();
    EXPECT_EQ(chosen(), path(u"service/edi-auto/ERR.LOG"_s));
}

TEST_F(ConversionLogLocationTest, WithoutAWritableServiceFolderTheFallback)
{
    const ReadOnlyPath readOnly(path(u"bin"_s));
    if (!readOnly.available())
        GTEST_SKIP() << readOnly.why().toStdString();
    EXPECT_EQ(chosen(), path(u"received/ERR.LOG"_s));

    QDir().mkpath(path(u"service"_s));
    qputenv("LOGS_DIRECTORY", path(u"service"_s).toUtf8());
    const ReadOnlyPath readOnlyService(path(u"service"_s));
    ASSERT_TRUE(readOnlyService.available()) << readOnlyService.why().toStdString();
    EXPECT_EQ(conversionLogPath({}, path(u"bin"_s), path(u"missing/received"_s)), path(u"missing/received/ERR.LOG"_s));
    EXPECT_TRUE(QFileInfo(path(u"missing/received"_s)).isDir());
}

// Root may write /usr/bin, where an installed program lives; the log never goes there.
TEST_F(ConversionLogLocationTest, TheSystemsProgramFoldersAreNeverUsed)
{
    for (const QString& system : {u"/usr/bin"_s, u"/usr/local/bin"_s, u"/bin"_s, u"/sbin"_s})
        EXPECT_EQ(conversionLogPath({}, system, path(u"received/"_s)), path(u"received/ERR.LOG"_s)) << system.toStdString();
    EXPECT_FALSE(QFileInfo::exists(u"/usr/bin/ERR.LOG"_s));
}

TEST_F(ConversionLogLocationTest, TheUsersStateFolder)
{
    qputenv("XDG_STATE_HOME", path(u"state"_s).toUtf8());
    EXPECT_EQ(userStateFolder(), path(u"state/edi-auto"_s));
    // A relative value is no base folder: the default under the home folder.
    qputenv("XDG_STATE_HOME", "relative/state");
    qputenv("HOME", dir_.path().toUtf8());
    EXPECT_EQ(userStateFolder(), path(u".local/state/edi-auto"_s));
}

}  // namespace
}  // namespace edi::test
