#include "jobs/EarlierJobFiles.h"

#include "app/config/Configuration.h"
#include "app/config/IniFile.h"
#include "app/text/TextHelpers.h"
#include "jobs/JobContext.h"
#include "jobs/Registration.h"

#include <QDirIterator>
#include <QFileInfo>

using namespace Qt::Literals::StringLiterals;

namespace edi {
namespace {

// A file of the folder whose name begins with the serial; an unset folder has none. The first
// one met will do: received-files and backup folders grow large.
QString fileUnderSerial(const QString& folder, qint32 serial)
{
    if (folder.isEmpty())
        return {};
    QDirIterator files(folder, {serialText(serial) + u'*'}, QDir::Files | QDir::Hidden);
    return files.hasNext() ? files.next() : QString();
}

QString existingIn(const QString& folder, const QString& path)
{
    return !folder.isEmpty() && QFileInfo::exists(path) ? path : QString();
}

}  // namespace

QString earlierJobFile(const JobSettings& settings, qint32 serial)
{
    const RegistrationSettings registration = readRegistrationSettings(IniFile::read(settings.configPath));
    for (const QString& found :
         {fileUnderSerial(settings.paths.receivedFolder, serial), fileUnderSerial(settings.paths.backupFolder, serial),
          existingIn(registration.commandFolder, registrationCommandFile(registration, serial)),
          existingIn(registration.statusFolder, registrationStatusFile(registration, serial))}) {
        if (!found.isEmpty())
            return u"%1 があります"_s.arg(found);
    }
    return {};
}

}  // namespace edi
