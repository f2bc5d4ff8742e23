#include "monitor/CodeSearch.h"

#include "app/database/Database.h"
#include "app/text/TextHelpers.h"

using namespace Qt::Literals::StringLiterals;

namespace edi {

std::vector<CodeSearchRow> searchCentres(Database& database, const QString& partnerKind, const QString& machineName)
{
    // The code master's column is 区分ｺｰﾄﾞ, as everywhere else it is read.
    const Sql sql{u"SELECT センターコード, センター名, 相手先種別マスタ.区分名称 as 相手先種別,"
                  u" 送受信方式マスタ.区分名称 as 送受信方式, CVX受信ファイルパス, 実行端末名"
                  u" FROM ((FL1903EDI制御マスタ"
                  u" LEFT JOIN 区分マスタ AS 相手先種別マスタ "
                  u" ON (相手先種別マスタ.区分ｺｰﾄﾞ = FL1903EDI制御マスタ.相手先種別  AND 相手先種別マスタ.区分 = ? ))"
                  u" LEFT JOIN 区分マスタ AS 送受信方式マスタ "
                  u" ON (送受信方式マスタ.区分ｺｰﾄﾞ = FL1903EDI制御マスタ.送受信方式  AND 送受信方式マスタ.区分 = ? ))"
                  u" WHERE FL1903EDI制御マスタ.実行端末名 = ? "
                  u" AND 相手先種別マスタ.区分ｺｰﾄﾞ = ? "_s,
                  {u"相手先種別"_s, u"送受信方式"_s, machineName, partnerKind}};
    std::vector<CodeSearchRow> rows;
    for (ResultSet result = database.query(sql); !result.atEnd(); result.next()) {
        auto text = [&](int column) { return nullOrDefault(result.value(column), {}); };
        rows.push_back({text(0), text(1), text(2), text(3), text(4), text(5)});
    }
    return rows;
}

}  // namespace edi
