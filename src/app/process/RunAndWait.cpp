#include "app/process/RunAndWait.h"

#include <QProcess>
#include <algorithm>
#include <climits>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

namespace edi {

FileStatus runAndWait(const QString& program, const QStringList& arguments, const QString& workingFolder,
                      int timeLimitSeconds)
{
    QProcess process;
    process.setProgram(program);
    process.setArguments(arguments);
    process.setWorkingDirectory(workingFolder);
    process.setProcessChannelMode(QProcess::ForwardedChannels);
    // Nobody types into an unattended job: a program that reads its input ends instead of waiting.
    process.setStandardInputFile(QProcess::nullDevice());
#ifdef Q_OS_UNIX
    // A process group of its own: Ctrl-C on the scheduler's terminal asks the scheduler to end
    // after the job, and must not kill the program in the middle of its transfer.
    process.setChildProcessModifier([] { ::setpgid(0, 0); });
#endif
    process.start();
    if (!process.waitForStarted(-1))
        return FileStatus::Error;
    const int limitMilliseconds = timeLimitSeconds > 0 ? int(std::min<qint64>(qint64(timeLimitSeconds) * 1000, INT_MAX)) : -1;
    if (!process.waitForFinished(limitMilliseconds)) {
        process.kill();
        process.waitForFinished(-1);
        return FileStatus::Error;
    }
    return process.exitStatus() == QProcess::NormalExit ? FileStatus::Done : FileStatus::Error;
}

FileStatus runAndWait(const QString& commandLine, const QString& workingFolder, int timeLimitSeconds)
{
    QStringList arguments = QProcess::splitCommand(commandLine);
    if (arguments.isEmpty())
        return FileStatus::Error;
    const QString program = arguments.takeFirst();
    return runAndWait(program, arguments, workingFolder, timeLimitSeconds);
}

}  // namespace edi
