#include "app/database/ConnectionSettings.h"

#include "app/config/Configuration.h"

#include <QDir>
#include <QRegularExpression>

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

QString ConnectionSettings::description() const
{
    switch (kind) {
    case DatabaseKind::Sqlite: return u"SQLite "_s + sqliteFilePath();
    case DatabaseKind::PostgreSql: {
        static const QRegularExpression password(u"password\\s*=\\s*('[^']*'|\\S*)"_s);
        return u"PostgreSQL "_s + QString(dataSource).replace(password, u"password=****"_s);
    }
    case DatabaseKind::Odbc: return u"ODBC "_s + dataSource;
    case DatabaseKind::Unknown: break;
    }
    return u"不明"_s;
}

}  // namespace edi
