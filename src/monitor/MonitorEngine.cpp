#include "monitor/MonitorEngine.h"

#include "app/Clock.h"
#include "monitor/JobWorker.h"

namespace edi {

MonitorEngine::MonitorEngine(const Clock& clock, Timetable timetable, std::unique_ptr<JobWorker> worker, QObject* parent)
    : QObject(parent)
    , clock_(clock)
    , timetable_(std::move(timetable))
{
    qRegisterMetaType<edi::StatusColumn>();
    qRegisterMetaType<edi::RowState>();
    JobWorker* jobs = worker.release();
    jobs->moveToThread(&thread_);
    connect(&thread_, &QThread::finished, jobs, &QObject::deleteLater);
    connect(this, &MonitorEngine::runJob, jobs, &JobWorker::runJob);
    connect(jobs, &JobWorker::statusText, this, &MonitorEngine::onStatusText);
    connect(jobs, &JobWorker::rowState, this, &MonitorEngine::onRowState);
    connect(jobs, &JobWorker::busyAgain, this, &MonitorEngine::busyAgain);
    connect(jobs, &JobWorker::note, this, &MonitorEngine::onNote);
    connect(jobs, &JobWorker::jobFinished, this, &MonitorEngine::onJobFinished);
    thread_.start();
    timer_.setInterval(kTickMilliseconds);
    connect(&timer_, &QTimer::timeout, this, &MonitorEngine::tick);
}

MonitorEngine::~MonitorEngine()
{
    thread_.quit();
    thread_.wait();
}

void MonitorEngine::start()
{
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
    if (runState_ != RunState::Waiting || jobRunning_ || !timetable_.cursorRowDue(clock_.now()))
        return;
    const int row = timetable_.cursor();
    jobRunning_ = true;
    setRunState(RunState::Running);
    Q_EMIT jobStarted(row);
    Q_EMIT runJob(row, timetable_.rows()[size_t(row)].centreCode);
}

void MonitorEngine::onStatusText(int row, StatusColumn column, const QString& text)
{
    timetable_.rows()[size_t(row)].status(column) = text;
    Q_EMIT rowChanged(row);
}

void MonitorEngine::onNote(int row, const QString& text)
{
    timetable_.rows()[size_t(row)].notes << text;  // read when the grid shows the row's tip
    Q_EMIT note(text);
}

void MonitorEngine::onRowState(int row, RowState state)
{
    timetable_.rows()[size_t(row)].displayState = state;
    Q_EMIT rowChanged(row);
}

void MonitorEngine::onJobFinished(int row, RowState state)
{
    jobRunning_ = false;
    timetable_.findNextRow(clock_.now());
    Q_EMIT jobEnded(row, state);
    if (runState_ == RunState::Running)
        setRunState(RunState::Waiting);
    else
        Q_EMIT runStateChanged(runState_);  // a stop pressed during the job: editing is possible now
}

void MonitorEngine::startAutomatic()
{
    timetable_.findNextRow(clock_.now());
    setRunState(jobRunning_ ? RunState::Running : RunState::Waiting);
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
