#pragma once

#include <QString>
#include <QStringList>
#include <vector>

namespace edi {

class Database;

struct TableRowCount {
    QString table;
    int rows = 0;
};

struct MasterImportResult {
    bool done = false;
    std::vector<TableRowCount> loaded;  // the tables replaced, with the rows loaded into each
    QStringList leftAlone;              // the tables without a file, as they were
    QStringList ignoredFiles;           // CSV files of the folder that name no master
    QStringList errors;                 // the first errors, one line each (MasterErrors)
    int errorCount = 0;
};

// Replaces the masters by the CSV files of a folder, one per table named after it
// (区分マスタ.csv ...); a table without a file keeps its rows. Every file is read and checked
// first; then one transaction replaces each table that has a file. Any error leaves the database
// as it was.
MasterImportResult importMasters(Database& database, const QString& folder);

}  // namespace edi
