// A stand-in for the registration program, for tests and the demo.
//
//   edi-register [--in FOLDER] [--fail CATEGORY] @COMMAND.INI
//
// It reads the command file, takes %EDI_IN% as FOLDER (or the EDI_IN environment variable),
// counts the records of each category's local file (a missing file has none), and writes the
// status file the command file names: one line per category (kind "0", the category, input and
// output counts, end code "00", or "01" for the --fail category) and a closing line of kind "1".

#include "app/text/ShiftJis.h"

#include <QCoreApplication>
#include <QFile>
#include <QRegularExpression>
#include <cstdio>

using namespace Qt::Literals::StringLiterals;

namespace {

qint64 recordCount(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    qint64 count = 0;
    while (!file.atEnd()) {
        file.readLine(1 << 20);
        ++count;
    }
    return count;
}

int usage()
{
    std::fputs("usage: edi-register [--in FOLDER] [--fail CATEGORY] @COMMAND.INI\n", stderr);
    return 2;
}

}  // namespace

int main(int argc, char* argv[])
{
    QCoreApplication application(argc, argv);
    const QStringList arguments = application.arguments().mid(1);
    QString inFolder = qEnvironmentVariable("EDI_IN");
    QString failCategory;
    QString commandPath;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        if (arguments[i] == u"--in"_s && i + 1 < arguments.size())
            inFolder = arguments[++i];
        else if (arguments[i] == u"--fail"_s && i + 1 < arguments.size())
            failCategory = arguments[++i];
        else if (arguments[i].startsWith(u'@'))
            commandPath = arguments[i].mid(1);
        else
            return usage();
    }
    QFile command(commandPath);
    if (commandPath.isEmpty() || !command.open(QIODevice::ReadOnly))
        return usage();

    const QRegularExpression fileLine(u"^/\\[EDI\\](.{4})TXT=(.*)$"_s);
    QString statusPath;
    QByteArray status;
    for (const QString& line : edi::threadShiftJis().decode(command.readAll()).split(u"\r\n"_s)) {
        if (line.startsWith(u"/[EDI]STATUS_FILE="_s)) {
            statusPath = line.mid(18);
        } else if (const QRegularExpressionMatch match = fileLine.match(line); match.hasMatch()) {
            const QString category = match.captured(1);
            const qint64 records = recordCount(QString(match.captured(2)).replace(u"%EDI_IN%"_s, inFolder));
            const QByteArray count = QByteArray::number(records).rightJustified(6, '0');
            status += "0" + category.toLatin1() + QByteArray(12, ' ') + count + count
                    + (category == failCategory ? "01" : "00") + "\r\n";
        }
    }
    status += "1" + QByteArray(30, ' ') + "\r\n";
    QFile statusFile(statusPath);
    if (statusPath.isEmpty() || !statusFile.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        std::fputs("edi-register: cannot write the status file\n", stderr);
        return 1;
    }
    if (statusFile.write(status) != status.size() || !statusFile.flush()) {
        std::fputs("edi-register: cannot write the status file\n", stderr);
        return 1;
    }
    return 0;
}
