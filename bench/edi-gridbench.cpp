// The monitor window at its largest: filling the grid with a full timetable, redrawing it after a
// reception was added, and how quickly it repaints and takes a click on the stop button while a
// job runs on the worker thread.
//
//   edi-gridbench --ini EDI.ini --centre CODE [--rows N] [--runs K] [--max-ms M] [--max-latency-ms L]
//
// The EDI.ini is a working set-up (the demo's will do) in which a reception of CODE runs through
// the real job sequence; the bench measures while it runs. Runs on any Qt platform, offscreen too.
// Exit status 1 when a fill or a redraw takes more than M ms (default 300) or the window answers
// later than L ms (default 100) during the job.

#include "app/AppState.h"
#include "app/ConsoleOutput.h"
#include "app/Startup.h"
#include "gui/MonitorWindow.h"
#include "jobs/JobContext.h"
#include "monitor/JobWorker.h"
#include "monitor/MonitorEngine.h"
#include "transport/MailReceiver.h"

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QMouseEvent>
#include <QPushButton>
#include <QTableView>
#include <QTimer>
#include <QWindow>
#include <algorithm>
#include <cstdio>
#include <functional>

using namespace Qt::Literals::StringLiterals;

namespace {

struct Options {
    QString iniPath;
    QString centre;
    int rows = edi::Timetable::kMaxRows;
    int runs = 5;
    double maxMilliseconds = 300;
    double maxLatencyMilliseconds = 100;
};

// Rows spread evenly over fourteen days from today's midnight, the job's centre first.
edi::Timetable fullTimetable(const QDate& today, int count, const QString& jobCentre)
{
    const std::array<QString, 3> centres = {u"ZC01"_s, u"WC01"_s, u"WX01"_s};
    const int perDay = (count + 13) / 14;
    edi::Timetable timetable;
    for (int i = 0; i < count; ++i) {
        edi::ScheduleRow row;
        row.date = today.addDays(i / perDay);
        row.startTime = QTime(0, 0).addSecs(60 * ((i % perDay) * 1440 / perDay));
        row.centreCode = i == 0 ? jobCentre : centres[size_t(i) % centres.size()];
        row.centreName = u"ベンチマーク "_s + row.centreCode;
        row.transferMethod = i % 2 ? u"W"_s : u"Z"_s;
        timetable.rows().push_back(row);
    }
    return timetable;
}

// The paint a change needs, done now rather than at the next pass of the event loop.
void paintNow(edi::MonitorWindow& window)
{
    window.grid()->viewport()->repaint();
    window.grid()->verticalHeader()->viewport()->repaint();
}

// The best of the runs of work; afterwards, untimed, undo puts things back for the next run.
double bestMilliseconds(int runs, const std::function<void()>& work, const std::function<void()>& undo = {})
{
    double best = 1e300;
    for (int run = 0; run < runs; ++run) {
        QElapsedTimer timer;
        timer.start();
        work();
        best = std::min(best, double(timer.nsecsElapsed()) / 1e6);
        if (undo)
            undo();
    }
    return best;
}

// While a job runs: every 20 ms a repaint of the grid is asked for and the time until it is
// painted taken; once, a click on the stop button is posted like a mouse would and the time until
// the button reports it taken.
class ResponsivenessProbe : public QObject {
public:
    explicit ResponsivenessProbe(edi::MonitorWindow& window) : window_(window)
    {
        window_.grid()->viewport()->installEventFilter(this);
        connect(window_.button(1), &QPushButton::clicked, this, [this] {
            stopLatency = double(stopClick_.nsecsElapsed()) / 1e6;
        });
        connect(&ticker_, &QTimer::timeout, this, &ResponsivenessProbe::askForPaint);
    }
    void start()
    {
        ticker_.start(20);
        QTimer::singleShot(500, this, &ResponsivenessProbe::clickStop);
    }
    void stop() { ticker_.stop(); }

    double worstPaintLatency = 0;
    double stopLatency = -1;
    int paints = 0;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint && paintAsked_.isValid()) {
            worstPaintLatency = std::max(worstPaintLatency, double(paintAsked_.nsecsElapsed()) / 1e6);
            paintAsked_.invalidate();
            ++paints;
        }
        return QObject::eventFilter(watched, event);
    }

private:
    void askForPaint()
    {
        if (!paintAsked_.isValid())
            paintAsked_.start();
        window_.grid()->viewport()->update();
    }
    void clickStop()
    {
        QPushButton* button = window_.button(1);
        const QPointF centre = QRectF(button->rect()).center();
        const QPointF global = button->mapToGlobal(centre);
        stopClick_.start();
        QCoreApplication::postEvent(button, new QMouseEvent(QEvent::MouseButtonPress, centre, global, Qt::LeftButton,
                                                            Qt::LeftButton, Qt::NoModifier));
        QCoreApplication::postEvent(button, new QMouseEvent(QEvent::MouseButtonRelease, centre, global,
                                                            Qt::LeftButton, Qt::NoButton, Qt::NoModifier));
    }

    edi::MonitorWindow& window_;
    QTimer ticker_;
    QElapsedTimer paintAsked_;
    QElapsedTimer stopClick_;
};

