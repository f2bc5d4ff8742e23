#include "app/database/DatabaseError.h"

#include <QSqlError>

namespace edi {

DatabaseError::DatabaseError(const QString& message)
    : std::runtime_error(message.toStdString())
    , message_(message)
{
}

DatabaseError::DatabaseError(const QString& context, const QSqlError& error)
    : DatabaseError(context + QStringLiteral(": ") + error.text().trimmed())
{
}

}  // namespace edi
