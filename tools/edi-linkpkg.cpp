// A stand-in for the external communication package, for tests and the demo. Started from its
// install folder like the real one, it reads the key-in file there, and its settings from
// cvxlink-standin.ini beside it:
//
//   [PACKAGE]
//   DATA=/data/folder/        the package's data folder: status files under STS/, LOGFL.dat
//   [05-12]                   partner number and file number of the key-in file
//   SOURCE=/partner/data.CII  what the partner sends
//   TARGET=/recv/ZC01.DAT     where the package puts it (the centre's receive file path)
//   STATUS=0000               the status code to report; NONE writes no status file
//   LOG=NO                    leaves the transfer out of the log
//   SLEEP=5                   seconds to wait before anything, to play a hanging package
//   TAKE=YES                  the partner's file is taken, not copied: each is delivered once,
//                             and a run that finds none delivers nothing
//
// It writes STS/Sts0001.TXT, appends an 88-byte record with the serial to LOGFL.dat, and on a
// zero status copies SOURCE to TARGET (status 0099 when SOURCE is missing).

#include "app/HelpAndVersion.h"
#include "app/config/IniFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QThread>
#include <cstdio>

#include <sys/time.h>

using namespace Qt::Literals::StringLiterals;

namespace {

QString joined(const QString& folder, const QString& name)
{
    return folder.endsWith(u'/') ? folder + name : folder + u'/' + name;
}

bool appendLogRecord(const QString& dataFolder, const QString& serial, const QString& partner, const QString& file)
{
    QFile log(joined(dataFolder, u"LOGFL.dat"_s));
    if (!log.open(QIODevice::ReadWrite | QIODevice::Append))
        return false;
    const qint64 sequence = log.size() / 88 + 1;
    // 71 bytes of transfer details, the sequence number (7), a blank, the serial (8), a line end.
    QByteArray record = (u"R %1 %2 "_s.arg(partner, file) + QDateTime::currentDateTime().toString(u"yyyyMMddHHmmss"_s))
                            .toLatin1()
                            .leftJustified(71, ' ', true);
    record += QByteArray::number(sequence).rightJustified(7, '0') + ' ' + serial.toLatin1().rightJustified(8, '0') + '\n';
    return log.write(record) == 88;
}

}  // namespace

int main(int argc, char* argv[])
{
    QCoreApplication application(argc, argv);
    const QString help = u"usage: edi-linkpkg\n\nA stand-in for the communication package, for tests and the demo: run in its\n"
                         u"folder, it reads Zkeyin.dat and its settings from cvxlink-standin.ini there.\n"
                         u"  -h, --help   show this text and exit\n  --version    show the version and exit\n"_s;
    if (const std::optional<int> answered = edi::answerHelpOrVersion(application.arguments().mid(1), u"edi-linkpkg"_s, help))
        return *answered;
    QFile keyIn(u"Zkeyin.dat"_s);
    if (!keyIn.open(QIODevice::ReadOnly)) {
        std::fputs("edi-linkpkg: no Zkeyin.dat in the working folder\n", stderr);
        return 1;
    }
    const QStringList lines = QString::fromLatin1(keyIn.readAll()).split(u"\r\n"_s);
    if (lines.size() < 11) {
        std::fputs("edi-linkpkg: the key-in file needs eleven lines\n", stderr);
        return 1;
    }
    const QString serial = lines[0];
    const QString partner = lines[2];
    const QString file = lines[3];

    const edi::IniFile settings = edi::IniFile::read(u"cvxlink-standin.ini"_s);
    const QString section = partner + u'-' + file;
    auto setting = [&](const QString& key) { return settings.value(section, key, 256); };
    const int sleepSeconds = setting(u"SLEEP"_s).toInt();
    if (sleepSeconds > 0)
        QThread::sleep(sleepSeconds);

    const QString dataFolder = settings.value(u"PACKAGE"_s, u"DATA"_s, 256);
    if (dataFolder.isEmpty()) {
        std::fputs("edi-linkpkg: cvxlink-standin.ini names no [PACKAGE] DATA folder\n", stderr);
        return 1;
    }
    QString status = setting(u"STATUS"_s).isEmpty() ? u"0000"_s : setting(u"STATUS"_s);
    const QString source = setting(u"SOURCE"_s);
    const QString target = setting(u"TARGET"_s);
    const bool take = setting(u"TAKE"_s).compare(u"YES"_s, Qt::CaseInsensitive) == 0;
    if (status == u"0000"_s && take) {
        // Taken by a rename: of two packages at one partner, one gets the file, written now as a
        // transfer writes it.
        const QByteArray to = QFile::encodeName(target);
        if (QFileInfo::exists(source)
            && (std::rename(QFile::encodeName(source).constData(), to.constData()) != 0 || ::utimes(to.constData(), nullptr) != 0))
            status = u"0099"_s;
    } else if (status == u"0000"_s) {
        QFile::remove(target);
        if (!QFile::copy(source, target))
            status = u"0099"_s;
    }
    if (setting(u"LOG"_s).compare(u"NO"_s, Qt::CaseInsensitive) != 0
        && !appendLogRecord(dataFolder, serial, partner, file)) {
        std::fputs("edi-linkpkg: cannot write the transfer log\n", stderr);
        return 1;
    }
    if (status.compare(u"NONE"_s, Qt::CaseInsensitive) != 0) {
        QDir().mkpath(joined(dataFolder, u"STS"_s));
        QFile statusFile(joined(dataFolder, u"STS/Sts0001.TXT"_s));
        if (!statusFile.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return 1;
        const QByteArray line = (status + u',' + serial + u',' + partner + u',' + file + u"\r\n"_s).toLatin1();
        if (statusFile.write(line) != line.size() || !statusFile.flush()) {
            std::fputs("edi-linkpkg: cannot write the status file\n", stderr);
            return 1;
        }
    }
    return 0;
}
