#include "app/process/RunAndWait.h"

#include <QProcess>

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
    process.start();
    if (!process.waitForStarted(-1))
        return FileStatus::Error;
    if (!process.waitForFinished(timeLimitSeconds > 0 ? timeLimitSeconds * 1000 : -1)) {
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
