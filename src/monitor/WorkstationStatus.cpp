#include "monitor/WorkstationStatus.h"

#include "app/Clock.h"
#include "app/ResultCode.h"
#include "app/database/Database.h"
#include "app/text/TextHelpers.h"
#include "jobs/History.h"
#include "jobs/JobCodes.h"
#include "jobs/JobReport.h"
#include "jobs/Rerun.h"

#include <QRegularExpression>
#include <QSet>
#include <algorithm>
#include <map>

using namespace Qt::Literals::StringLiterals;

namespace edi {
namespace {

QStringList scheduledMachines(Database& database)
{
    QStringList machines;
    for (ResultSet row = database.query(
             {u"SELECT DISTINCT FL1903EDI制御マスタ.実行端末名 FROM FL1903EDI制御マスタ,FL1912EDIスケジュールマスタ"
              u" WHERE FL1903EDI制御マスタ.センターコード = FL1912EDIスケジュールマスタ.センターコード"
              u" AND FL1903EDI制御マスタ.相手先種別 = ? AND FL1912EDIスケジュールマスタ.送受信種別 = ?"_s,
              {u"1"_s, u"R"_s}});
         !row.atEnd(); row.next())
        machines << row.value(0).toString().trimmed();
    return machines;
}

std::map<QString, QString> machinesOfCentres(Database& database)
{
    std::map<QString, QString> machines;
    for (ResultSet row = database.query({u"SELECT センターコード, 実行端末名 FROM FL1903EDI制御マスタ"_s, {}}); !row.atEnd();
         row.next())
        machines[row.value(0).toString()] = row.value(1).toString().trimmed();
    return machines;
}

// The serials that later jobs ran again.
QSet<qint32> rerunSerials(const std::vector<JobHistory>& jobs)
{
    static const QRegularExpression rerun(rerunNote(0).chopped(8) + u"(\\d{8})"_s);
    QSet<qint32> serials;
    for (const JobHistory& job : jobs) {
        for (auto match = rerun.globalMatch(job.jobRow().note); match.hasNext();)
            serials.insert(match.next().captured(1).toInt());
    }
    return serials;
}

const HistoryRow* transferRow(const JobHistory& job)
{
    for (const HistoryRow& row : job.rows) {
        if (row.processingKind == u"10"_s)
            return &row;
    }
    return nullptr;
}

// Interrupted after its data was in, and not run again: its data may not be registered.
bool waitsForRerun(const JobHistory& job, const QSet<qint32>& rerun)
{
    const HistoryRow* transfer = transferRow(job);
    return job.jobRow().endCode == JobCode::interrupted && transfer && transfer->endCode == ResultCode::ok
        && !JobCode::receivedNothing(transfer->detailCode) && !rerun.contains(job.serial);
}

Liveness livenessOf(const std::optional<Heartbeat>& heartbeat, bool scheduled, const QDateTime& now)
{
    if (!heartbeat)
        return scheduled ? Liveness::Unknown : Liveness::None;
    if (heartbeat->ended())
        return Liveness::Ended;
    return heartbeat->alive(now, HeartbeatTable::kSilenceSeconds) ? Liveness::Alive : Liveness::Silent;
}

// A workstation's state for people and for scripts.
struct LivenessName {
    Liveness liveness;
    const char16_t* text;
    const char16_t* key;
};
constexpr LivenessName kLivenessNames[] = {
    {Liveness::Alive, u"稼働中", u"alive"},        {Liveness::Silent, u"応答なし", u"unresponsive"},
    {Liveness::Ended, u"停止", u"ended"},          {Liveness::Unknown, u"記録なし", u"unknown"},
    {Liveness::None, u"スケジューラなし", u"none"},
};

const LivenessName& nameOf(Liveness liveness)
{
    return *std::find_if(std::begin(kLivenessNames), std::end(kLivenessNames),
                         [liveness](const LivenessName& name) { return name.liveness == liveness; });
}

}  // namespace

QString livenessText(Liveness liveness)
{
    return QString::fromUtf16(nameOf(liveness).text);
}

QString livenessKey(Liveness liveness)
{
    return QString::fromUtf16(nameOf(liveness).key);
}

std::vector<WorkstationStatus> readWorkstationStatus(Database& database, const QDateTime& now)
{
    std::map<QString, WorkstationStatus> byName;
    auto named = [&byName](const QString& machine) -> WorkstationStatus& {
        WorkstationStatus& status = byName[machine];
        status.machineName = machine;
        return status;
    };
    for (Heartbeat& heartbeat : HeartbeatTable(database).all()) {
        WorkstationStatus& status = named(heartbeat.machineName);
        status.waitingFiles = heartbeat.waitingFiles.split(u'\n', Qt::SkipEmptyParts);
        status.heartbeat = std::move(heartbeat);
    }
    const QStringList scheduled = scheduledMachines(database);
    for (const QString& machine : scheduled)
        named(machine);

    const std::map<QString, QString> centreMachines = machinesOfCentres(database);
    const SystemClock unused;  // reading the history asks no time
    const std::vector<JobHistory> jobs =
        History(database, unused).jobs({now.date().addDays(-kInterruptedDays), now.date(), {}, false});
    const QSet<qint32> rerun = rerunSerials(jobs);
    for (const JobHistory& job : jobs) {
        const HistoryRow& row = job.jobRow();
        // A centre busy with another process touched nothing: no failure, as for the alerts.
        const bool failedToday = row.started.date() == now.date() && job.failed() && row.endCode != JobCode::centreBusy;
        const bool waiting = waitsForRerun(job, rerun);
        if (!failedToday && !waiting)
            continue;
        QString machine = History::machineNamedIn(row.note);
        if (machine.isEmpty()) {
            const auto centre = centreMachines.find(row.centreCode);
            machine = centre == centreMachines.end() ? QString() : centre->second;
        }
        WorkstationStatus& status = named(machine);
        const QString centre = row.centreCode.trimmed();
        if (failedToday)
            status.failedToday << u"%1 %2 %3 %4"_s.arg(serialText(job.serial), centre, row.endCode, rowMeaning(row));
        if (waiting)
            status.interrupted << serialText(job.serial) + u' ' + centre;
    }

    std::vector<WorkstationStatus> all;
    for (auto& [machine, status] : byName) {
        status.liveness = livenessOf(status.heartbeat, scheduled.contains(machine), now);
        all.push_back(std::move(status));
    }
    return all;
}

}  // namespace edi
