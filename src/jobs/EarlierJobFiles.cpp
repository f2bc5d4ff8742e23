#include "jobs/EarlierJobFiles.h"

#include "app/config/Configuration.h"
#include "app/config/IniFile.h"
#include "app/text/TextHelpers.h"
#include "jobs/JobContext.h"
#include "jobs/Registration.h"

#include <QDir>
#include <QFileInfo>

using namespace Qt::Literals::StringLiterals;

namespace edi {
namespace {

// A folder's first file whose name begins with the serial; an unset folder has none.
QString fileUnderSerial(const QString& folder, qint32 serial)
{
    if (folder.isEmpty())
        return {};
    const QDir dir(folder);
    const QStringList names = dir.entryList({serialText(serial) + u'*'}, QDir::Files | QDir::Hidden, QDir::Name);
    return names.isEmpty() ? QString() : dir.filePath(names.first());
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
