// A stand-in for the registration program, for tests and the demo.
//
//   edi-register [--in FOLDER] [--fail CATEGORY] [--ledger FILE] @COMMAND.INI
//
// It reads the command file, takes %EDI_IN% as FOLDER (or the EDI_IN environment variable),
// counts the records of each category's local file (a missing file has none), and writes the
// status file the command file names: one line per category (kind "0", the category, input and
// output counts, end code "00", or "01" for the --fail category) and a closing line of kind "1".
// With --ledger it also appends every record it registers to FILE, one line each, as the business
// database would hold them: what tests count to see that data was registered once.

#include "app/HelpAndVersion.h"
#include "app/text/ShiftJis.h"

#include <QCoreApplication>
#include <QFile>
#include <QRegularExpression>
#include <cstdio>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

using namespace Qt::Literals::StringLiterals;

namespace {

// The records of a local file, one per line; none for a missing file.
QList<QByteArray> records(const QString& path)
{
    QFile file(path);
    QList<QByteArray> lines;
    if (!file.open(QIODevice::ReadOnly))
        return lines;
    while (!file.atEnd())
        lines << file.readLine(1 << 20).trimmed();
    return lines;
}

// Appends the registered records in one locked write, so that registrations running at the
// same time never mix their lines.
bool appendToLedger(const QString& path, const QByteArray& lines)
{
    const int descriptor = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (descriptor < 0)
        return false;
    const bool written = ::flock(descriptor, LOCK_EX) == 0 && ::write(descriptor, lines.constData(), size_t(lines.size())) == lines.size();
    ::close(descriptor);
    return written;
}

const char* const kUsage = "usage: edi-register [--in FOLDER] [--fail CATEGORY] [--ledger FILE] @COMMAND.INI\n";
const QString kHelp = QString::fromLatin1(kUsage) + uR"(
A stand-in for the registration program, for tests and the demo: reads the command
file, checks each local file it names and writes the status file.
  --in FOLDER        where %EDI_IN% points (default: the environment variable EDI_IN)
  --fail CATEGORY    report this transaction category as failed
  --ledger FILE      append each registered record to FILE
  -h, --help         show this text and exit
  --version          show the version and exit
)"_s;

int usage()
{
    std::fputs(kUsage, stderr);
    return 2;
}

}  // namespace

int main(int argc, char* argv[])
{
    QCoreApplication application(argc, argv);
    const QStringList arguments = application.arguments().mid(1);
    if (const std::optional<int> answered = edi::answerHelpOrVersion(arguments, u"edi-register"_s, kHelp))
        return *answered;
    QString inFolder = qEnvironmentVariable("EDI_IN");
    QString failCategory;
    QString ledger;
    QString commandPath;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        if (arguments[i] == u"--in"_s && i + 1 < arguments.size())
            inFolder = arguments[++i];
        else if (arguments[i] == u"--fail"_s && i + 1 < arguments.size())
            failCategory = arguments[++i];
        else if (arguments[i] == u"--ledger"_s && i + 1 < arguments.size())
            ledger = arguments[++i];
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
    QByteArray registeredLines;
    for (const QString& line : edi::threadShiftJis().decode(command.readAll()).split(u"\r\n"_s)) {
        if (line.startsWith(u"/[EDI]STATUS_FILE="_s)) {
            statusPath = line.mid(18);
        } else if (const QRegularExpressionMatch match = fileLine.match(line); match.hasMatch()) {
            const QString category = match.captured(1);
            const QList<QByteArray> registered = records(QString(match.captured(2)).replace(u"%EDI_IN%"_s, inFolder));
            const QByteArray count = QByteArray::number(registered.size()).rightJustified(6, '0');
            const bool failing = category == failCategory;
            status += "0" + category.toLatin1() + QByteArray(12, ' ') + count + count + (failing ? "01" : "00") + "\r\n";
            for (const QByteArray& record : registered)
                if (!failing)
                    registeredLines += category.toLatin1() + ' ' + record + '\n';
        }
    }
    if (!ledger.isEmpty() && !registeredLines.isEmpty() && !appendToLedger(ledger, registeredLines)) {
        std::fputs("edi-register: cannot write the ledger\n", stderr);
        return 1;
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
