#include "web/MonitorSnapshot.h"

#include "app/ResultCode.h"
#include "app/database/CodeLookup.h"
#include "app/database/ColumnValues.h"
#include "app/database/Database.h"
#include "monitor/Timetable.h"
#include "web/JobOutcome.h"

#include <algorithm>
#include <set>

using namespace Qt::Literals::StringLiterals;

namespace edi {
namespace {

const QString kHistory = u"FL1102処理履歴ファイル"_s;

std::vector<CentreState> readCentres(Database& database)
{
    std::vector<CentreState> centres;
    for (ResultSet row = database.query({u"SELECT センターコード, センター名, 実行端末名, 送受信方式 FROM FL1903EDI制御マスタ"
                                         u" ORDER BY センターコード"_s,
                                         {}});
         !row.atEnd(); row.next())
        centres.push_back({row.value(0).toString(), row.value(1).toString().trimmed(), row.value(2).toString().trimmed(),
                           row.value(3).toString().trimmed(), std::nullopt, std::nullopt, false});
    return centres;
}

// The serial of centre c's latest job row that `condition` selects: the first read backwards
// through the history's index by centre (センターコード, 枝番, 処理開始日付, 通番), one step per
// centre instead of a walk through the history. A database without a first-row clause takes the
// highest serial of the centre's job rows, from the same index.
QString latestSerialOfCentre(Database& database, const QString& condition)
{
    const QString rows = u" FROM "_s + kHistory + u" h WHERE h.センターコード = c.センターコード AND h.枝番 = 0"_s + condition;
    const QString limit = database.firstRowOnly();
    if (limit.isEmpty())
        return u"SELECT MAX(h.通番)"_s + rows;
    return u"SELECT h.通番"_s + rows + u" ORDER BY h.処理開始日付 DESC, h.通番 DESC"_s + limit;
}

void addLastJobs(Database& database, std::vector<CentreState>& centres)
{
    const Sql latest{u"SELECT ("_s + latestSerialOfCentre(database, {}) + u") FROM FL1903EDI制御マスタ c"_s, {}};
    std::map<QString, JobHistory> byCentre;
    for (JobHistory& job : jobsOfSerials(database, latest))
        byCentre[job.jobRow().centreCode] = std::move(job);
    for (CentreState& centre : centres) {
        if (auto found = byCentre.find(centre.code); found != byCentre.end())
            centre.lastJob = std::move(found->second);
    }
}

void addLastSuccesses(Database& database, std::vector<CentreState>& centres)
{
    const QString serial = latestSerialOfCentre(database, u" AND h.終了コード = ?"_s);
    std::map<QString, QDateTime> ends;
    for (ResultSet row = database.query({u"SELECT センターコード, 処理終了日付, 処理終了時刻 FROM "_s + kHistory
                                             + u" WHERE 枝番 = 0 AND 通番 IN (SELECT ("_s + serial
                                             + u") FROM FL1903EDI制御マスタ c)"_s,
                                         {ResultCode::ok}});
         !row.atEnd(); row.next())
        ends[row.value(0).toString()] = QDateTime(dateValue(row.value(1)), timeValue(row.value(2)));
    for (CentreState& centre : centres) {
        if (auto found = ends.find(centre.code); found != ends.end() && found->second.isValid())
            centre.lastSuccess = found->second;
    }
}

// A centre that always sends, due today, that nothing came in from since its first reception
// today was due.
bool expectedNotReceived(const CentreState& centre, const std::vector<ScheduleMasterRow>& schedule,
                         const std::vector<JobHistory>& todaysJobs, const QDateTime& now)
{
    std::optional<QDateTime> firstDue;
    for (const ScheduleRow& row : Timetable::rowsOn(schedule, now.date())) {
        if (row.centreCode == centre.code && row.due() <= now && (!firstDue || row.due() < *firstDue))
            firstDue = row.due();
    }
    if (!firstDue)
        return false;
    return std::none_of(todaysJobs.begin(), todaysJobs.end(), [&](const JobHistory& job) {
        return job.jobRow().centreCode == centre.code && job.jobRow().started >= *firstDue
            && jobOutcome(job) == JobOutcome::Finished;
    });
}

}  // namespace

const WorkstationStatus* MonitorSnapshot::workstation(const QString& machine) const
{
    const auto found = std::find_if(workstations.begin(), workstations.end(),
                                    [&](const WorkstationStatus& status) { return status.machineName == machine; });
    return found == workstations.end() ? nullptr : &*found;
}

MonitorSnapshot readMonitorSnapshot(Database& database, const QDateTime& now, const QStringList& noDataCentres)
{
    MonitorSnapshot snapshot;
    snapshot.taken = now;
    snapshot.workstations = readWorkstationStatus(database, now);
    snapshot.centres = readCentres(database);
    addLastJobs(database, snapshot.centres);
    addLastSuccesses(database, snapshot.centres);
    std::set<QString> machines;
    for (const WorkstationStatus& status : snapshot.workstations)
        machines.insert(status.machineName);
    for (const CentreState& centre : snapshot.centres) {
        machines.insert(centre.machine);
        if (!snapshot.methodNames.contains(centre.transferMethod))
            snapshot.methodNames[centre.transferMethod] = lookUpCodeName(database, u"送受信方式"_s, centre.transferMethod);
    }
    for (const QString& machine : machines) {
        if (!machine.isEmpty())
            snapshot.schedules[machine] = loadScheduleMasterRows(database, machine);
    }
    snapshot.todaysJobs = jobsOfSerials(
        database, {u"SELECT 通番 FROM "_s + kHistory + u" WHERE 枝番 = 0 AND 処理開始日付 >= ?"_s, {now.date()}});
    for (CentreState& centre : snapshot.centres) {
        if (noDataCentres.contains(centre.code))
            centre.expectedNotReceived =
                expectedNotReceived(centre, snapshot.schedules[centre.machine], snapshot.todaysJobs, now);
    }
    return snapshot;
}

}  // namespace edi
