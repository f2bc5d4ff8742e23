#include "monitor/ScheduleQuery.h"

#include "app/database/ColumnValues.h"
#include "app/database/Database.h"
#include "app/database/DatabaseError.h"

using namespace Qt::Literals::StringLiterals;

namespace edi {

std::vector<ScheduleMasterRow> loadScheduleMasterRows(Database& database, const QString& machineName)
{
    const Sql sql{u"SELECT FL1903EDI制御マスタ.センターコード"
                  u" ,FL1903EDI制御マスタ.センター名 "
                  u" ,FL1903EDI制御マスタ.送受信方式 "
                  u" ,FL1912EDIスケジュールマスタ.起動時刻 "
                  u" ,FL1912EDIスケジュールマスタ.曜日 "
                  u" FROM FL1903EDI制御マスタ,FL1912EDIスケジュールマスタ "
                  u" WHERE FL1903EDI制御マスタ.センターコード = FL1912EDIスケジュールマスタ.センターコード "
                  u" AND FL1903EDI制御マスタ.実行端末名 = ?"
                  u" AND FL1903EDI制御マスタ.相手先種別 = ?"
                  u" AND FL1912EDIスケジュールマスタ.送受信種別 = ?"
                  u" ORDER BY FL1912EDIスケジュールマスタ.曜日,"
                  u" FL1912EDIスケジュールマスタ.起動時刻 "_s,
                  {machineName, u"1"_s, u"R"_s}};
    std::vector<ScheduleMasterRow> rows;
    for (ResultSet result = database.query(sql); !result.atEnd(); result.next()) {
        const QTime start = timeValue(result.value(3));
        // A row without a time would run at midnight: the master is wrong, and the timetable too.
        if (!start.isValid())
            throw DatabaseError(u"起動時刻 \"%1\" of %2 is not a time"_s.arg(result.value(3).toString(),
                                                                            result.value(0).toString()));
        rows.push_back({result.value(0).toString(), result.value(1).toString(), result.value(2).toString(), start,
                        result.value(4).toInt()});
    }
    return rows;
}

}  // namespace edi
