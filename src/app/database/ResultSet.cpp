#include "app/database/ResultSet.h"

#include "app/database/DatabaseError.h"

#include <QSqlError>

using namespace Qt::Literals::StringLiterals;

namespace edi {

ResultSet::ResultSet(QSqlQuery&& query)
    : query_(std::move(query))
    , record_(query_.record())
{
    next();
}

void ResultSet::next()
{
    atEnd_ = !query_.next();
    if (atEnd_ && query_.lastError().isValid())
        throw DatabaseError(u"Reading rows"_s, query_.lastError());
}

void ResultSet::close()
{
    query_.finish();
    atEnd_ = true;
}

QVariant ResultSet::value(const QString& column) const
{
    const int index = record_.indexOf(column);
    if (index < 0)
        throw DatabaseError(u"The result has no column "_s + column);
    return value(index);
}

QVariant ResultSet::value(int index) const
{
    if (atEnd_)
        throw DatabaseError(u"No current row"_s);
    return query_.value(index);
}

}  // namespace edi
