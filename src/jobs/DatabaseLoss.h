#pragma once

#include <QString>

namespace edi {

class Database;

// What an operator is told at the end of a job whose database connection was lost: that the job
// stopped for it (or, without a serial, never began) and what happens next. Empty while the
// connection holds.
QString databaseLossNote(const Database& database, const QString& centreCode, qint32 serial);

}  // namespace edi
