#pragma once

#include "app/AppState.h"
#include "jobs/JobObserver.h"
#include "monitor/Timetable.h"

#include <QObject>
#include <QThread>
#include <QTimer>
#include <memory>

namespace edi {

class Clock;
class JobWorker;

// The monitor's engine, without a window: the timetable, the run state, the automatic-run timer
// and the operator's commands. Jobs run one at a time on a worker thread; what they report comes
// back here and is told on through signals, which the window and the headless mode show.
class MonitorEngine : public QObject {
    Q_OBJECT
public:
    static constexpr int kTickMilliseconds = 300;

    MonitorEngine(const Clock& clock, Timetable timetable, std::unique_ptr<JobWorker> worker, QObject* parent = nullptr);
    ~MonitorEngine() override;  // waits for a running job to end

    const Timetable& timetable() const { return timetable_; }
    Timetable& timetable() { return timetable_; }
    RunState runState() const { return runState_; }
    bool jobRunning() const { return jobRunning_; }
    // Adding, changing and toggling rows is for while automatic running is off and no job runs.
    bool editable() const { return runState_ == RunState::Off && !jobRunning_; }
    // The program may end only then as well.
    bool mayEnd() const { return editable(); }
    // A failed row's job may run again (its conversion and registration) while automatic
    // running is off and no job runs.
    bool mayRerun(int row) const;

    // Starts the timer; automatic running is on from start-up.
    void start();

public Q_SLOTS:
    // Timer tick: runs the cursor's row when automatic running waits for it and it is due.
    void tick();
    void startAutomatic();  // "自動実行開始(&S)"
    void stopAutomatic();   // "自動実行停止(&T)"; during a job it takes effect when the job ends
    // Toggles the mark of a row that has not run; false when that is not allowed now.
    bool toggleSelection(int row);
    // After the add-schedule dialog changed the timetable.
    void timetableEdited();
    // "再実行": the row's last job again; false when that is not allowed now.
    bool rerun(int row);

Q_SIGNALS:
    void runStateChanged(edi::RunState state);
    void rowChanged(int row);
    void timetableReset();
    void jobStarted(int row);
    void jobEnded(int row, edi::RowState state);
    void busyAgain();
    void note(const QString& text);
    void rerunRefused(const QString& reason);
    void runJob(int row, const QString& centreCode);  // to the worker
    void runRerun(int row, qint32 serial);            // to the worker

private Q_SLOTS:
    void onStatusText(int row, edi::StatusColumn column, const QString& text);
    void onRowState(int row, edi::RowState state);
    void onNote(int row, const QString& text);
    void onReport(int row, const QStringList& lines);
    void onJobFinished(int row, edi::RowState state);
    void onSerialOpened(int row, qint32 serial);

private:
    void setRunState(RunState state);
    void startJob(int row);

    const Clock& clock_;
    Timetable timetable_;
    RunState runState_ = RunState::Waiting;
    bool jobRunning_ = false;
    QTimer timer_;
    QThread thread_;
};

}  // namespace edi
