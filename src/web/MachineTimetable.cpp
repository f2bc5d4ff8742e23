#include "web/MachineTimetable.h"

#include "jobs/JobReport.h"
#include "web/JobOutcome.h"
#include "web/MonitorSnapshot.h"

#include <algorithm>
#include <map>

using namespace Qt::Literals::StringLiterals;

namespace edi {
namespace {

TimetableLine::State stateOf(const JobHistory& job)
{
    switch (jobOutcome(job)) {
    case JobOutcome::Running: return TimetableLine::State::Running;
    case JobOutcome::Finished:
    case JobOutcome::NoData: return TimetableLine::State::Finished;
    case JobOutcome::Failed: return TimetableLine::State::Failed;
    case JobOutcome::Busy: return TimetableLine::State::Busy;
    }
    return TimetableLine::State::NotRun;
}

// The job that ran for a row: the first of its centre started from the row's minute until the
// centre's next row.
const JobHistory* jobFor(const ScheduleRow& row, const QDateTime& until, const std::vector<const JobHistory*>& jobs)
{
    for (const JobHistory* job : jobs) {
        const QDateTime& started = job->jobRow().started;
        if (started >= row.due() && started < until)
            return job;
    }
    return nullptr;
}

}  // namespace

QString TimetableLine::stateText() const
{
    switch (state) {
    case State::NotRun: return u"未実行"_s;
    case State::Running: return u"処理中"_s;
    case State::Finished: return u"処理済"_s;
    case State::Failed: return u"エラー"_s;
    case State::Busy: return u"他の処理が受信中"_s;
    case State::Missed: return Timetable::kMissedText;
    }
    return {};
}

QString TimetableLine::stateKey() const
{
    switch (state) {
    case State::NotRun: return u"not_run"_s;
    case State::Running: return u"running"_s;
    case State::Finished: return u"finished"_s;
    case State::Failed: return u"failed"_s;
    case State::Busy: return u"busy"_s;
    case State::Missed: return u"missed"_s;
    }
    return {};
}

QString TimetableLine::stateClass() const
{
    switch (state) {
    case State::NotRun: return u"normal"_s;
    case State::Running: return u"running"_s;
    case State::Finished: return u"done"_s;
    case State::Failed: return u"error"_s;
    case State::Busy: return u"busy"_s;
    case State::Missed: return u"missed"_s;  // black, as the window shows it
    }
    return {};
}

std::vector<TimetableLine> machineTimetable(const MonitorSnapshot& snapshot, const QString& machine, const QDateTime& now,
                                            int catchupMinutes)
{
    const auto schedule = snapshot.schedules.find(machine);
    if (schedule == snapshot.schedules.end())
        return {};
    // Built at the day's first second, the timetable holds all of today's rows.
    Timetable timetable = Timetable::build(schedule->second, QDateTime(now.date(), QTime(0, 0)));
    std::vector<TimetableLine> lines;
    lines.reserve(timetable.rows().size());
    std::map<QString, QDateTime> nextOfCentre;  // walking backwards: the centre's next row today
    const QDateTime tomorrow(now.date().addDays(1), QTime(0, 0));
    std::map<QString, std::vector<const JobHistory*>> jobsOfCentre;  // by serial, as the snapshot has them
    for (const JobHistory& job : snapshot.todaysJobs)
        jobsOfCentre[job.jobRow().centreCode].push_back(&job);
    std::vector<ScheduleRow>& rows = timetable.rows();
    for (auto row = rows.rbegin(); row != rows.rend(); ++row) {
        TimetableLine line{std::move(*row), TimetableLine::State::NotRun, 0, {}};
        if (line.row.date == now.date()) {
            const auto next = nextOfCentre.find(line.row.centreCode);
            const QDateTime until = next == nextOfCentre.end() ? tomorrow : next->second;
            nextOfCentre[line.row.centreCode] = line.row.due();
            if (const JobHistory* job = jobFor(line.row, until, jobsOfCentre[line.row.centreCode])) {
                line.state = stateOf(*job);
                line.serial = job->serial;
                line.tip = jobReport(job->serial, job->rows).join(u'\n');
            } else if (line.row.minutesLate(now) > catchupMinutes) {
                line.state = TimetableLine::State::Missed;
                line.tip = line.row.missedNote(now, catchupMinutes);
            }
        }
        lines.push_back(std::move(line));
    }
    std::reverse(lines.begin(), lines.end());
    return lines;
}

}  // namespace edi
