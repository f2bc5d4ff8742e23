#include "../jobs/JobFixture.h"
#include "app/config/Configuration.h"
#include "app/config/IniFile.h"
#include "gui/FittingLabel.h"
#include "gui/QtJapanese.h"
#include "gui/MonitorWindow.h"
#include "gui/WindowStyling.h"
#include "monitor/JobWorker.h"
#include "monitor/MonitorEngine.h"
#include "monitor/ScheduleQuery.h"
#include "support/TestFiles.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QFontMetrics>
#include <QImage>
#include <QMessageBox>
#include <QPainter>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTableView>
#include <QTest>
#include <QTimer>

using namespace Qt::Literals::StringLiterals;

namespace edi::test {
namespace {

// 2026-12-07 is a Monday.
const QDate kMonday(2026, 12, 7);

int pixelsOf(const QImage& image, const QColor& colour)
{
    int count = 0;
    for (int y = 0; y < image.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x)
            count += qRgb(qRed(line[x]), qGreen(line[x]), qBlue(line[x])) == colour.rgb();
    }
    return count;
}

int rowOf(const Timetable& timetable, const QString& centre, QTime start)
{
    for (int row = 0; row < timetable.rowCount(); ++row) {
        const ScheduleRow& entry = timetable.rows()[size_t(row)];
        if (entry.date == kMonday && entry.centreCode == centre && entry.startTime == start)
            return row;
    }
    return -1;
}

class MonitorScreenshotTest : public JobFixture {};

// The monitor with the demo's timetable and styling on a Monday morning: a reception that
// finished, one that failed, two deselected and one running, saved as a PNG for the README.
TEST_P(MonitorScreenshotTest, TheMonitorDuringADemoMorning)
{
    chooseApplicationFont();
    const IniFile demoIni = IniFile::read(sourcePath(u"demo/EDI.ini.in"_s));
    const std::optional<ProgramSettings> demoSettings = readProgramSettings(demoIni);
    ASSERT_TRUE(demoSettings);
    const StatusColours colours = readStatusColours(demoIni);

    clock_.set(QDateTime(kMonday, QTime(8, 0)));
    TimetableSource source(*db_, settings_.machineName, 0);
    MonitorEngine engine(clock_, source, source.startingTimetable(clock_.now(), {}),
                         std::make_unique<JobWorker>(db_->settings(), settings_, clock_, mail_));
    MonitorWindow window(engine, *db_, colours);
    window.fillGrid();
    ASSERT_TRUE(applyWindowStyling(window, demoSettings->styling));
    window.setLabels(u"OP01"_s, u"運用 太郎"_s, kMonday);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));

    // A 1024 x 768 screen shows the whole window, every column and every title unclipped.
    EXPECT_LE(window.frameGeometry().width(), 1024);
    EXPECT_LE(window.frameGeometry().height(), 768);
    EXPECT_EQ(window.grid()->horizontalScrollBar()->maximum(), 0);
    const QList<FittingLabel*> titles = window.findChildren<FittingLabel*>();
    ASSERT_EQ(titles.size(), 9);
    for (const FittingLabel* title : titles) {
        EXPECT_LE(QFontMetrics(title->fittedFont()).horizontalAdvance(title->text()), title->contentsRect().width())
            << title->objectName().toStdString();
    }

    QSignalSpy ended(&engine, &MonitorEngine::jobEnded);
    auto runAt = [&](QTime time) {
        clock_.set(QDateTime(kMonday, time));
        engine.tick();
        ASSERT_TRUE(ended.wait(30000));
    };
    runAt(QTime(8, 30));  // ZC01 through the package
    writeFile(path(u"handover/WC01.CII"_s), "not a message group\r\n");
    runAt(QTime(9, 15));  // WC01: what was handed over cannot be converted
    const Timetable& timetable = engine.timetable();
    engine.stopAutomatic();
    engine.toggleSelection(rowOf(timetable, u"WX01"_s, QTime(10, 45)));
    engine.toggleSelection(rowOf(timetable, u"MX01"_s, QTime(11, 0)));
    engine.startAutomatic();

    // ZC01 again, with a package that takes its time: the picture is taken while it runs.
    setPackage(u"SLEEP=2"_s);
    const int running = rowOf(timetable, u"ZC01"_s, QTime(13, 0));
    clock_.set(QDateTime(kMonday, QTime(13, 0)));
    engine.tick();
    QTRY_COMPARE_WITH_TIMEOUT(timetable.rows()[size_t(running)].displayState, RowState::Running, 5000);
    QTest::qWait(200);
    const QImage shot = window.grab().toImage();
    ASSERT_TRUE(ended.wait(30000));

    const QString file = buildPath(u"tests/gui/monitor.png"_s);
    ASSERT_TRUE(shot.save(file)) << qPrintable(file);
    std::printf("screenshot: %s\n", qPrintable(file));
    EXPECT_EQ(timetable.rows()[0].displayState, RowState::Finished);
    EXPECT_EQ(timetable.rows()[1].displayState, RowState::Failed);
    // Every state colour is on the picture, in the glyphs of its line.
    EXPECT_GT(pixelsOf(shot, toQColor(colours.done)), 20);
    EXPECT_GT(pixelsOf(shot, toQColor(colours.error)), 20);
    EXPECT_GT(pixelsOf(shot, toQColor(colours.running)), 20);

    // Automatic running stopped, the operator closes the window: the question, in Japanese down
    // to its buttons, is pictured beside the monitor.
    ASSERT_TRUE(installQtJapanese());
    engine.stopAutomatic();
    QImage question;
    QStringList buttons;
    QTimer::singleShot(0, &window, [&] {
        QTRY_VERIFY_WITH_TIMEOUT(qobject_cast<QMessageBox*>(QApplication::activeModalWidget()), 5000);
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        QTest::qWait(200);
        question = box->grab().toImage();
        for (QAbstractButton* button : box->buttons())
            buttons << button->text();
        box->button(QMessageBox::No)->click();
    });
    window.close();
    EXPECT_TRUE(window.isVisible());
    buttons.sort();
    EXPECT_EQ(buttons, (QStringList{u"いいえ(&N)"_s, u"はい(&Y)"_s}));
    ASSERT_FALSE(question.isNull());

    const QImage stopped = window.grab().toImage();
    constexpr int kGap = 24;
    QImage pair(stopped.width() + kGap + question.width(), stopped.height(), QImage::Format_RGB32);
    pair.fill(Qt::white);
    QPainter painter(&pair);
    painter.drawImage(0, 0, stopped);
    const QRect box(QPoint(stopped.width() + kGap, (stopped.height() - question.height()) / 2), question.size());
    painter.drawImage(box.topLeft(), question);
    painter.setPen(Qt::gray);
    painter.drawRect(box.adjusted(-1, -1, 0, 0));
    painter.end();
    const QString pairFile = buildPath(u"tests/gui/end-question.png"_s);
    ASSERT_TRUE(pair.save(pairFile)) << qPrintable(pairFile);
    std::printf("screenshot: %s\n", qPrintable(pairFile));
}

INSTANTIATE_TEST_SUITE_P(Sqlite, MonitorScreenshotTest, ::testing::Values(Backend::Sqlite),
                         [](const auto& info) { return backendName(info.param); });

}  // namespace
}  // namespace edi::test
