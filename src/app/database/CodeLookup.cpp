#include "app/database/CodeLookup.h"

#include "app/database/Database.h"
#include "app/database/DatabaseError.h"

using namespace Qt::Literals::StringLiterals;

namespace edi {

QString lookUpCodeName(Database& database, const QString& category, const QString& code)
{
    try {
        const ResultSet rows = database.query(
            {u"SELECT 区分名称 FROM 区分マスタ WHERE 区分= ? AND 区分ｺｰﾄﾞ= ?"_s, {category, code}});
        if (rows.atEnd())
            return {};
        const QVariant name = rows.value(u"区分名称"_s);
        return name.isNull() ? QString() : name.toString();
    } catch (const DatabaseError&) {
        return {};
    }
}

}  // namespace edi
