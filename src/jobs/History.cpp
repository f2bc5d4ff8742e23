#include "jobs/History.h"

#include "app/Clock.h"
#include "app/ResultCode.h"
#include "app/database/ColumnValues.h"
#include "app/database/Database.h"
#include "app/database/DatabaseError.h"
#include "app/text/TextHelpers.h"
#include "jobs/JobCodes.h"

#include <QSqlRecord>
#include <algorithm>

using namespace Qt::Literals::StringLiterals;

namespace edi {
namespace {

const QString kTable = u"FL1102処理履歴ファイル"_s;
// Serials bound in one statement: well within what every database takes.
constexpr size_t kSerialsPerQuery = 500;

QString orBlank(const QString& text) { return text.isEmpty() ? u" "_s : text; }
QString orZeros(const QString& code) { return code.isEmpty() ? ResultCode::ok : code; }

}  // namespace

HistoryColumns::HistoryColumns(const QSqlRecord& record)
{
    auto at = [&record](const QString& name) {
        const int index = record.indexOf(name);
        if (index < 0)
            throw DatabaseError(u"The result has no column "_s + name);
        return index;
    };
    branch = at(u"枝番"_s);
    processingKind = at(u"処理種別"_s);
    startDate = at(u"処理開始日付"_s);
    startTime = at(u"処理開始時刻"_s);
    centreCode = at(u"センターコード"_s);
    endDate = at(u"処理終了日付"_s);
    endTime = at(u"処理終了時刻"_s);
    transactionCategory = at(u"取引情報区分"_s);
    inputRecords = at(u"入力レコード数"_s);
    outputRecords = at(u"出力レコード数"_s);
    endCode = at(u"終了コード"_s);
    detailCode = at(u"詳細コード"_s);
    fileName = at(u"ファイル名"_s);
    note = record.indexOf(u"備考"_s);
}

HistoryRow historyRowFrom(const ResultSet& row, const HistoryColumns& columns)
{
    HistoryRow found;
    found.branch = qint16(row.value(columns.branch).toInt());
    found.processingKind = row.value(columns.processingKind).toString();
    found.started = QDateTime(dateValue(row.value(columns.startDate)), timeValue(row.value(columns.startTime)));
    found.centreCode = row.value(columns.centreCode).toString();
    const QVariant endDate = row.value(columns.endDate);
    found.completed = !endDate.isNull();
    if (found.completed)
        found.ended = QDateTime(dateValue(endDate), timeValue(row.value(columns.endTime)));
    found.transactionCategory = row.value(columns.transactionCategory).toString();
    found.inputRecords = row.value(columns.inputRecords).toInt();
    found.outputRecords = row.value(columns.outputRecords).toInt();
    found.endCode = row.value(columns.endCode).toString();
    found.detailCode = row.value(columns.detailCode).toString();
    found.fileName = row.value(columns.fileName).toString();
    if (columns.note >= 0)
        found.note = row.value(columns.note).toString();
    return found;
}

HistoryRow historyRowFrom(const ResultSet& row)
{
    return historyRowFrom(row, HistoryColumns(row.record()));
}

bool History::notesKept()
{
    if (notesKept_)
        return true;
    auto probe = [this] {
        try {
            database_.query({u"SELECT 備考 FROM FL1102処理履歴ファイル WHERE 1 = 0"_s, {}});
            return true;
        } catch (const DatabaseError&) {
            return false;
        }
    };
    bool kept = probe();
    if (!kept) {
        try {
            database_.execute({u"ALTER TABLE FL1102処理履歴ファイル ADD 備考 VARCHAR(1000)"_s, {}});
        } catch (const DatabaseError&) {
            // Another workstation may have added it at the same moment: look again.
        }
        kept = probe();
    }
    // Only what was seen is kept: a database that was out of reach is asked again next time.
    notesKept_ = kept;
    return kept;
}

QString History::noteAdded(const QVariant& current, const QString& note) const
{
    const QString before = current.isNull() ? QString() : current.toString();
    return (before.isEmpty() ? note : before + u" / "_s + note).left(kNoteLength);
}

qint32 History::highestSerial()
{
    const ResultSet rows = database_.query(
        {u"SELECT 通番 FROM FL1102処理履歴ファイル ORDER BY 通番 DESC, 枝番 DESC"_s + database_.firstRowOnly(), {}});
    return rows.atEnd() ? 0 : rows.value(u"通番"_s).toInt();
}

void History::insertRow(const HistoryStart& start, bool stepRow)
{
    auto value = [stepRow](const QString& text) { return stepRow ? orBlank(text) : text; };
    const QDateTime now = clock_.now();
    QString columns = u"通番 ,枝番 ,送受信種別 ,相手先種別 ,処理種別 ,処理開始日付 ,処理開始時刻 ,センターコード"_s;
    QVariantList values{start.serial, start.branch, value(start.direction), value(start.partnerKind),
                        value(start.processingKind), now.date(), now.time().addMSecs(-now.time().msec()),
                        start.centreCode};
    if (!start.note.isEmpty() && notesKept()) {
        columns += u" ,備考"_s;
        values << start.note.left(kNoteLength);
    }
    QStringList placeholders(values.size(), u"?"_s);
    database_.execute({u"INSERT INTO FL1102処理履歴ファイル ( "_s + columns + u" ) VALUES ( "_s + placeholders.join(u" ,"_s)
                           + u" )"_s,
                       values});
}

qint32 History::freeSerialAbove(qint32 highest, QString& skipped)
{
    skipped.clear();
    qint32 serial = highest + 1;
    if (!serialInUse_)
        return serial;
    for (QString reason = serialInUse_(serial); !reason.isEmpty(); reason = serialInUse_(++serial)) {
        if (skipped.isEmpty())
            skipped = reason;
    }
    if (skipped.isEmpty())
        return serial;
    const QString serials = serial == highest + 2 ? serialText(highest + 1)
                                                  : u"%1 から %2"_s.arg(serialText(highest + 1), serialText(serial - 1));
    skipped = u"通番 %1 は前のジョブのファイルがあるため使いません (データベースが古い写しから戻された可能性があります): %2"_s.arg(
        serials, skipped);
    return serial;
}

QString History::openJob(HistoryStart& start, QString* serialsSkipped)
{
    try {
        for (int attempt = 1;; ++attempt) {
            QString skipped;
            start.serial = freeSerialAbove(highestSerial(), skipped);
            start.branch = 0;
            HistoryStart row = start;
            if (!skipped.isEmpty())
                row.note = start.note.isEmpty() ? skipped : start.note + u" / "_s + skipped;
            try {
                insertRow(row, false);
                if (serialsSkipped)
                    *serialsSkipped = skipped;
                return ResultCode::ok;
            } catch (const DatabaseError&) {
                // Another workstation may have taken the serial between the look-up and the
                // insert: look again. Any other failure ends here.
                const bool taken = highestSerial() >= start.serial;
                if (!taken || attempt == kSerialAttempts)
                    throw;
            }
        }
    } catch (const DatabaseError&) {
        start.serial = 0;
        return ResultCode::failed;
    }
}

QString History::addStep(HistoryStart& start)
{
    if (start.serial == 0)
        return ResultCode::failed;
    try {
        ResultSet rows = database_.query(
            {u"SELECT 枝番 FROM FL1102処理履歴ファイル WHERE 通番 = ? ORDER BY 枝番 DESC"_s + database_.firstRowOnly(),
             {start.serial}});
        const qint32 branch = rows.atEnd() ? 1 : rows.value(u"枝番"_s).toInt() + 1;
        rows.close();  // before the insert, which may wait for another process's write
        if (branch > 32767)
            return ResultCode::failed;
        start.branch = qint16(branch);
        insertRow(start, true);
        return ResultCode::ok;
    } catch (const DatabaseError&) {
        return ResultCode::failed;
    }
}

QString History::closeRow(HistoryCompletion& completion)
{
    if (completion.serial == 0)
        return ResultCode::failed;
    try {
        const bool withNote = !completion.note.isEmpty() && notesKept();
        UpdatableResultSet row = database_.queryForUpdate(
            {u"SELECT * FROM FL1102処理履歴ファイル WHERE 通番 = ? AND 枝番 = ?"_s, {completion.serial, completion.branch}},
            kTable, {u"通番"_s, u"枝番"_s});
        if (row.atEnd()) {
            completion.endCode = ResultCode::failed;
            return ResultCode::ok;
        }
        const QDateTime now = clock_.now();
        row.setValue(u"処理終了日付"_s, now.date());
        row.setValue(u"処理終了時刻"_s, now.time().addMSecs(-now.time().msec()));
        row.setValue(u"相手先企業コード"_s, orBlank(completion.partnerCompany));
        row.setValue(u"BPID"_s, orBlank(completion.bpid));
        row.setValue(u"取引情報区分"_s, orBlank(completion.transactionCategory));
        row.setValue(u"最終シーケンス番号"_s, completion.lastSequence);
        row.setValue(u"入力レコード数"_s, completion.inputRecords);
        row.setValue(u"入力ファイルサイズ"_s, completion.inputFileSize);
        row.setValue(u"出力レコード数"_s, completion.outputRecords);
        row.setValue(u"出力ファイルサイズ"_s, completion.outputFileSize);
        row.setValue(u"格納モード"_s, orBlank(completion.storageMode));
        row.setValue(u"終了コード"_s, orZeros(completion.endCode));
        row.setValue(u"詳細コード"_s, orZeros(completion.detailCode));
        row.setValue(u"ファイル名"_s, orBlank(completion.fileName));
        if (withNote)
            row.setValue(u"備考"_s, noteAdded(row.value(u"備考"_s), completion.note));
        row.update();
        return ResultCode::ok;
    } catch (const DatabaseError&) {
        return ResultCode::failed;
    }
}

QString History::annotateRow(qint32 serial, qint16 branch, const QString& note, const QString& detailCode)
{
    try {
        const bool withNotes = notesKept();
        UpdatableResultSet row = database_.queryForUpdate(
            {u"SELECT * FROM FL1102処理履歴ファイル WHERE 通番 = ? AND 枝番 = ?"_s, {serial, branch}}, kTable,
            {u"通番"_s, u"枝番"_s});
        if (row.atEnd())
            return ResultCode::failed;
        if (!detailCode.isEmpty())
            row.setValue(u"詳細コード"_s, detailCode);
        if (withNotes)
            row.setValue(u"備考"_s, noteAdded(row.value(u"備考"_s), note));
        row.update();
        return ResultCode::ok;
    } catch (const DatabaseError&) {
        return ResultCode::failed;
    }
}

std::vector<HistoryRow> History::jobRows(qint32 serial)
{
    std::vector<HistoryRow> rows;
    ResultSet row = database_.query({u"SELECT * FROM FL1102処理履歴ファイル WHERE 通番 = ? ORDER BY 枝番"_s, {serial}});
    const HistoryColumns columns(row.record());
    for (; !row.atEnd(); row.next())
        rows.push_back(historyRowFrom(row, columns));
    return rows;
}

std::vector<JobHistory> History::jobs(const HistoryFilter& filter)
{
    Sql jobRows{u"SELECT 通番 FROM FL1102処理履歴ファイル WHERE 枝番 = 0 AND 処理開始日付 >= ? AND 処理開始日付 <= ?"_s,
                {filter.from, filter.to}};
    if (!filter.centreCode.isEmpty()) {
        jobRows.text += u" AND センターコード = ?"_s;
        jobRows.values << filter.centreCode;
    }
    std::vector<JobHistory> jobs = jobsOfSerials(database_, jobRows);
    if (filter.failedOnly)
        std::erase_if(jobs, [](const JobHistory& job) { return !job.failed(); });
    return jobs;
}

std::vector<JobHistory> jobsOfSerials(Database& database, const Sql& serials)
{
    // The serials first, then their rows by the key, a bounded list at a time: as one statement
    // ("通番 IN (SELECT ...)") a server's planner may join thousands of serials by reading the
    // whole table.
    std::vector<qint32> wanted;
    for (ResultSet row = database.query(serials); !row.atEnd(); row.next()) {
        if (!row.value(0).isNull())  // a centre without a job
            wanted.push_back(row.value(0).toInt());
    }
    std::sort(wanted.begin(), wanted.end());
    wanted.erase(std::unique(wanted.begin(), wanted.end()), wanted.end());
    std::vector<JobHistory> jobs;
    for (size_t first = 0; first < wanted.size(); first += kSerialsPerQuery) {
        const size_t count = std::min(kSerialsPerQuery, wanted.size() - first);
        Sql rows{u"SELECT * FROM FL1102処理履歴ファイル WHERE 通番 IN ("_s + QStringList(qsizetype(count), u"?"_s).join(u", "_s)
                     + u") ORDER BY 通番, 枝番"_s,
                 {}};
        for (size_t i = first; i < first + count; ++i)
            rows.values << wanted[i];
        ResultSet row = database.query(rows);
        const HistoryColumns columns(row.record());
        const int serialColumn = row.record().indexOf(u"通番"_s);
        for (; !row.atEnd(); row.next()) {
            HistoryRow found = historyRowFrom(row, columns);
            const qint32 serial = row.value(serialColumn).toInt();
            if (jobs.empty() || jobs.back().serial != serial)
                jobs.push_back({serial, {}});
            jobs.back().rows.push_back(std::move(found));
        }
    }
    // A job whose job row is gone is no job to list.
    std::erase_if(jobs, [](const JobHistory& job) { return job.rows.front().branch != 0; });
    return jobs;
}

std::map<QString, QDateTime> latestJobStarts(Database& database, const QDate& from)
{
    std::map<QString, QDateTime> latest;
    for (ResultSet row = database.query({u"SELECT センターコード, 処理開始日付, 処理開始時刻 FROM FL1102処理履歴ファイル"
                                         u" WHERE 枝番 = 0 AND 処理開始日付 >= ?"_s,
                                         {from}});
         !row.atEnd(); row.next()) {
        const QDateTime started(dateValue(row.value(1)), timeValue(row.value(2)));
        QDateTime& known = latest[row.value(0).toString()];
        if (!known.isValid() || known < started)
            known = started;
    }
    return latest;
}

bool JobHistory::failed() const
{
    const HistoryRow& job = jobRow();
    return job.completed && (job.endCode != ResultCode::ok || job.detailCode == JobCode::backupFailed);
}

QString History::machineNote(const QString& machineName)
{
    return u"端末 "_s + machineName;
}

QString History::machineNamedIn(const QString& note)
{
    const QString first = note.section(u" / "_s, 0, 0);
    const QString prefix = machineNote({});
    return first.startsWith(prefix) ? first.mid(prefix.size()) : QString();
}

std::vector<History::OpenJob> History::openJobRows(const QString& machineName, const QString& centreCode)
{
    const bool withNotes = notesKept();
    Sql sql{u"SELECT * FROM FL1102処理履歴ファイル WHERE 処理終了日付 IS NULL AND 処理種別 IN ('01', '10')"_s, {}};
    if (!centreCode.isEmpty()) {
        sql.text += u" AND センターコード = ?"_s;
        sql.values << centreCode;
    }
    sql.text += u" ORDER BY 通番, 枝番"_s;
    std::vector<OpenJob> open;
    for (ResultSet row = database_.query(sql); !row.atEnd(); row.next()) {
        const qint32 serial = row.value(u"通番"_s).toInt();
        if (row.value(u"枝番"_s).toInt() != 0) {
            if (!open.empty() && open.back().serial == serial)
                open.back().transferOpen = true;
            continue;
        }
        const QString machine = withNotes ? machineNamedIn(row.value(u"備考"_s).toString()) : QString();
        open.push_back({serial, row.value(u"センターコード"_s).toString(),
                        machine.isEmpty() ? QString() : machineNote(machine), false, false});
    }

    // The centres the machine runs, for job rows written before their notes named the machine.
    QStringList ownCentres;
    for (ResultSet row = database_.query(
             {u"SELECT センターコード FROM FL1903EDI制御マスタ WHERE 実行端末名 = ?"_s, {machineName}});
         !row.atEnd(); row.next())
        ownCentres << row.value(0).toString();
    const QString mine = machineNote(machineName);
    for (OpenJob& job : open)
        job.ranHere = job.machine.isEmpty() ? ownCentres.contains(job.centreCode) : job.machine == mine;
    return open;
}

std::vector<std::pair<qint32, QString>> History::openJobs(const QString& machineName, const QString& centreCode)
{
    std::vector<std::pair<qint32, QString>> jobs;
    for (const OpenJob& job : openJobRows(machineName, centreCode))
        if (job.ranHere)
            jobs.emplace_back(job.serial, job.centreCode);
    return jobs;
}

std::vector<std::pair<qint32, QString>> History::openTransfersElsewhere(const QString& machineName,
                                                                         const QString& centreCode)
{
    std::vector<std::pair<qint32, QString>> jobs;
    for (const OpenJob& job : openJobRows(machineName, centreCode))
        if (!job.ranHere && job.transferOpen)
            jobs.emplace_back(job.serial, job.machine);
    return jobs;
}

}  // namespace edi
