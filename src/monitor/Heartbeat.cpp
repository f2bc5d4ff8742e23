#include "monitor/Heartbeat.h"

#include "app/database/ColumnValues.h"
#include "app/database/Database.h"
#include "app/database/DatabaseError.h"

using namespace Qt::Literals::StringLiterals;

namespace edi {
namespace {

// A date and a time of day in two columns, as the history keeps them: bound as date and time
// values, they read back the same on every database.
QVariant dateOf(const QDateTime& moment)
{
    return moment.isValid() ? QVariant(moment.date()) : QVariant(QMetaType::fromType<QDate>());
}

QVariant timeOf(const QDateTime& moment)
{
    return moment.isValid() ? QVariant(QTime(moment.time().hour(), moment.time().minute(), moment.time().second()))
                            : QVariant(QMetaType::fromType<QTime>());
}

QDateTime momentOf(const QVariant& date, const QVariant& time)
{
    if (date.isNull() || time.isNull())
        return {};
    return QDateTime(dateValue(date), timeValue(time));
}

}  // namespace

bool Heartbeat::alive(const QDateTime& now, qint64 silence) const
{
    return !ended() && lastTick.isValid() && lastTick.secsTo(now) <= silence;
}

bool HeartbeatTable::tableExists()
{
    try {
        database_.query({u"SELECT 端末名 FROM EDI端末稼働状況 WHERE 1 = 0"_s, {}});
        return true;
    } catch (const DatabaseError&) {
        return false;
    }
}

void HeartbeatTable::makeTable()
{
    if (tableSeen_)
        return;
    if (!tableExists()) {
        try {
            database_.execute({u"CREATE TABLE EDI端末稼働状況 ("
                               u" 端末名 VARCHAR(64) NOT NULL, プログラム版 VARCHAR(20), プロセス番号 INTEGER,"
                               u" 起動日付 DATE, 起動時刻 TIME, 確認日付 DATE, 確認時刻 TIME, 実行状態 SMALLINT,"
                               u" 次回受信日付 DATE, 次回受信時刻 TIME, 次回受信センター VARCHAR(12),"
                               u" 実行中センター VARCHAR(12), 実行中通番 INTEGER, 操作待ち VARCHAR(1000),"
                               u" PRIMARY KEY (端末名))"_s,
                               {}});
        } catch (const DatabaseError&) {
            // Another workstation may have made it at the same moment: the write tells.
        }
    }
    tableSeen_ = true;
}

void HeartbeatTable::write(const Heartbeat& heartbeat)
{
    makeTable();
    const QVariantList values{heartbeat.version,
                              heartbeat.processId,
                              dateOf(heartbeat.started),
                              timeOf(heartbeat.started),
                              dateOf(heartbeat.lastTick),
                              timeOf(heartbeat.lastTick),
                              heartbeat.runState,
                              dateOf(heartbeat.nextReception),
                              timeOf(heartbeat.nextReception),
                              heartbeat.nextCentre,
                              heartbeat.runningCentre,
                              heartbeat.runningSerial,
                              heartbeat.waitingFiles.left(kWaitingFilesLength),
                              heartbeat.machineName};
    const int updated = database_.execute(
        {u"UPDATE EDI端末稼働状況 SET プログラム版 = ?, プロセス番号 = ?, 起動日付 = ?, 起動時刻 = ?, 確認日付 = ?,"
         u" 確認時刻 = ?, 実行状態 = ?, 次回受信日付 = ?, 次回受信時刻 = ?, 次回受信センター = ?, 実行中センター = ?,"
         u" 実行中通番 = ?, 操作待ち = ? WHERE 端末名 = ?"_s,
         values});
    if (updated > 0)
        return;
    database_.execute({u"INSERT INTO EDI端末稼働状況 (プログラム版, プロセス番号, 起動日付, 起動時刻, 確認日付, 確認時刻,"
                       u" 実行状態, 次回受信日付, 次回受信時刻, 次回受信センター, 実行中センター, 実行中通番, 操作待ち, 端末名)"
                       u" VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"_s,
                       values});
}

std::vector<Heartbeat> HeartbeatTable::read(const QString& machineName)
{
    Sql sql{u"SELECT * FROM EDI端末稼働状況"_s, {}};
    if (!machineName.isNull()) {
        sql.text += u" WHERE 端末名 = ?"_s;
        sql.values << machineName;
    }
    sql.text += u" ORDER BY 端末名"_s;
    std::vector<Heartbeat> heartbeats;
    try {
        for (ResultSet row = database_.query(sql); !row.atEnd(); row.next()) {
            Heartbeat heartbeat;
            heartbeat.machineName = row.value(u"端末名"_s).toString();
            heartbeat.version = row.value(u"プログラム版"_s).toString();
            heartbeat.processId = row.value(u"プロセス番号"_s).toLongLong();
            heartbeat.started = momentOf(row.value(u"起動日付"_s), row.value(u"起動時刻"_s));
            heartbeat.lastTick = momentOf(row.value(u"確認日付"_s), row.value(u"確認時刻"_s));
            heartbeat.runState = row.value(u"実行状態"_s).toInt();
            heartbeat.nextReception = momentOf(row.value(u"次回受信日付"_s), row.value(u"次回受信時刻"_s));
            heartbeat.nextCentre = row.value(u"次回受信センター"_s).toString();
            heartbeat.runningCentre = row.value(u"実行中センター"_s).toString();
            heartbeat.runningSerial = row.value(u"実行中通番"_s).toInt();
            heartbeat.waitingFiles = row.value(u"操作待ち"_s).toString();
            heartbeats.push_back(std::move(heartbeat));
        }
    } catch (const DatabaseError&) {
        if (tableExists())
            throw;
        // No scheduler has written a heartbeat to this database yet.
    }
    return heartbeats;
}

std::vector<Heartbeat> HeartbeatTable::all()
{
    return read({});
}

std::optional<Heartbeat> HeartbeatTable::of(const QString& machineName)
{
    std::vector<Heartbeat> found = read(machineName);
    if (found.empty())
        return std::nullopt;
    return std::move(found.front());
}

}  // namespace edi
