#include "app/ProgramOptions.h"
#include "gui/WindowProgram.h"
#include "support/TestDatabase.h"
#include "support/TestFiles.h"

#include <QApplication>
#include <QFile>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <cstdio>
#include <gtest/gtest.h>
#include <unistd.h>

using namespace Qt::Literals::StringLiterals;

namespace edi::test {
namespace {

// What the window program showed and wrote when its start-up failed.
struct FailedStart {
    int exitStatus = 0;
    QStringList boxes;     // the texts of the message boxes, each answered with OK
    QString standardError;
};

// Runs the window program on the configuration with standard error in a file.
FailedStart startWindows(const QString& configPath, const QString& errorFile)
{
    FailedStart result;
    QTimer answer;
    answer.callOnTimeout([&result] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            result.boxes << box->text();
            box->button(QMessageBox::Ok)->click();
        }
    });
    answer.start(10);
    std::fflush(stderr);
    const int savedError = ::dup(STDERR_FILENO);
    FILE* file = std::fopen(QFile::encodeName(errorFile).constData(), "w");
    ::dup2(::fileno(file), STDERR_FILENO);
    ProgramOptions options;
    options.configPath = configPath;
    result.exitStatus = runWindowMonitor(options);
    std::fflush(stderr);
    ::dup2(savedError, STDERR_FILENO);
    ::close(savedError);
    std::fclose(file);
    result.standardError = QString::fromUtf8(readFile(errorFile));
    return result;
}

// Every fatal message of the start-up is a box with its fixed text, and a log line on standard
// error with the reason the box leaves out.
TEST(WindowStartup, AFailedStartShowsItsMessageAndWritesItsReasonOnStandardError)
{
    TestDatabase database(Backend::Sqlite);
    database.createTables();
    database.loadDemoData(u"TESTPC"_s);
    qputenv("EDI_MACHINE_NAME", "TESTPC");
    const QString ini = database.folder() + u"/EDI.ini"_s;
    const QString errors = database.folder() + u"/stderr.txt"_s;
    auto settings = [](const QByteArray& moreStyling) {
        return "[Setting0]\nLabelBackColor=0\nLabelForeColor=0\nTextBackColor=0\nTextFocusColor=0\n"
               "TextForeColor=0\nTitleBackColor=0\nTitleForeColor=0\n"
             + moreStyling + "[LINKDRV]\nMINIMAIZE=1\nDEMOMODE=0\n";
    };
    struct Case {
        QByteArray configuration;
        QString box;
        QString reason;
    };
    const Case cases[] = {
        {"[動作環境]\nDBDRIVER=SQLITE\nDBSTRING=no/such/folder/edi.sqlite\n", u"接続エラー"_s,
         u"no/such/folder/edi.sqlite"_s},
        {database.environmentSection(), u"INIﾌｧｲﾙ読込エラー"_s, u"Setting0.LabelBackColor is empty or not a number"_s},
        {database.environmentSection() + settings("LabelFontSize=abc\n"), u"項目設定エラー"_s,
         u"[Setting0] LabelFontSize=abc cannot be applied to SCHADD01"_s},
    };
    for (const Case& failing : cases) {
        writeFile(ini, failing.configuration);
        const FailedStart start = startWindows(ini, errors);
        EXPECT_NE(start.exitStatus, 0);
        EXPECT_EQ(start.boxes, QStringList{failing.box});
        EXPECT_TRUE(start.standardError.contains(u" SCHMON01 "_s + failing.box + u" ("_s))
            << start.standardError.toStdString();
        EXPECT_TRUE(start.standardError.contains(failing.reason)) << start.standardError.toStdString();
    }
}

}  // namespace
}  // namespace edi::test
