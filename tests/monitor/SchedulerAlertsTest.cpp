#include "../jobs/JobFixture.h"
#include "monitor/Heartbeat.h"
#include "monitor/HeartbeatWatch.h"
#include "monitor/JobWorker.h"
#include "monitor/MonitorEngine.h"
#include "monitor/SchedulerAlerts.h"
#include "support/TestFiles.h"

#include <QFile>
#include <QThreadPool>

using namespace Qt::Literals::StringLiterals;

namespace edi::test {
namespace {

const QDate kWednesday(2026, 12, 9);

// The scheduler's own alerts go to the [ALERT] command like a job's: a timetable with nothing left
// to run, and, where asked, another workstation gone silent.
class SchedulerAlertsTest : public JobFixture {
protected:
    void alertTo(const QString& keys)
    {
        QFile ini(path(u"EDI.ini"_s));
        ASSERT_TRUE(ini.open(QIODevice::Append));
        ini.write((u"[ALERT]\nCOMMAND=env | grep -E '^EDI_(CENTRE|SERIAL|STEP|MESSAGE)=' | sort >> %1\n"_s.arg(
                       path(u"alerts.txt"_s))
                   + keys)
                      .toUtf8());
    }
    QString alerts() const
    {
        QThreadPool::globalInstance()->waitForDone();
        QFile file(path(u"alerts.txt"_s));
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }
};

TEST_P(SchedulerAlertsTest, NothingLeftToRunAndASilentWorkstationAreTold)
{
    alertTo(u"LOSTHEARTBEAT=1\n"_s);
    replaceSchedule({{"WC01", 4, QTime(10, 0)}});
    clock_.set(QDateTime(kWednesday, QTime(9, 0)));
    TimetableSource source(*db_, kMachine, 0);
    MonitorEngine engine(clock_, source, source.startingTimetable(clock_.now(), {}),
                         std::make_unique<JobWorker>(db_->settings(), settings_, clock_, mail_));
    HeartbeatWatch watch(*db_, kMachine);
    SchedulerAlerts schedulerAlerts(engine, watch, path(u"EDI.ini"_s), kMachine, [](const QString&) {});
    engine.startAutomatic();  // the test ticks by hand
    EXPECT_TRUE(alerts().isEmpty());

    replaceSchedule({});  // the schedule lost its rows: the minute's look builds an empty timetable
    clock_.set(QDateTime(kWednesday, QTime(9, 1)));
    engine.tick();
    EXPECT_EQ(engine.timetable().rowCount(), 0);
    QString told = alerts();
    EXPECT_TRUE(told.contains(u"EDI_STEP=スケジュール\n"_s)) << told.toStdString();
    EXPECT_TRUE(told.contains(u"EDI_SERIAL=00000000\n"_s)) << told.toStdString();
    EXPECT_TRUE(told.contains(u"EDI_MESSAGE=端末 TESTPC のスケジュールに実行する受信が残っていません"_s)) << told.toStdString();
    engine.tick();
    clock_.set(QDateTime(kWednesday, QTime(9, 2)));
    engine.tick();
    EXPECT_EQ(alerts().count(u"EDI_STEP=スケジュール"_s), 1);  // once, not every minute

    Heartbeat other;
    other.machineName = u"WS-B"_s;
    other.lastTick = QDateTime(kWednesday, QTime(9, 0));
    other.runState = 2;
    HeartbeatTable(*db_).write(other);
    watch.look(QDateTime(kWednesday, QTime(9, 2)));
    watch.look(QDateTime(kWednesday, QTime(9, 4)));
    told = alerts();
    EXPECT_TRUE(told.contains(u"EDI_STEP=稼働監視\n"_s)) << told.toStdString();
    EXPECT_TRUE(told.contains(u"EDI_MESSAGE=端末 WS-B のスケジューラが 2026/12/09 09:00:00 から応答していません"_s))
        << told.toStdString();

    // Without LOSTHEARTBEAT=1 a silent workstation raises nothing.
    writeIni(path(u"bin/edi-register"_s) + u" --in "_s + path(u"received/"_s));
    alertTo({});
    HeartbeatTable(*db_).write(other);
    watch.look(QDateTime(kWednesday, QTime(9, 1)));
    watch.look(QDateTime(kWednesday, QTime(9, 5)));
    EXPECT_EQ(alerts().count(u"EDI_STEP=稼働監視"_s), 1);
}

INSTANTIATE_TEST_SUITE_P(Sqlite, SchedulerAlertsTest, ::testing::Values(Backend::Sqlite),
                         [](const auto& info) { return backendName(info.param); });

}  // namespace
}  // namespace edi::test
