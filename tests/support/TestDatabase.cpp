#include "TestDatabase.h"

#include "TestFiles.h"
#include "app/database/DemoSetup.h"
#include "app/database/SqlScript.h"

#include <QCoreApplication>
#include <QDir>
#include <stdexcept>

using namespace Qt::Literals::StringLiterals;

namespace edi::test {
namespace {

const QString kOdbcDataSource = u"EdiTestPg"_s;

QString serverDataSource(const QString& database)
{
    return u"host=127.0.0.1 port=%1 dbname=%2"_s.arg(testServerPort()).arg(database);
}

ConnectionSettings serverSettings(const QString& database)
{
    ConnectionSettings settings;
    settings.kind = DatabaseKind::PostgreSql;
    settings.dataSource = serverDataSource(database);
    settings.user = u"edi"_s;
    settings.environmentName = u"TEST"_s;
    return settings;
}

// One database per test process and backend, created at first use.
QString processDatabase(Backend backend)
{
    const QString name = u"edi_%1_%2"_s.arg(backend == Backend::PostgreSql ? u"q"_s : u"o"_s)
                             .arg(QCoreApplication::applicationPid());
    static QStringList created;
    if (!created.contains(name)) {
        auto admin = Database::open(serverSettings(u"postgres"_s));
        admin->execute({u"DROP DATABASE IF EXISTS "_s + name, {}});
        admin->execute({u"CREATE DATABASE "_s + name, {}});
        created << name;
    }
    return name;
}

void emptySchema(const QString& database)
{
    auto db = Database::open(serverSettings(database));
    db->execute({u"DROP SCHEMA public CASCADE"_s, {}});
    db->execute({u"CREATE SCHEMA public"_s, {}});
}

// The ODBC data source lives in a user DSN file of this process, read at the first connection.
void defineOdbcDataSource(const QString& database)
{
    static bool defined = false;
    if (defined)
        return;
    static QTemporaryDir iniFolder;
    const QString path = iniFolder.filePath(u"odbc.ini"_s);
    writeFile(path, u"[%1]\nDriver=PostgreSQL Unicode\nServername=127.0.0.1\nPort=%2\nDatabase=%3\n"
                    u"Username=edi\n"_s.arg(kOdbcDataSource).arg(testServerPort()).arg(database).toUtf8());
    qputenv("ODBCINI", path.toUtf8());
    defined = true;
}

}  // namespace

const char* backendName(Backend backend)
{
    switch (backend) {
    case Backend::Sqlite: return "Sqlite";
    case Backend::PostgreSql: return "PostgreSql";
    case Backend::OdbcPostgreSql: return "OdbcPostgreSql";
    }
    return "?";
}

int testServerPort()
{
    const QString folder = qEnvironmentVariable("EDI_TEST_PG_DIR");
    if (folder.isEmpty())
        throw std::runtime_error("EDI_TEST_PG_DIR is not set; run the tests through ctest");
    bool ok = false;
    const int port = readFile(QDir(folder).filePath(u"port"_s)).trimmed().toInt(&ok);
    if (!ok)
        throw std::runtime_error("the test PostgreSQL server has not been started");
    return port;
}

TestDatabase::TestDatabase(Backend backend)
    : backend_(backend)
{
    settings_.environmentName = u"TEST"_s;
    settings_.baseFolder = folder_.path();
    switch (backend) {
    case Backend::Sqlite:
        settings_.kind = DatabaseKind::Sqlite;
        settings_.dataSource = u"edi.sqlite"_s;
        settings_.createIfMissing = true;
        break;
    case Backend::PostgreSql: {
        const QString database = processDatabase(backend);
        emptySchema(database);
        settings_ = serverSettings(database);
        break;
    }
    case Backend::OdbcPostgreSql: {
        const QString database = processDatabase(backend);
        emptySchema(database);
        defineOdbcDataSource(database);
        settings_.kind = DatabaseKind::Odbc;
        settings_.dataSource = kOdbcDataSource;
        settings_.user = u"edi"_s;
        break;
    }
    }
    settings_.baseFolder = folder_.path();
}

void TestDatabase::createTables() const
{
    auto db = open();
    runSqlScript(*db, sourcePath(u"db/schema.sql"_s));
}

void TestDatabase::loadDemoData(const QString& machineName) const
{
    auto db = open();
    runSqlScript(*db, sourcePath(u"db/demo-data.sql"_s));
    adaptDemoRows(*db, machineName, folder());
}

QByteArray TestDatabase::environmentSection() const
{
    static const char* driverKeys[] = {"SQLITE", "PSQL", ""};
    return u"[動作環境]\nDBDRIVER=%1\nDBSTRING=%2\nUSERID=%3\nPASSWD=%4\n"_s
        .arg(QString::fromLatin1(driverKeys[int(backend_)]), settings_.dataSource, settings_.user,
             settings_.password)
        .toUtf8();
}

}  // namespace edi::test
