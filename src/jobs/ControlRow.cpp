#include "jobs/ControlRow.h"

#include "app/ResultCode.h"
#include "app/database/Database.h"
#include "app/database/DatabaseError.h"
#include "app/text/TextHelpers.h"
#include "jobs/JobCodes.h"

using namespace Qt::Literals::StringLiterals;

namespace edi {

ControlRowLookup loadControlRow(Database& database, const QString& centreCode)
{
    try {
        const ResultSet rows = database.query({u"SELECT *  FROM FL1903EDI制御マスタ WHERE センターコード = ? "
                                               u" ORDER BY センターコード "_s,
                                               {centreCode}});
        if (rows.atEnd())
            return {JobCode::noControlRow, std::nullopt};
        ControlRow row;
        row.centreCode = rows.value(u"センターコード"_s).toString();
        row.centreName = nullOrDefault(rows.value(u"センター名"_s), {});
        row.transferMethod = nullOrDefault(rows.value(u"送受信方式"_s), {});
        row.partnerKind = nullOrDefault(rows.value(u"相手先種別"_s), {});
        row.partnerNumber = rows.value(u"CVX受信相手先番号"_s);
        row.fileNumber = rows.value(u"CVX受信ファイル番号"_s);
        row.receiveFilePath = trimOrDefault(rows.value(u"CVX受信ファイルパス"_s), {});
        row.dataFormat = rows.value(u"送受信データ形式"_s);
        row.partnerAddress = rows.value(u"相手先メールアドレス"_s);
        if (row.transferMethod == u"Z"_s && row.receiveFilePath.isEmpty())
            return {JobCode::noReceivePath, row};
        return {ResultCode::ok, row};
    } catch (const DatabaseError&) {
        return {JobCode::noControlRow, std::nullopt};
    }
}

bool hasControlRow(Database& database, const QString& centreCode)
{
    return !database.query({u"SELECT センターコード FROM FL1903EDI制御マスタ WHERE センターコード = ?"_s, {centreCode}})
                .atEnd();
}

}  // namespace edi
