#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

namespace edi {

// How the master files are written: UTF-8 with a byte-order mark (which spreadsheet programs
// take as UTF-8), or CP932 as Windows writes Shift-JIS.
enum class CsvEncoding { Utf8, Cp932 };

// "utf-8" or "cp932", in any case; nullopt for other names.
std::optional<CsvEncoding> csvEncodingNamed(const QString& name);

// The text of a master file: UTF-8 after an optional byte-order mark when the bytes are valid
// UTF-8, otherwise CP932. Bytes that are neither give an error that says their line.
struct DecodedCsv {
    QString text;
    int errorLine = 0;
    QString error;  // empty when decoded

    bool ok() const { return error.isEmpty(); }
};
DecodedCsv decodeCsvBytes(const QByteArray& bytes);

// The bytes of a master file. For CP932 every character must have a CP932 form
// (ansiRoundTrips), which the caller checks value by value.
QByteArray encodeCsvText(const QString& text, CsvEncoding encoding);

}  // namespace edi
