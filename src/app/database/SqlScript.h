#pragma once

#include <QString>
#include <QStringList>

namespace edi {

class Database;

// Splits a script into statements: each ends with ";" at the end of a line; lines starting with
// "--" are comments.
QStringList splitSqlScript(const QString& script);

// Runs every statement of a UTF-8 script file in one transaction. Throws DatabaseError.
void runSqlScript(Database& database, const QString& path);

}  // namespace edi
