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
    qRegisterMetaType<qint32>();
    JobWorker* jobs = worker.release();
    jobs->moveToThread(&thread_);
    connect(&thread_, &QThread::finished, jobs, &QObject::deleteLater);
    connect(this, &MonitorEngine::runJob, jobs, &JobWorker::runJob);
    connect(jobs, &JobWorker::statusText, this, &MonitorEngine::onStatusText);
    connect(jobs, &JobWorker::rowState, this, &MonitorEngine::onRowState);
    connect(jobs, &JobWorker::busyAgain, this, &MonitorEngine::busyAgain);
    connect(jobs, &JobWorker::note, this, &MonitorEngine::onNote);
    connect(jobs, &JobWorker::report, this, &MonitorEngine::onReport);
    connect(jobs, &JobWorker::jobFinished, this, &MonitorEngine::onJobFinished);
    connect(this, &MonitorEngine::runRerun, jobs, &JobWorker::rerunJob);
    connect(jobs, &JobWorker::serialOpened, this, &MonitorEngine::onSerialOpened);
    connect(jobs, &JobWorker::rerunRefused, this, [this](int, const QString& reason) { Q_EMIT rerunRefused(reason); });
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
    setRunState(RunState::Running);
    startJob(row);
    Q_EMIT runJob(row, timetable_.rows()[size_t(row)].centreCode);
}

void MonitorEngine::startJob(int row)
{
    jobRunning_ = true;
    ScheduleRow& entry = timetable_.rows()[size_t(row)];
    entry.notes.clear();  // the tip tells of the row's last job
    entry.report.clear();
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
    Q_EMIT runRerun(row, timetable_.rows()[size_t(row)].serial);
    return true;
}

void MonitorEngine::onSerialOpened(int row, qint32 serial)
{
    timetable_.rows()[size_t(row)].serial = serial;
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

void MonitorEngine::onReport(int row, const QStringList& lines)
{
    timetable_.rows()[size_t(row)].report = lines;
    Q_EMIT rowChanged(row);
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
