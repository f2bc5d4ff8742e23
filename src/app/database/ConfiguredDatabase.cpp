#include "app/database/ConfiguredDatabase.h"

#include "app/HelpAndVersion.h"
#include "app/MachineName.h"
#include "app/config/Configuration.h"
#include "app/config/IniFile.h"
#include "app/database/ConnectionSettings.h"
#include "app/database/DatabaseError.h"

#include <QFileInfo>

using namespace Qt::Literals::StringLiterals;

namespace edi {

QString toolConfigurationPath(const QString& iniOption, const QString& programFolder)
{
    QString path = requestedConfigurationPath(iniOption);
    if (path.isEmpty()) {
        const std::optional<QString> folder = configurationFolder(programFolder);
        if (!folder)
            throw ConfigurationError(u"no EDI.ini above the program's folder; name one with --ini"_s);
        path = configurationPathIn(*folder);
    }
    if (!QFileInfo(path).isFile())
        throw ConfigurationError(u"the configuration file "_s + path + u" does not exist"_s);
    return path;
}

std::unique_ptr<Database> openConfiguredDatabase(const QString& configPath)
{
    const EnvironmentSettings environment = readEnvironmentSettings(IniFile::read(configPath));
    const ConnectionSettings settings =
        ConnectionSettings::fromEnvironment(environment, QFileInfo(configPath).absolutePath(), systemMachineName());
    try {
        return Database::open(settings);
    } catch (const DatabaseError& error) {
        throw ConfigurationError(u"cannot open the database: "_s + error.message());
    }
}

}  // namespace edi
