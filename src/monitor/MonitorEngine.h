#pragma once

#include "app/AppState.h"
#include "jobs/JobObserver.h"
#include "monitor/TimetableSource.h"

#include <QObject>
#include <QThread>
#include <QTimer>
#include <functional>
#include <memory>

namespace edi {

class Clock;
class JobWorker;

// The monitor's engine, without a window: the timetable, the run state, the automatic-run timer
// and the operator's commands. Jobs run one at a time on a worker thread; what they report comes
// back here and is told on through signals, which the window and the headless mode show.
//
// The timetable rolls: at a change of date, after the wall clock jumped (set by hand, the machine
// slept), when the schedule in the masters changed (looked at once a minute) and when asked, it is
// built anew from the masters, keeping what it knew of its rows (Timetable::rolled).
class MonitorEngine : public QObject {
    Q_OBJECT
public:
    static constexpr int kTickMilliseconds = 300;
    // A wall clock that moves this much more or less than the steady clock between two ticks jumped.
    static constexpr qint64 kClockJumpSeconds = 180;
    // A rebuild whose schedule could not be read is tried again after this long.
    static constexpr qint64 kRebuildRetrySeconds = 60;

    MonitorEngine(const Clock& clock, TimetableSource& source, BuiltTimetable built, std::unique_ptr<JobWorker> worker,
                  QObject* parent = nullptr);
    ~MonitorEngine() override;  // waits for a running job to end

    const Timetable& timetable() const { return timetable_; }
    Timetable& timetable() { return timetable_; }
    RunState runState() const { return runState_; }
    bool jobRunning() const { return jobRunning_; }
    // The row whose job runs; -1 when none does.
    int runningRow() const { return jobRunning_ ? runningRow_ : -1; }
    // Adding, changing and toggling rows is for while automatic running is off and no job runs.
    bool editable() const { return runState_ == RunState::Off && !jobRunning_; }
    // The program may end only then as well.
    bool mayEnd() const { return editable(); }
    // A failed row's job may run again (its conversion and registration) while automatic
    // running is off and no job runs.
    bool mayRerun(int row) const;
    // While it says no (a dialog works on a row by its index), rebuilds wait.
    void setRebuildGate(std::function<bool()> mayRebuild) { mayRebuild_ = std::move(mayRebuild); }

    // Starts the timer; automatic running is on from start-up. Rows of the start that are late
    // beyond the catch-up are marked missed first.
    void start();

public Q_SLOTS:
    // Timer tick: follows the clock, then runs the cursor's row when automatic running waits for
    // it and it is due.
    void tick();
    void startAutomatic();  // "自動実行開始(&S)"
    void stopAutomatic();   // "自動実行停止(&T)"; during a job it takes effect when the job ends
    // Toggles the mark of a row that has not run; false when that is not allowed now.
    bool toggleSelection(int row);
    // After the add-schedule dialog changed the timetable.
    void timetableEdited();
    // "再実行": the row's last job again; false when that is not allowed now.
    bool rerun(int row);
    // Builds the timetable anew from the masters at the next tick (SIGHUP, the window's menu).
    void requestRebuild(const QString& reason);

Q_SIGNALS:
    void runStateChanged(edi::RunState state);
    void rowChanged(int row);
    void timetableReset();
    void jobStarted(int row);
    void jobEnded(int row, edi::RowState state);
    void busyAgain();
    void note(const QString& text);
    void rerunRefused(const QString& reason);
    // Every tick: the timer runs (the service manager's watchdog hears of it).
    void ticked();
    // The first tick of each minute.
    void minutePassed(const QDateTime& now);
    // The timetable was built anew, and why.
    void rebuilt(const QString& reason);
    // A rebuild failed: the schedule could not be read.
    void rebuildFailed(const QString& problem);
    // A row runs late, within the catch-up; the text says so.
    void caughtUp(int row, const QString& text);
    // A row was not run: its minute passed beyond the catch-up.
    void missed(int row);
    // Automatic running has no row left to run, or has one again.
    void receptionsLeftChanged(bool left);
    void runJob(const QString& centreCode, const QString& jobNote);  // to the worker
    void runRerun(qint32 serial);                                     // to the worker

private Q_SLOTS:
    void onStatusText(edi::StatusColumn column, const QString& text);
    void onRowState(edi::RowState state);
    void onNote(const QString& text);
    void onReport(const QStringList& lines);
    void onJobFinished(edi::RowState state);
    void onSerialOpened(qint32 serial);

private:
    void setRunState(RunState state);
    void startJob(int row);
    // Date changes, clock jumps, the minute's look at the schedule, a pending rebuild.
    void followClock(const QDateTime& now);
    void rebuildIfDue(const QDateTime& now);
    void checkSchedule(const QDateTime& now);
    void applySchedule(const std::vector<ScheduleMasterRow>& schedule, const QDateTime& now, QString reason);
    // While automatic running is on: rows late beyond the catch-up become missed.
    void markMissed(const QDateTime& now);
    // Marks the missed rows and moves the cursor to the next row.
    void findNextRow(const QDateTime& now);
    ScheduleRow& running() { return timetable_.rows()[size_t(runningRow_)]; }

    const Clock& clock_;
    TimetableSource& source_;
    const int catchupMinutes_;
    Timetable timetable_;
    std::vector<ScheduleMasterRow> schedule_;  // what the timetable was last built from
    RunState runState_ = RunState::Waiting;
    bool jobRunning_ = false;
    int runningRow_ = -1;
    bool receptionsLeft_ = true;
    std::function<bool()> mayRebuild_;
    QString rebuildReason_;  // a rebuild waits for the next tick when set
    QDate builtOn_;
    QDateTime lastTick_;
    qint64 lastSteady_ = 0;
    QDateTime lastMinute_;
    qint64 retryAfterSteady_ = 0;
    QTimer timer_;
    QThread thread_;
};

}  // namespace edi
