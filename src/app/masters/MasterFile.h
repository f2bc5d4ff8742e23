#pragma once

#include "app/masters/MasterErrors.h"
#include "app/masters/MasterTables.h"

#include <QSet>
#include <QVariantList>
#include <optional>
#include <vector>

namespace edi {

// A row of a master file, a value for every column of its table in the table's order.
struct MasterRow {
    int line = 0;  // the line of the file on which the record begins
    QVariantList values;
};

struct MasterFile {
    const MasterTable* table = nullptr;
    QString fileName;
    std::vector<MasterRow> rows;  // the rows without errors, in the order of the file
    QSet<QString> keys;           // the rowKey of every record whose key was read, with errors or not
};

// Reads a table's CSV file and checks it on its own: encoding, CSV form, the header of column
// names (in any order; unknown names, names given twice and missing required columns are
// errors), every field against its column, and keys given twice. Adds every error it finds to
// errors; nullopt when the file could not be read as rows at all.
std::optional<MasterFile> readMasterFile(const MasterTable& table, const QString& path, MasterErrors& errors);

// The key of a row as one text, equal for rows the database takes as the same key.
QString rowKey(const MasterTable& table, const QVariantList& values);
// The values of some columns as one text, in rowKey's form.
QString keyText(const MasterTable& table, const QVariantList& values, const std::vector<int>& columns);

}  // namespace edi
