#include "monitor/MonitorEngine.h"

#include "app/Clock.h"
#include "app/database/DatabaseError.h"
#include "monitor/JobWorker.h"

#include <algorithm>
#include <cstdlib>

using namespace Qt::Literals::StringLiterals;

namespace edi {
namespace {

QDateTime minuteOf(const QDateTime& moment)
{
    return QDateTime(moment.date(), QTime(moment.time().hour(), moment.time().minute()));
}

}  // namespace

MonitorEngine::MonitorEngine(const Clock& clock, TimetableSource& source, BuiltTimetable built,
                             std::unique_ptr<JobWorker> worker, QObject* parent)
    : QObject(parent)
    , clock_(clock)
    , source_(source)
    , catchupMinutes_(source.catchupMinutes())
    , timetable_(std::move(built.timetable))
    , schedule_(std::move(built.schedule))
{
    qRegisterMetaType<edi::StatusColumn>();
    qRegisterMetaType<edi::RowState>();
    qRegisterMetaType<qint32>();
    JobWorker* jobs = worker.release();
    jobs->moveToThread(&thread_);
    connect(&thread_, &QThread::finished, jobs, &QObject::deleteLater);
    connect(this, &MonitorEngine::runJob, jobs, &JobWorker::runJob);
    connect(this, &MonitorEngine::runRerun, jobs, &JobWorker::rerunJob);
    connect(jobs, &JobWorker::statusText, this, &MonitorEngine::onStatusText);
    connect(jobs, &JobWorker::rowState, this, &MonitorEngine::onRowState);
    connect(jobs, &JobWorker::busyAgain, this, &MonitorEngine::busyAgain);
    connect(jobs, &JobWorker::note, this, &MonitorEngine::onNote);
    connect(jobs, &JobWorker::report, this, &MonitorEngine::onReport);
    connect(jobs, &JobWorker::jobFinished, this, &MonitorEngine::onJobFinished);
    connect(jobs, &JobWorker::serialOpened, this, &MonitorEngine::onSerialOpened);
    connect(jobs, &JobWorker::rerunRefused, this, &MonitorEngine::rerunRefused);
    thread_.start();

    const QDateTime now = clock_.now();
    builtOn_ = now.date();
    lastTick_ = now;
    lastSteady_ = clock_.steadyMsecs();
    lastMinute_ = minuteOf(now);
    timer_.setInterval(clock_.timerInterval(kTickMilliseconds));
    connect(&timer_, &QTimer::timeout, this, &MonitorEngine::tick);
}

MonitorEngine::~MonitorEngine()
{
    thread_.quit();
    thread_.wait();
}

void MonitorEngine::start()
{
    findNextRow(clock_.now());
    timer_.start();
}

void MonitorEngine::setRunState(RunState state)
{
    if (runState_ == state)
        return;
    runState_ = state;
    Q_EMIT runStateChanged(state);
}

void MonitorEngine::tick()
{
    const QDateTime now = clock_.now();
    Q_EMIT ticked();
    followClock(now);
    if (runState_ != RunState::Waiting || jobRunning_)
        return;
    // Rows are in time order: when the cursor's row is late beyond the catch-up, so may be others.
    const int row = timetable_.cursor();
    if (row < timetable_.rowCount() && timetable_.rows()[size_t(row)].minutesLate(now) > catchupMinutes_)
        findNextRow(now);
    if (!timetable_.cursorRowDue(now))
        return;
    ScheduleRow& entry = timetable_.rows()[size_t(timetable_.cursor())];
    QString jobNote;
    if (const qint64 late = entry.minutesLate(now); late > 0) {
        jobNote = u"定刻 %1 の受信を %2 分遅れで実行 (CATCHUP %3 分)"_s.arg(entry.due().toString(u"yyyy/MM/dd HH:mm"_s))
                      .arg(late)
                      .arg(catchupMinutes_);
    }
    setRunState(RunState::Running);
    startJob(timetable_.cursor());
    if (!jobNote.isEmpty()) {
        entry.notes << jobNote;
        Q_EMIT caughtUp(runningRow_, jobNote);
    }
    Q_EMIT runJob(entry.centreCode, jobNote);
}

void MonitorEngine::followClock(const QDateTime& now)
{
    const qint64 steady = clock_.steadyMsecs();
    const qint64 drift = lastTick_.msecsTo(now) - (steady - lastSteady_);
    lastTick_ = now;
    lastSteady_ = steady;
    if (std::llabs(drift) > kClockJumpSeconds * 1000)
        requestRebuild(u"時計が %1 分ずれました"_s.arg(drift / 60000));
    else if (now.date() != builtOn_)
        requestRebuild(u"日付が変わりました"_s);
    const QDateTime minute = minuteOf(now);
    if (minute != lastMinute_) {
        lastMinute_ = minute;
        Q_EMIT minutePassed(now);
        checkSchedule(now);
    }
    rebuildIfDue(now);
}

void MonitorEngine::requestRebuild(const QString& reason)
{
    if (rebuildReason_.isEmpty())
        rebuildReason_ = reason;
}

void MonitorEngine::rebuildIfDue(const QDateTime& now)
{
    if (rebuildReason_.isEmpty() || (mayRebuild_ && !mayRebuild_()) || clock_.steadyMsecs() < retryAfterSteady_)
        return;
    try {
        applySchedule(source_.schedule(), now, rebuildReason_);
    } catch (const DatabaseError& error) {
        retryAfterSteady_ = clock_.steadyMsecs() + kRebuildRetrySeconds * 1000;
        Q_EMIT rebuildFailed(error.message());
    }
}

// Once a minute: a schedule changed in the masters is taken at once.
void MonitorEngine::checkSchedule(const QDateTime& now)
{
    if (!rebuildReason_.isEmpty())
        return;  // the rebuild reads it anyway
    try {
        const std::vector<ScheduleMasterRow> schedule = source_.schedule();
        if (schedule == schedule_)
            return;
        if (mayRebuild_ && !mayRebuild_())
            requestRebuild(u"スケジュールマスタが変わりました"_s);
        else
            applySchedule(schedule, now, u"スケジュールマスタが変わりました"_s);
    } catch (const DatabaseError& error) {
        Q_EMIT rebuildFailed(error.message());
    }
}

void MonitorEngine::applySchedule(const std::vector<ScheduleMasterRow>& schedule, const QDateTime& now,
                                  QString reason)
{
    markMissed(now);  // told before the rows of a day that is over go
    timetable_ = timetable_.rolled(schedule, now, catchupMinutes_);
    schedule_ = schedule;
    builtOn_ = now.date();
    rebuildReason_.clear();
    if (jobRunning_) {
        const auto& rows = timetable_.rows();
        runningRow_ = int(std::find_if(rows.begin(), rows.end(),
                                       [](const ScheduleRow& row) { return row.displayState == RowState::Running; })
                          - rows.begin());
    }
    Q_EMIT timetableReset();
    findNextRow(now);
    Q_EMIT rebuilt(reason);
}

void MonitorEngine::markMissed(const QDateTime& now)
{
    if (runState_ == RunState::Off)
        return;  // the operator stopped it: what passes meanwhile is no reception missed
    for (const int row : timetable_.markMissed(now, catchupMinutes_)) {
        Q_EMIT rowChanged(row);
        Q_EMIT missed(row);
    }
}

void MonitorEngine::findNextRow(const QDateTime& now)
{
    markMissed(now);
    timetable_.findNextRow(now, catchupMinutes_);
    const bool left = timetable_.cursor() < timetable_.rowCount();
    if (left != receptionsLeft_) {
        receptionsLeft_ = left;
        Q_EMIT receptionsLeftChanged(left);
    }
}

void MonitorEngine::startJob(int row)
{
    jobRunning_ = true;
    runningRow_ = row;
    ScheduleRow& entry = running();
    entry.notes.clear();  // the tip tells of the row's last job
    entry.report.clear();
    entry.displayState = RowState::Running;  // kept through a rebuild before the job says so itself
    Q_EMIT jobStarted(row);
}

bool MonitorEngine::mayRerun(int row) const
{
    if (!editable() || row < 0 || row >= timetable_.rowCount())
        return false;
    const ScheduleRow& entry = timetable_.rows()[size_t(row)];
    return entry.displayState == RowState::Failed && entry.serial > 0;
}

bool MonitorEngine::rerun(int row)
{
    if (!mayRerun(row))
        return false;
    startJob(row);
    Q_EMIT runStateChanged(runState_);  // nothing is editable while it runs
    Q_EMIT runRerun(running().serial);
    return true;
}

void MonitorEngine::onSerialOpened(qint32 serial)
{
    running().serial = serial;
}

void MonitorEngine::onStatusText(StatusColumn column, const QString& text)
{
    running().status(column) = text;
    Q_EMIT rowChanged(runningRow_);
}

void MonitorEngine::onNote(const QString& text)
{
    running().notes << text;  // read when the grid shows the row's tip
    Q_EMIT note(text);
}

void MonitorEngine::onReport(const QStringList& lines)
{
    running().report = lines;
    Q_EMIT rowChanged(runningRow_);
}

void MonitorEngine::onRowState(RowState state)
{
    running().displayState = state;
    Q_EMIT rowChanged(runningRow_);
}

void MonitorEngine::onJobFinished(RowState state)
{
    const int row = runningRow_;
    running().displayState = state;  // a refused re-run leaves its row as it was
    jobRunning_ = false;
    findNextRow(clock_.now());
    Q_EMIT rowChanged(row);
    Q_EMIT jobEnded(row, state);
    if (runState_ == RunState::Running)
        setRunState(RunState::Waiting);
    else
        Q_EMIT runStateChanged(runState_);  // a stop pressed during the job: editing is possible now
}

void MonitorEngine::startAutomatic()
{
    setRunState(jobRunning_ ? RunState::Running : RunState::Waiting);
    findNextRow(clock_.now());
}

void MonitorEngine::stopAutomatic()
{
    setRunState(RunState::Off);
}

bool MonitorEngine::toggleSelection(int row)
{
    if (!editable() || row < 0 || row >= timetable_.rowCount())
        return false;
    ScheduleRow& entry = timetable_.rows()[size_t(row)];
    if (entry.displayState != RowState::NotRun)
        return false;
    entry.selected = !entry.selected;
    Q_EMIT rowChanged(row);
    return true;
}

void MonitorEngine::timetableEdited()
{
    Q_EMIT timetableReset();
}

}  // namespace edi
