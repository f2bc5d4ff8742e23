#include "app/files/ConversionLogLocation.h"

#include "app/files/JobFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <unistd.h>

using namespace Qt::Literals::StringLiterals;

namespace edi {
namespace {

const QString kLogName = u"ERR.LOG"_s;

bool writable(const QString& path)
{
    return ::access(QFile::encodeName(path).constData(), W_OK) == 0;
}

// Programs installed by the system's packages live here; a log written there as root would
// mix with them.
bool isSystemProgramFolder(const QString& folder)
{
    const QFileInfo info(folder);
    const QString path = info.exists() ? info.canonicalFilePath() : QDir::cleanPath(info.absoluteFilePath());
    return path == u"/usr"_s || path.startsWith(u"/usr/"_s) || path == u"/bin"_s || path == u"/sbin"_s;
}

// The process may write the folder, and the log in it when there is one already.
bool takesLog(const QString& folder)
{
    const QString log = JobFiles::joinPath(folder, kLogName);
    return writable(folder) && (!QFileInfo::exists(log) || writable(log));
}

QString logIn(const QString& folder)
{
    QDir().mkpath(folder);
    return JobFiles::joinPath(folder, kLogName);
}

}  // namespace

QString conversionLogPath(const QString& configuredFolder, const QString& programFolder, const QString& fallbackFolder)
{
    if (!configuredFolder.isEmpty())
        return logIn(configuredFolder);
    if (!programFolder.isEmpty() && !isSystemProgramFolder(programFolder) && takesLog(programFolder))
        return JobFiles::joinPath(programFolder, kLogName);
    // One folder per LogsDirectory= entry, separated by ":"; the first serves.
    const QString serviceFolder = qEnvironmentVariable("LOGS_DIRECTORY").section(u':', 0, 0);
    if (!serviceFolder.isEmpty()) {
        const QString log = logIn(serviceFolder);
        if (takesLog(serviceFolder))
            return log;
    }
    return logIn(fallbackFolder);
}

QString userStateFolder()
{
    // Only an absolute XDG_STATE_HOME counts; a relative one is ignored, as the XDG rules say.
    QString base = qEnvironmentVariable("XDG_STATE_HOME");
    if (base.isEmpty() || QDir::isRelativePath(base))
        base = QDir::homePath() + u"/.local/state"_s;
    return base + u"/edi-auto"_s;
}

}  // namespace edi
