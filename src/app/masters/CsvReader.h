#pragma once

#include <QString>
#include <QStringView>
#include <vector>

namespace edi {

// One field of a CSV record. A quoted empty field ("") is an empty text, an unquoted one no value.
struct CsvField {
    QString text;
    bool quoted = false;
};

struct CsvRecord {
    int line = 0;  // the line of the file on which the record begins, from 1
    std::vector<CsvField> fields;
};

// The records of a CSV text (RFC 4180: fields separated by ",", quoted fields holding "," and
// line breaks, "" for a quote inside quotes). Lines end with CR LF, LF or CR; empty lines are
// no records. Reading stops at the first error, which says its line.
struct CsvText {
    std::vector<CsvRecord> records;
    int errorLine = 0;
    QString error;  // empty when the whole text was read

    bool ok() const { return error.isEmpty(); }
};

CsvText parseCsv(QStringView text);

}  // namespace edi
