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

namespace {

struct StateName {
    TimetableLine::State state;
    QString text;
    QString key;
    QString cssClass;
};

// Each state in words as the grid writes it, as a key, and the class of its colour; a missed row
// is black, as in the window.
const StateName& nameOf(TimetableLine::State state)
{
    using State = TimetableLine::State;
    static const StateName names[] = {
        {State::NotRun, u"未実行"_s, u"not_run"_s, u"normal"_s},
        {State::Running, u"処理中"_s, u"running"_s, u"running"_s},
        {State::Finished, u"処理済"_s, u"finished"_s, u"done"_s},
        {State::Failed, u"エラー"_s, u"failed"_s, u"error"_s},
        {State::Busy, u"他の処理が受信中"_s, u"busy"_s, u"busy"_s},
        {State::Missed, Timetable::kMissedText, u"missed"_s, u"missed"_s},
    };
    return *std::find_if(std::begin(names), std::end(names), [state](const StateName& name) { return name.state == state; });
}

}  // namespace

QString TimetableLine::stateText() const
{
    return nameOf(state).text;
}

QString TimetableLine::stateKey() const
{
    return nameOf(state).key;
}

QString TimetableLine::stateClass() const
{
    return nameOf(state).cssClass;
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
