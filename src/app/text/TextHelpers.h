#pragma once

#include <QString>
#include <QVariant>
#include <optional>

// Small text routines shared by the jobs, transports and converters.
namespace edi {

// The text before the first NUL character.
QString cutAtNul(const QString& text);

// Every two-character sequence backslash-n becomes CR LF (the configured mail body text).
QString expandLineBreaks(const QString& text);

// Bytes of the Shift-JIS form; 0 for a null value.
qsizetype ansiByteLength(const QVariant& value);
qsizetype ansiByteLength(const QString& text);

// The longest head of the text whose Shift-JIS form fits in maxBytes; a double-byte character
// that would be cut in half is left out.
QString cutToAnsiBytes(const QString& text, qsizetype maxBytes);

// True when converting to Shift-JIS and back gives the same text.
bool ansiRoundTrips(QStringView text);

// The Shift-JIS byte length when the text survives the round trip, otherwise its UTF-16 bytes.
qsizetype storageLength(QStringView text);

// The default for a null value, otherwise the value as text trimmed of blanks.
QString trimOrDefault(const QVariant& value, const QString& fallback);
// The default for a null value, otherwise the value as text unchanged.
QString nullOrDefault(const QVariant& value, const QString& fallback);

// The centre code as it appears in every job file name: 12 characters, the code followed by
// "_" fill, every blank inside the code turned into "_" ("ABC" gives "ABC_________").
// nullopt for a code longer than 12 characters.
std::optional<QString> fileNameCentreCode(const QString& centreCode);

// A regular-expression search of the text, case ignored, not anchored. An invalid pattern
// matches nothing.
bool patternMatches(const QString& pattern, const QString& text);

// The serial as it starts every job file name: eight digits with leading zeros.
QString serialText(qint64 serial);

}  // namespace edi
