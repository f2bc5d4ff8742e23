#include "jobs/ReceivedDataTable.h"

#include "app/ResultCode.h"
#include "app/database/Database.h"
#include "app/database/DatabaseError.h"

#include <algorithm>
#include <span>

using namespace Qt::Literals::StringLiterals;

namespace edi {
namespace {

// Values bound in one statement: well within what every database takes.
constexpr size_t kValuesPerQuery = 100;

const QString kRegistrationKind = u"41"_s;

// The rows of the fingerprints that other jobs of the centre received and registered data of
// ("41" rows "0000") on `since` or later, or whose job rows are open: serial, kind, value and the
// job row's end date (null while it is open).
Sql earlierAmong(const QString& centreCode, qint32 serial, std::span<const DeliveryFingerprint> fingerprints,
                 const QDate& since)
{
    Sql sql{u"SELECT d.通番, d.照合種別, d.照合値, j.処理終了日付 FROM EDI受信データ照合 d"
            u" JOIN FL1102処理履歴ファイル j ON j.通番 = d.通番 AND j.枝番 = 0 WHERE d.センターコード = ? AND d.通番 <> ?"
            u" AND (j.処理終了日付 IS NULL OR EXISTS (SELECT 1 FROM FL1102処理履歴ファイル h WHERE h.通番 = d.通番"
            u" AND h.処理種別 = ? AND h.終了コード = ? AND h.処理終了日付 >= ?)) AND d.照合値 IN ("_s,
            {centreCode, serial, kRegistrationKind, ResultCode::ok, since}};
    QStringList placeholders;
    for (const DeliveryFingerprint& fingerprint : fingerprints) {
        placeholders << u"?"_s;
        sql.values << fingerprint.value;
    }
    sql.text += placeholders.join(u", "_s) + u')';
    return sql;
}

}  // namespace

bool ReceivedDataTable::tableExists()
{
    try {
        database_.query({u"SELECT 通番 FROM EDI受信データ照合 WHERE 1 = 0"_s, {}});
        return true;
    } catch (const DatabaseError&) {
        return false;
    }
}

void ReceivedDataTable::makeTable()
{
    if (tableSeen_)
        return;
    if (!tableExists()) {
        try {
            database_.execute({u"CREATE TABLE EDI受信データ照合 ("
                               u" センターコード VARCHAR(12) NOT NULL, 照合値 VARCHAR(100) NOT NULL,"
                               u" 照合種別 VARCHAR(8) NOT NULL, 通番 INTEGER NOT NULL, 受信日付 DATE, ファイル名 VARCHAR(4096),"
                               u" PRIMARY KEY (センターコード, 照合値, 照合種別, 通番))"_s,
                               {}});
        } catch (const DatabaseError&) {
            // Another workstation may have made it at the same moment: the next statement tells.
        }
    }
    tableSeen_ = true;
}

std::optional<EarlierDelivery> ReceivedDataTable::earlierDelivery(
    const QString& centreCode, qint32 serial, const std::vector<DeliveryFingerprint>& fingerprints, const QDate& since)
{
    makeTable();
    // The earliest serial, and of its fingerprints the first given (a file's content before its
    // groups' headers).
    std::optional<std::pair<qint32, size_t>> earliest;
    bool unsettled = false;
    for (size_t first = 0; first < fingerprints.size(); first += kValuesPerQuery) {
        const auto chunk = std::span(fingerprints).subspan(first, std::min(kValuesPerQuery, fingerprints.size() - first));
        for (ResultSet row = database_.query(earlierAmong(centreCode, serial, chunk, since)); !row.atEnd(); row.next()) {
            const auto shared = std::ranges::find_if(chunk, [&](const DeliveryFingerprint& fingerprint) {
                return fingerprint.kind == row.value(1).toString() && fingerprint.value == row.value(2).toString();
            });
            const std::pair<qint32, size_t> found{row.value(0).toInt(), first + size_t(shared - chunk.begin())};
            if (shared != chunk.end() && (!earliest || found < *earliest)) {
                earliest = found;
                unsettled = row.value(3).isNull();
            }
        }
    }
    if (!earliest)
        return std::nullopt;
    return EarlierDelivery{earliest->first, fingerprints[earliest->second], unsettled};
}

void ReceivedDataTable::record(const QString& centreCode, qint32 serial,
                               const std::vector<DeliveryFingerprint>& fingerprints, const QDate& today,
                               const QDate& forgetBefore)
{
    makeTable();
    database_.execute({u"DELETE FROM EDI受信データ照合 WHERE センターコード = ? AND 受信日付 < ?"_s, {centreCode, forgetBefore}});
    PreparedStatement insert = database_.prepare(
        u"INSERT INTO EDI受信データ照合 (センターコード, 照合値, 照合種別, 通番, 受信日付, ファイル名) VALUES (?, ?, ?, ?, ?, ?)"_s);
    for (const DeliveryFingerprint& fingerprint : fingerprints)
        insert.execute({centreCode, fingerprint.value, fingerprint.kind, serial, today, fingerprint.file});
}

}  // namespace edi
