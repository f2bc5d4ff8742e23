#pragma once

#include "app/masters/CsvEncoding.h"
#include "app/masters/MasterImport.h"

#include <QString>
#include <QStringList>
#include <vector>

namespace edi {

class Database;

struct MasterExportResult {
    bool done = false;
    std::vector<TableRowCount> written;  // each table with the rows written
    QStringList errors;                  // the first errors, one line each (MasterErrors)
    int errorCount = 0;
};

// Writes every master into the folder as importMasters reads it back: one CSV file per table
// named after it, a header of all its columns, the rows ordered by key, CR LF line ends. The
// files are written only when every table was read (and, for CP932, every value has a CP932
// form); each replaces its old file in one step.
MasterExportResult exportMasters(Database& database, const QString& folder, CsvEncoding encoding);

}  // namespace edi
