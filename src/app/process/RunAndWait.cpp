#include "app/process/RunAndWait.h"

#include <QProcess>
#include <QStringList>

namespace edi {

FileStatus runAndWait(const QString& commandLine, const QString& workingFolder)
{
    QStringList arguments = QProcess::splitCommand(commandLine);
    if (arguments.isEmpty())
        return FileStatus::Error;
    QProcess process;
    process.setProgram(arguments.takeFirst());
    process.setArguments(arguments);
    process.setWorkingDirectory(workingFolder);
    process.setProcessChannelMode(QProcess::ForwardedChannels);
    process.start();
    if (!process.waitForStarted(-1))
        return FileStatus::Error;
    process.waitForFinished(-1);
    return process.exitStatus() == QProcess::NormalExit ? FileStatus::Done : FileStatus::Error;
}

}  // namespace edi
