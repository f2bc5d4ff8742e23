#pragma once

#include "app/masters/CsvReader.h"
#include "app/masters/MasterTables.h"

#include <QVariant>
#include <optional>

namespace edi {

// A CSV field as the value its column takes: a typed null for an empty field (a quoted empty
// field is an empty text in a text column), a text, a 32-bit integer or a time of day (HH:MM
// or HH:MM:SS). problem says in Japanese what keeps the field out of the column, empty when
// nothing does.
struct ColumnValue {
    QVariant value;
    QString problem;
};
ColumnValue readColumnField(const MasterColumn& column, const CsvField& field);

// The null a statement binds for a column the file leaves out.
QVariant nullValue(const MasterColumn& column);

// A value read from the database as its CSV field: nullopt for no value, times as HH:MM:SS.
std::optional<QString> columnFieldText(const MasterColumn& column, const QVariant& value);

// The characters of a text as the database counts them, a character outside the BMP as one.
qsizetype characterCount(const QString& text);

}  // namespace edi
