#include "app/database/ConnectionSettings.h"

#include "app/config/Configuration.h"

#include <QDir>

using namespace Qt::Literals::StringLiterals;

namespace edi {

DatabaseKind ConnectionSettings::kindFromDriverKey(const QString& dbDriver)
{
    const QString key = dbDriver.trimmed().toUpper();
    if (key.isEmpty() || key == u"ODBC"_s)
        return DatabaseKind::Odbc;
    if (key == u"SQLITE"_s)
        return DatabaseKind::Sqlite;
    if (key == u"PSQL"_s)
        return DatabaseKind::PostgreSql;
    return DatabaseKind::Unknown;
}

ConnectionSettings ConnectionSettings::fromEnvironment(const EnvironmentSettings& environment,
                                                       const QString& baseFolder, const QString& machineName)
{
    ConnectionSettings settings;
    settings.kind = kindFromDriverKey(environment.dbDriver);
    settings.dataSource = environment.dbString.trimmed();
    settings.user = environment.userId.trimmed();
    settings.password = environment.password.trimmed();
    settings.baseFolder = baseFolder;
    settings.environmentName = machineName;
    return settings;
}

QString ConnectionSettings::connectionString() const
{
    return u"DSN="_s + dataSource + u";UID="_s + user + u";PWD="_s + password + u";"_s;
}

QString ConnectionSettings::sqliteFilePath() const
{
    return QDir::isAbsolutePath(dataSource) ? dataSource : QDir(baseFolder).filePath(dataSource);
}

}  // namespace edi
