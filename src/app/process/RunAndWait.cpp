#include "app/process/RunAndWait.h"

#include "app/process/ProcessTable.h"

#include <QDeadlineTimer>
#include <QProcess>
#include <algorithm>
#include <limits>

#include <unistd.h>

namespace edi {
namespace {

// Milliseconds QProcess may wait for: what is left of the deadline, capped to an int.
int remainingMilliseconds(const QDeadlineTimer& deadline)
{
    if (deadline.isForever())
        return -1;
    return int(std::min<qint64>(deadline.remainingTime(), std::numeric_limits<int>::max()));
}

}  // namespace

FileStatus runAndWait(const QString& program, const QStringList& arguments, const QString& workingFolder,
                      int timeLimitSeconds)
{
    return runAndWaitWith(program, arguments, workingFolder, timeLimitSeconds, QProcessEnvironment::systemEnvironment())
        .status;
}

ProgramEnd runAndWaitWith(const QString& program, const QStringList& arguments, const QString& workingFolder,
                          int timeLimitSeconds, const QProcessEnvironment& environment)
{
    QProcess process;
    process.setProcessEnvironment(environment);
    process.setProgram(program);
    process.setArguments(arguments);
    process.setWorkingDirectory(workingFolder);
    process.setProcessChannelMode(QProcess::ForwardedChannels);
    // Nobody types into an unattended job: a program that reads its input ends instead of waiting.
    process.setStandardInputFile(QProcess::nullDevice());
    // A process group of its own: Ctrl-C on the scheduler's terminal asks the scheduler to end
    // after the job, and must not kill the program in the middle of its transfer; and the group
    // is what a time limit stops.
    process.setChildProcessModifier([] { ::setpgid(0, 0); });
    process.start();
    if (!process.waitForStarted(-1))
        return {};
    const qint64 group = process.processId();
    const QDeadlineTimer deadline = timeLimitSeconds > 0
                                      ? QDeadlineTimer(std::chrono::seconds(timeLimitSeconds))
                                      : QDeadlineTimer(QDeadlineTimer::Forever);
    const bool ended = process.waitForFinished(remainingMilliseconds(deadline)) && waitForProcessGroup(group, deadline);
    if (!ended) {
        terminateProcessGroup(group, kStopGrace);
        process.waitForFinished(-1);
        return {};
    }
    if (process.exitStatus() != QProcess::NormalExit)
        return {};
    return {FileStatus::Done, process.exitCode()};
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
