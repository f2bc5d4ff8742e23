#pragma once

#include <QString>

namespace edi {

class Database;

// The display name of a code in the code master (category "送受信方式" and a transfer method,
// for example). No row, a null name or a database error give the empty text.
QString lookUpCodeName(Database& database, const QString& category, const QString& code);

}  // namespace edi