std::optional<Options> parse(const QStringList& arguments)
{
    Options options;
    for (qsizetype i = 0; i + 1 < arguments.size(); i += 2) {
        const QString& value = arguments[i + 1];
        if (arguments[i] == u"--ini"_s)
            options.iniPath = value;
        else if (arguments[i] == u"--centre"_s)
            options.centre = value;
        else if (arguments[i] == u"--rows"_s)
            options.rows = std::clamp(value.toInt(), 1, edi::Timetable::kMaxRows);
        else if (arguments[i] == u"--runs"_s)
            options.runs = std::max(1, value.toInt());
        else if (arguments[i] == u"--max-ms"_s)
            options.maxMilliseconds = value.toDouble();
        else if (arguments[i] == u"--max-latency-ms"_s)
            options.maxLatencyMilliseconds = value.toDouble();
        else
            return std::nullopt;
    }
    if (options.iniPath.isEmpty() || options.centre.isEmpty() || arguments.size() % 2)
        return std::nullopt;
    return options;
}

}  // namespace

int main(int argc, char* argv[])
{
    QApplication application(argc, argv);
    const std::optional<Options> options = parse(application.arguments().mid(1));
    if (!options) {
        std::fputs("usage: edi-gridbench --ini EDI.ini --centre CODE [--rows N] [--runs K] [--max-ms M]"
                   " [--max-latency-ms L]\n",
                   stderr);
        return 2;
    }
    const QDate today = QDate::currentDate();
    edi::ManualClock clock(QDateTime(today, QTime(0, 0, 10)));
    edi::ConsoleMessageSink messages(u"SCHMON01"_s, clock);
    edi::AppState state;
    if (!edi::runStartup(state, {QApplication::applicationDirPath(), options->iniPath, {}, &clock}, messages))
        return 2;

    edi::NoMailReceiver mail;
    auto worker = std::make_unique<edi::JobWorker>(
        state.database->settings(), edi::JobSettings::fromState(state, QApplication::applicationDirPath()), clock, mail);
    edi::TimetableSource source(*state.database, state.machineName, 0);
    edi::MonitorEngine engine(clock, source, {source.schedule(), fullTimetable(today, options->rows, options->centre), {}},
                              std::move(worker));
    edi::MonitorWindow window(engine, *state.database, state.statusColours);
    window.show();
    while (!window.windowHandle() || !window.windowHandle()->isExposed())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);

    const double fill = bestMilliseconds(options->runs, [&] {
        window.fillGrid();
        paintNow(window);
    });
    // The dialog's last steps after it checked a new reception: insert it, fill the grid again.
    edi::Timetable& timetable = engine.timetable();
    edi::ScheduleRow added = timetable.rows()[size_t(options->rows / 2)];
    added.centreCode = u"ADD1"_s;
    timetable.rows().pop_back();  // the grid is full again with the added row
    int addedAt = 0;
    const double redraw = bestMilliseconds(
        options->runs,
        [&] {
            addedAt = timetable.insertRow(added);
            engine.timetableEdited();
            paintNow(window);
        },
        [&] { timetable.rows().erase(timetable.rows().begin() + addedAt); });
    timetable.insertRow(added);
    engine.timetableEdited();
    std::printf("grid of %d rows: fill %.1f ms, redraw after an added row %.1f ms (best of %d)\n",
                engine.timetable().rowCount(), fill, redraw, options->runs);

    ResponsivenessProbe probe(window);
    QElapsedTimer job;
    QObject::connect(&engine, &edi::MonitorEngine::jobStarted, &probe, [&] {
        job.start();
        probe.start();
    });
    edi::RowState outcome = edi::RowState::NotRun;
    QObject::connect(&engine, &edi::MonitorEngine::jobEnded, &application, [&](int, edi::RowState state) {
        outcome = state;
        probe.stop();
        QCoreApplication::exit(0);
    });
    engine.start();
    QTimer::singleShot(120000, &application, [&] { application.exit(3); });
    if (application.exec() == 3) {
        std::fputs("edi-gridbench: the job did not end within two minutes\n", stderr);
        return 1;
    }
    const double jobSeconds = double(job.elapsed()) / 1000;
    std::printf("during a job of %.1f s (%s): %d repaints, the slowest %.1f ms after it was asked for;"
                " the stop button took its click after %.1f ms\n",
                jobSeconds, outcome == edi::RowState::Finished ? "finished" : "failed", probe.paints,
                probe.worstPaintLatency, probe.stopLatency);

    bool ok = fill <= options->maxMilliseconds && redraw <= options->maxMilliseconds;
    ok = ok && probe.stopLatency >= 0 && probe.stopLatency <= options->maxLatencyMilliseconds;
    ok = ok && probe.paints > 0 && probe.worstPaintLatency <= options->maxLatencyMilliseconds;
    ok = ok && outcome == edi::RowState::Finished;
    std::printf("%s (limits: %.0f ms for fill and redraw, %.0f ms for the answers during the job)\n",
                ok ? "PASS" : "FAIL", options->maxMilliseconds, options->maxLatencyMilliseconds);
    return ok ? 0 : 1;
}
