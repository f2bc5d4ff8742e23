#pragma once

#include "QtPrinters.h"

#include "app/database/ConnectionSettings.h"
#include "app/database/Database.h"

#include <QTemporaryDir>
#include <memory>

namespace edi::test {

enum class Backend {
    Sqlite,          // a file in the test's temporary folder, through QSQLITE
    PostgreSql,      // the test server through QPSQL
    OdbcPostgreSql,  // the test server through the ODBC data source "EdiTestPg"
};
const char* backendName(Backend backend);

// A fresh, empty database for one test, and a temporary folder for the test's files. The
// PostgreSQL backends use one database per test process whose schema is emptied for each test.
class TestDatabase {
public:
    explicit TestDatabase(Backend backend);

    Backend backend() const { return backend_; }
    const ConnectionSettings& settings() const { return settings_; }
    std::unique_ptr<Database> open() const { return Database::open(settings_); }
    QString folder() const { return folder_.path(); }

    // Runs db/schema.sql, and db/demo-data.sql made to belong to machineName.
    void createTables() const;
    void loadDemoData(const QString& machineName) const;

    // The "動作環境" section of an EDI.ini in folder() that reaches this database.
    QByteArray environmentSection() const;

private:
    Backend backend_;
    QTemporaryDir folder_;
    ConnectionSettings settings_;
};

// The port of the test PostgreSQL server that the ctest fixture started.
int testServerPort();

}  // namespace edi::test
