#pragma once

#include <QChar>
#include <QString>
#include <optional>

namespace edi {

// What an entry field accepts, by its attribute code: "1" anything; "2" single-byte text without
// "," "'" and '"' (a code ending in "U" turns a-z into capitals, one ending in "L" A-Z into small
// letters); "3" to "D" digits with the separators of their class, "-" and "." at most once in
// the field. The typed character as it goes into the field, or nothing when it is refused.
// An empty code is treated as "2".
std::optional<QChar> filterKeystroke(QChar typed, const QString& attributeCode, const QString& fieldText);

}  // namespace edi
