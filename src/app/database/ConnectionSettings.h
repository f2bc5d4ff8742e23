#pragma once

#include <QString>

namespace edi {

struct EnvironmentSettings;

// Which Qt SQL driver serves the database, chosen by the configuration's DBDRIVER key.
enum class DatabaseKind {
    Odbc,        // empty DBDRIVER: DBSTRING names an ODBC data source
    Sqlite,      // "SQLITE": DBSTRING is the database file, relative to the base folder
    PostgreSql,  // "PSQL": DBSTRING is a libpq connection string
    Unknown,     // any other DBDRIVER value: the connection cannot be opened
};

struct ConnectionSettings {
    DatabaseKind kind = DatabaseKind::Odbc;
    QString dataSource;  // DBSTRING, trimmed
    QString user;        // USERID, trimmed
    QString password;    // PASSWD, trimmed
    QString baseFolder;  // folder of the configuration file; relative SQLite files live there
    QString environmentName;  // the machine name; names the connection
    bool createIfMissing = false;  // SQLite only: create the file (database set-up tools)
    int queryTimeoutSeconds = 300;  // a statement that runs longer fails

    static DatabaseKind kindFromDriverKey(const QString& dbDriver);
    // The settings of section "動作環境", trimmed.
    static ConnectionSettings fromEnvironment(const EnvironmentSettings& environment,
                                              const QString& baseFolder, const QString& machineName);

    // "DSN=" + data source + ";UID=" + user + ";PWD=" + password + ";"
    QString connectionString() const;
    // The SQLite file: the data source, taken from the base folder when relative.
    QString sqliteFilePath() const;
    // The database for a log line: its kind and where it is, without a password.
    QString description() const;
};

}  // namespace edi
