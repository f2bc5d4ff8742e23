// The database a benchmark's EDI.ini names, as the database benchmarks open it: created when it
// is a SQLite file that does not exist yet, with the system's tables when it has no history table.
#pragma once

#include "app/MachineName.h"
#include "app/config/Configuration.h"
#include "app/config/IniFile.h"
#include "app/database/Database.h"
#include "app/database/DatabaseError.h"
#include "app/database/SqlScript.h"

#include <QFileInfo>
#include <QString>
#include <memory>

namespace bench {

// Throws DatabaseError.
inline std::unique_ptr<edi::Database> openBenchDatabase(const QString& iniPath, const QString& schemaFile)
{
    const edi::EnvironmentSettings environment = edi::readEnvironmentSettings(edi::IniFile::read(iniPath));
    edi::ConnectionSettings settings = edi::ConnectionSettings::fromEnvironment(
        environment, QFileInfo(iniPath).absolutePath(), edi::systemMachineName());
    settings.createIfMissing = true;
    auto database = edi::Database::open(settings);
    try {
        database->query({QStringLiteral("SELECT 通番 FROM FL1102処理履歴ファイル WHERE 通番 = 0"), {}});
    } catch (const edi::DatabaseError&) {
        edi::runSqlScript(*database, schemaFile);
    }
    return database;
}

}  // namespace bench
