#include "../jobs/JobFixture.h"
#include "gui/BusyWindow.h"
#include "gui/JobHistoryDialog.h"
#include "gui/MonitorWindow.h"
#include "gui/QtJapanese.h"
#include "gui/ScheduleDialog.h"
#include "gui/WindowStyling.h"
#include "monitor/JobWorker.h"
#include "monitor/MonitorEngine.h"
#include "support/TestFiles.h"

#include <QApplication>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTableView>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <functional>

#include <sys/stat.h>

using namespace Qt::Literals::StringLiterals;

namespace edi::test {
namespace {

// 2026-12-09 is a Wednesday.
const QDate kWednesday(2026, 12, 9);

// Answers the next message box that opens with the given button, and keeps its text.
class MessageBoxAnswer : public QObject {
public:
    MessageBoxAnswer(QMessageBox::StandardButton button) : button_(button)
    {
        connect(&poll_, &QTimer::timeout, this, [this] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                text = box->text();
                for (QAbstractButton* button : box->buttons())
                    buttons << button->text();
                poll_.stop();
                box->button(button_)->click();
            }
        });
        poll_.start(10);
    }
    QString text;
    QStringList buttons;

private:
    QMessageBox::StandardButton button_;
    QTimer poll_;
};

class MonitorWindowTest : public JobFixture {
protected:
    // The receptions of Wednesdays go into the masters; the window starts from them at `now`.
    void open(const std::vector<std::pair<const char*, QTime>>& receptions, QTime now)
    {
        std::vector<Reception> schedule;
        for (const auto& [centre, start] : receptions)
            schedule.push_back({centre, 4, start});
        replaceSchedule(schedule);
        clock_.set(QDateTime(kWednesday, now));
        source_ = std::make_unique<TimetableSource>(*db_, kMachine, 0);
        engine_ = std::make_unique<MonitorEngine>(clock_, *source_, source_->startingTimetable(clock_.now(), {}),
                                                  std::make_unique<JobWorker>(db_->settings(), settings_, clock_, mail_));
        colours_ = {Colour{0x000000}, Colour{0x0000FF}, Colour{0x008000}, Colour{0xFF0000}};
        window_ = std::make_unique<MonitorWindow>(*engine_, *db_, colours_);
        dialog_ = std::make_unique<ScheduleDialog>(*db_, clock_, settings_.machineName, StylingSettings{});
        dialog_->attach(*engine_);
        window_->setScheduleDialog(dialog_.get());
        window_->fillGrid();
        window_->show();
        QVERIFY(QTest::qWaitForWindowExposed(window_.get()));
    }
    QTableView& grid() const { return *window_->grid(); }
    // A line that is not in the grid fails the test instead of reading as empty.
    QVariant shown(int row, int column, int role) const
    {
        const QAbstractItemModel& model = *grid().model();
        if (row >= model.rowCount()) {
            ADD_FAILURE() << "line " << row << " read from a grid of " << model.rowCount() << " lines";
            return {};
        }
        return column == 0 ? model.headerData(row, Qt::Vertical, role) : model.index(row, column - 1).data(role);
    }
    QString cell(int row, int column) const { return shown(row, column, Qt::DisplayRole).toString(); }
    QColor colour(int row, int column) const { return shown(row, column, Qt::ForegroundRole).value<QColor>(); }
    // A click, or a double-click as a window system delivers it: press, release, double-click
    // and release.
    void clickCell(int row, int column, bool twice = false)
    {
        QWidget* target = grid().viewport();
        QPoint at = grid().visualRect(grid().model()->index(row, column - 1)).center();
        if (column == 0) {
            QHeaderView* header = grid().verticalHeader();
            target = header->viewport();
            at = QPoint(header->width() / 2, header->sectionViewportPosition(row) + header->sectionSize(row) / 2);
        }
        QTest::mouseClick(target, Qt::LeftButton, {}, at);
        if (twice) {
            QTest::mouseDClick(target, Qt::LeftButton, {}, at);
            QTest::mouseRelease(target, Qt::LeftButton, {}, at);
        }
    }
    void stop() { window_->button(1)->click(); }
    // A FIFO where WC01's file is handed over: its reception fails.
    void putFifo()
    {
        QFile::remove(path(u"handover/WC01.CII"_s));
        ASSERT_EQ(::mkfifo(QFile::encodeName(path(u"handover/WC01.CII"_s)).constData(), 0600), 0);
    }
    // Shows the dialog and makes it the active window, so its fields take the focus.
    void showDialog()
    {
        dialog_->show();
        QApplication::setActiveWindow(dialog_.get());
        ASSERT_TRUE(QTest::qWaitForWindowActive(dialog_.get()));
    }

    StatusColours colours_;
    std::unique_ptr<TimetableSource> source_;
    std::unique_ptr<MonitorEngine> engine_;
    std::unique_ptr<MonitorWindow> window_;
    std::unique_ptr<ScheduleDialog> dialog_;
};

TEST_P(MonitorWindowTest, TheGridShowsTheTimetable)
{
    // A centre whose transfer method the code master does not name.
    db_->execute({u"INSERT INTO FL1903EDI制御マスタ (センターコード, センター名, 送受信方式, 実行端末名, 相手先種別)"
                  u" VALUES ('XX01', 'センターXX01', 'Q', ?, '1')"_s,
                  {kMachine}});
    open({{"WC01", QTime(10, 0)}, {"ZC01", QTime(12, 0)}, {"XX01", QTime(13, 0)}}, QTime(9, 0));
    ASSERT_EQ(grid().model()->rowCount(), 6);
    EXPECT_EQ(window_->windowTitle(), u"組立メーカEDI自動受信"_s);
    EXPECT_EQ(cell(0, 0), u"○"_s);
    EXPECT_EQ(cell(0, 1), u"2026/12/09"_s);
    EXPECT_EQ(cell(0, 2), u"10:00"_s);
    EXPECT_EQ(cell(0, 3), u"WC01"_s);
    EXPECT_EQ(cell(0, 4), u"北陸持込受注センター"_s);
    EXPECT_EQ(cell(0, 5), u"持込"_s);
    EXPECT_EQ(cell(1, 5), u"CVXLINK"_s);
    EXPECT_EQ(cell(2, 5), QString());  // no code-master name: empty
    EXPECT_EQ(cell(3, 1), u"2026/12/16"_s);
    EXPECT_TRUE(grid().selectionModel()->isRowSelected(0));  // line 0 highlighted
    EXPECT_EQ(colour(0, 3), toQColor(colours_.normal));
    EXPECT_FALSE(colour(0, 0).isValid());  // the mark keeps the grid's own colour
    // Automatic running is on: only the stop button.
    EXPECT_FALSE(window_->button(0)->isEnabled());
    EXPECT_TRUE(window_->button(1)->isEnabled());
    EXPECT_FALSE(window_->button(2)->isEnabled());
    EXPECT_FALSE(window_->button(3)->isEnabled());
    EXPECT_EQ(window_->button(2)->text(), u"追 加(&A)"_s);
}

TEST_P(MonitorWindowTest, ASecondClickOnTheLineTogglesItsMark)
{
    open({{"WC01", QTime(10, 0)}, {"WX01", QTime(11, 0)}}, QTime(9, 0));
    ASSERT_EQ(grid().model()->rowCount(), 4);
    clickCell(1, 1);
    clickCell(1, 1);
    EXPECT_EQ(cell(1, 0), u"○"_s);  // not while automatic running is on
    stop();
    EXPECT_TRUE(window_->button(0)->isEnabled());
    EXPECT_TRUE(window_->button(2)->isEnabled());
    clickCell(1, 1);
    EXPECT_EQ(cell(1, 0), u"×"_s);
    clickCell(1, 0);  // the mark column counts as column 1
    EXPECT_EQ(cell(1, 0), u"○"_s);
    clickCell(1, 5);  // other columns only select
    EXPECT_EQ(cell(1, 0), u"○"_s);
    clickCell(0, 1);  // a new line: first click selects
    EXPECT_EQ(cell(0, 0), u"○"_s);

    // Space toggles the current line.
    grid().setFocus();
    QTest::keyClick(&grid(), Qt::Key_Space);
    EXPECT_EQ(cell(0, 0), u"×"_s);
    window_->button(0)->click();  // start again: the deselected row is passed over
    EXPECT_EQ(engine_->timetable().cursor(), 1);
}

// After a fill line 0 is current: the first click on its mark is already the second click.
TEST_P(MonitorWindowTest, OneClickOnLineZerosMarkAfterAFillToggles)
{
    open({{"WC01", QTime(10, 0)}, {"WX01", QTime(11, 0)}}, QTime(9, 0));
    ASSERT_EQ(grid().model()->rowCount(), 4);
    stop();
    clickCell(0, 0);
    EXPECT_EQ(cell(0, 0), u"×"_s);
    window_->fillGrid();
    clickCell(0, 1);
    EXPECT_EQ(cell(0, 0), u"○"_s);
}

TEST_P(MonitorWindowTest, SpaceOverASelectionAndDoubleClicksOnTheMark)
{
    open({{"WC01", QTime(10, 0)}, {"WX01", QTime(11, 0)}}, QTime(9, 0));
    ASSERT_EQ(grid().model()->rowCount(), 4);
    stop();
    grid().setFocus();
    auto marks = [this] {
        QString all;
        for (int row = 0; row < grid().model()->rowCount(); ++row)
            all += cell(row, 0);
        return all;
    };

    // Made downwards: every line from the first to the current one.
    clickCell(0, 3);
    QTest::keyClick(&grid(), Qt::Key_Down, Qt::ShiftModifier);
    QTest::keyClick(&grid(), Qt::Key_Down, Qt::ShiftModifier);
    QTest::keyClick(&grid(), Qt::Key_Space);
    EXPECT_EQ(marks(), u"×××○"_s);

    // Made upwards: nothing.
    clickCell(3, 3);
    QTest::keyClick(&grid(), Qt::Key_Up, Qt::ShiftModifier);
    QTest::keyClick(&grid(), Qt::Key_Up, Qt::ShiftModifier);
    QTest::keyClick(&grid(), Qt::Key_Space);
    EXPECT_EQ(marks(), u"×××○"_s);

    // A double-click on the mark of a line that was not current opens the dialog and leaves the
    // mark alone.
    clickCell(1, 3);
    clickCell(3, 0, true);
    EXPECT_EQ(marks(), u"×××○"_s);
    EXPECT_TRUE(dialog_->isVisible());
    dialog_->hide();
}

TEST_P(MonitorWindowTest, AJobColoursItsLine)
{
    open({{"WC01", QTime(10, 0)}}, QTime(9, 0));
    QSignalSpy ended(engine_.get(), &MonitorEngine::jobEnded);
    clock_.set(QDateTime(kWednesday, QTime(10, 0)));
    putFifo();
    engine_->tick();  // a FIFO instead of a file: the reception fails
    EXPECT_TRUE(window_->busyWindow()->isVisible());
    ASSERT_TRUE(ended.wait(30000));
    EXPECT_FALSE(window_->busyWindow()->isVisible());
    EXPECT_EQ(cell(0, 6), u"受信ｴﾗｰ"_s);
    EXPECT_EQ(cell(0, 7), QString());
    for (int column = 0; column <= 8; ++column)
        EXPECT_EQ(colour(0, column), toQColor(colours_.error)) << column;
    // The line's tip tells the codes behind its error text, and why in words.
    const QString tip = shown(0, 6, Qt::ToolTipRole).toString();
    EXPECT_TRUE(tip.startsWith(u"通番 00000001 WC01 異常終了 5100 メール・持込の受信エラー"_s)) << tip.toStdString();
    EXPECT_TRUE(tip.contains(u"持込ファイルの場所 %1 はファイルではなく名前付きパイプ (FIFO)です"_s.arg(path(u"handover/WC01.CII"_s))))
        << tip.toStdString();

    // A double-click on the line shows its job's history, read-only.
    clickCell(0, 3, true);
    auto* history = window_->findChild<JobHistoryDialog*>();
    ASSERT_TRUE(history);
    EXPECT_TRUE(history->isVisible());
    EXPECT_EQ(history->windowTitle(), u"処理履歴 通番 00000001"_s);
    ASSERT_EQ(history->table()->rowCount(), 2);  // the job row and the transfer's
    EXPECT_EQ(history->table()->item(1, 2)->text(), u"受信"_s);
    EXPECT_EQ(history->table()->item(1, 6)->text(), u"5100"_s);
    EXPECT_EQ(history->table()->item(1, 8)->text(), u"メール・持込の受信エラー"_s);
    EXPECT_EQ(history->table()->editTriggers(), QAbstractItemView::NoEditTriggers);
    history->close();

    // A refill (after the dialog added or moved a row) keeps the line's colour and texts.
    engine_->timetableEdited();
    for (int column = 0; column <= 8; ++column)
        EXPECT_EQ(colour(0, column), toQColor(colours_.error)) << column;
    EXPECT_EQ(cell(0, 6), u"受信ｴﾗｰ"_s);
}

// Nothing handed over is no failure: the line is finished, its reception says there was no data.
TEST_P(MonitorWindowTest, AReceptionWithoutDataFinishesItsLine)
{
    open({{"WC01", QTime(10, 0)}}, QTime(9, 0));
    QSignalSpy ended(engine_.get(), &MonitorEngine::jobEnded);
    clock_.set(QDateTime(kWednesday, QTime(10, 0)));
    engine_->tick();
    ASSERT_TRUE(ended.wait(30000));
    EXPECT_EQ(cell(0, 6), u"ﾃﾞｰﾀなし"_s);
    EXPECT_EQ(cell(0, 7), QString());
    for (int column = 0; column <= 8; ++column)
        EXPECT_EQ(colour(0, column), toQColor(colours_.done)) << column;
    const QString tip = shown(0, 6, Qt::ToolTipRole).toString();
    EXPECT_TRUE(tip.startsWith(u"通番 00000001 WC01 正常終了 (0000/0100 受信データなし)"_s)) << tip.toStdString();
    EXPECT_TRUE(tip.contains(u"受信データなし: 持込ファイル %1 がありません"_s.arg(path(u"handover/WC01.CII"_s)))) << tip.toStdString();
}

// The timetable built anew (here from the line menu) fills the grid again: the failed line keeps its
// colour and texts, the day's new rows come in. While the schedule dialog is open it waits.
TEST_P(MonitorWindowTest, AScheduleRebuiltFromTheMenuKeepsTheLines)
{
    open({{"WC01", QTime(10, 0)}}, QTime(9, 0));
    QSignalSpy ended(engine_.get(), &MonitorEngine::jobEnded);
    QSignalSpy rebuilt(engine_.get(), &MonitorEngine::rebuilt);
    clock_.set(QDateTime(kWednesday, QTime(10, 0)));
    putFifo();
    engine_->tick();
    ASSERT_TRUE(ended.wait(30000));
    replaceSchedule({{"WC01", 4, QTime(10, 0)}, {"WX01", 4, QTime(11, 0)}});
    stop();
    clickCell(0, 3, true);  // the failed line's history, not the dialog
    showDialog();           // the schedule dialog, open
    const std::unique_ptr<QMenu> menu = window_->lineMenu(0);
    QAction* rebuild = menu->actions().value(1);
    ASSERT_TRUE(rebuild);
    EXPECT_EQ(rebuild->text(), u"スケジュール再作成"_s);
    rebuild->trigger();
    engine_->tick();
    EXPECT_TRUE(rebuilt.isEmpty());
    dialog_->hide();
    engine_->tick();
    ASSERT_EQ(rebuilt.size(), 1);
    ASSERT_EQ(grid().model()->rowCount(), 4);
    EXPECT_EQ(cell(0, 6), u"受信ｴﾗｰ"_s);
    for (int column = 0; column <= 8; ++column)
        EXPECT_EQ(colour(0, column), toQColor(colours_.error)) << column;
    EXPECT_EQ(cell(1, 3), u"WX01"_s);
    EXPECT_EQ(colour(1, 3), toQColor(colours_.normal));
}

TEST_P(MonitorWindowTest, AFailedLineRunsAgainFromItsMenu)
{
    writeIni(path(u"bin/edi-register"_s) + u" --in "_s + path(u"received/"_s) + u" --fail 0101"_s);
    writeFile(path(u"handover/WC01.CII"_s), demoCii(1));
    open({{"WC01", QTime(10, 0)}, {"WC01", QTime(11, 0)}}, QTime(9, 0));
    QSignalSpy ended(engine_.get(), &MonitorEngine::jobEnded);
    clock_.set(QDateTime(kWednesday, QTime(10, 0)));
    engine_->tick();
    ASSERT_TRUE(ended.wait(30000));
    ASSERT_EQ(cell(0, 8), u"登録ｴﾗｰ"_s);
    EXPECT_TRUE(shown(0, 8, Qt::ToolTipRole).toString().contains(u"登録: 9999 処理エラー 異常なステータス行: 00101"_s))
        << shown(0, 8, Qt::ToolTipRole).toString().toStdString();
    EXPECT_FALSE(window_->lineMenu(0)->actions().first()->isEnabled());  // automatic running is on

    // Stopped, with the registration mended: the line's job runs again and registers.
    stop();
    writeIni(path(u"bin/edi-register"_s) + u" --in "_s + path(u"received/"_s));
    const std::unique_ptr<QMenu> menu = window_->lineMenu(0);
    QAction* rerun = menu->actions().first();
    EXPECT_EQ(rerun->text(), u"再実行"_s);
    ASSERT_TRUE(rerun->isEnabled());
    EXPECT_FALSE(window_->lineMenu(1)->actions().first()->isEnabled());  // a line that has not run
    {
        MessageBoxAnswer yes(QMessageBox::Yes);
        rerun->trigger();
        EXPECT_EQ(yes.text, u"通番 00000001 の変換と登録を再実行してもよろしいですか"_s);
    }
    EXPECT_TRUE(window_->busyWindow()->isVisible());
    ASSERT_TRUE(ended.wait(30000));
    EXPECT_EQ(cell(0, 8), u"OK"_s);
    EXPECT_EQ(colour(0, 8), toQColor(colours_.done));
    // A finished line's tip: the new serial, the records registered and the files, nothing of the
    // failure before.
    const QString tip = shown(0, 8, Qt::ToolTipRole).toString();
    EXPECT_TRUE(tip.startsWith(u"通番 00000002 WC01 正常終了"_s)) << tip.toStdString();
    EXPECT_TRUE(tip.contains(u"登録: 区分 0101 入力 1 件 出力 1 件 "_s + path(u"received/00000002_RCV_WC01________0101.LOC"_s)))
        << tip.toStdString();
    EXPECT_FALSE(tip.contains(u"異常"_s)) << tip.toStdString();
    EXPECT_EQ(engine_->runState(), RunState::Off);
    EXPECT_FALSE(window_->lineMenu(0)->actions().first()->isEnabled());

    // A failed reception brought nothing to run again: the refusal says so.
    engine_->startAutomatic();
    putFifo();
    clock_.set(QDateTime(kWednesday, QTime(11, 0)));
    engine_->tick();
    ASSERT_TRUE(ended.wait(30000));
    stop();
    {
        MessageBoxAnswer yes(QMessageBox::Yes);
        window_->lineMenu(1)->actions().first()->trigger();
    }
    MessageBoxAnswer ok(QMessageBox::Ok);
    ASSERT_TRUE(ended.wait(30000));
    QTRY_VERIFY(!ok.text.isEmpty());
    EXPECT_TRUE(ok.text.contains(u"受信できていません"_s)) << ok.text.toStdString();
    EXPECT_EQ(cell(1, 6), u"受信ｴﾗｰ"_s);
}

TEST_P(MonitorWindowTest, EndingAsksOnlyWhileAutomaticRunningIsOff)
{
    open({{"WC01", QTime(10, 0)}}, QTime(9, 0));
    QTest::keyClick(window_.get(), Qt::Key_Escape);  // automatic running on: nothing at all
    window_->close();
    EXPECT_TRUE(window_->isVisible());

    QSignalSpy ending(window_.get(), &MonitorWindow::endRequested);
    stop();
    {
        MessageBoxAnswer no(QMessageBox::No);
        QTest::keyClick(&grid(), Qt::Key_Escape);
        EXPECT_EQ(no.text, u"終了してもよろしいですか"_s);
    }
    EXPECT_TRUE(window_->isVisible());
    EXPECT_EQ(ending.count(), 0);
    {
        MessageBoxAnswer yes(QMessageBox::Yes);
        window_->close();
        EXPECT_EQ(yes.text, u"終了してもよろしいですか"_s);
    }
    EXPECT_EQ(ending.count(), 1);
}

// The operator reads Japanese only: Qt's own buttons and menus too, whatever the locale says.
TEST_P(MonitorWindowTest, QtsOwnTextsAreJapanese)
{
    ASSERT_TRUE(installQtJapanese());
    open({{"WC01", QTime(10, 0)}}, QTime(9, 0));
    stop();
    {
        MessageBoxAnswer no(QMessageBox::No);
        window_->close();
        QStringList buttons = no.buttons;
        buttons.sort();
        EXPECT_EQ(buttons, (QStringList{u"いいえ(&N)"_s, u"はい(&Y)"_s}));
    }
    dialog_->openForAdd();
    dialog_->field(DateField)->setText(u"2026/12/10"_s);
    dialog_->field(TimeField)->setText(u"11:00"_s);
    dialog_->field(CentreField)->setText(u"WC01"_s);
    {
        MessageBoxAnswer cancel(QMessageBox::Cancel);
        EXPECT_EQ(dialog_->controller().save(), DialogStatus::Stay);
        EXPECT_TRUE(cancel.buttons.contains(u"キャンセル"_s)) << cancel.buttons.join(u' ').toStdString();
        EXPECT_TRUE(cancel.buttons.contains(u"はい(&Y)"_s));
    }
    // The context menus of the date, time and centre fields.
    for (int field = 0; field < 3; ++field) {
        const std::unique_ptr<QMenu> menu(dialog_->field(field)->createStandardContextMenu());
        for (QAction* action : menu->actions()) {
            if (!action->isSeparator()) {
                EXPECT_TRUE(action->text().contains(QRegularExpression(u"[\\x{3040}-\\x{30FF}\\x{4E00}-\\x{9FFF}]"_s)))
                    << action->text().toStdString();
            }
        }
    }
}

TEST_P(MonitorWindowTest, AddingARowFromTheDialog)
{
    open({{"WC01", QTime(10, 0)}, {"WX01", QTime(12, 0)}}, QTime(9, 0));
    stop();
    dialog_->openForAdd();
    showDialog();
    dialog_->focus(DateField);
    QTest::keyClicks(dialog_->field(DateField), u"20261209"_s);
    QTest::keyClick(dialog_->field(DateField), Qt::Key_Return);  // normalised, checked, next field
    EXPECT_EQ(dialog_->field(DateField)->text(), u"2026/12/09"_s);
    EXPECT_TRUE(dialog_->field(TimeField)->hasFocus());
    QTest::keyClicks(dialog_->field(TimeField), u"12:00"_s);  // full: auto-advance in add mode
    EXPECT_TRUE(dialog_->field(CentreField)->hasFocus());
    QTest::keyClicks(dialog_->field(CentreField), u"wc,01"_s);  // capitals, no comma
    EXPECT_EQ(dialog_->field(CentreField)->text(), u"WC01"_s);
    MessageBoxAnswer yes(QMessageBox::Yes);
    QTest::keyClick(dialog_->field(CentreField), Qt::Key_Return);
    EXPECT_EQ(yes.text, u"更新してもよろしいですか"_s);
    EXPECT_FALSE(dialog_->isVisible());
    ASSERT_EQ(grid().model()->rowCount(), 5);
    EXPECT_EQ(cell(1, 3), u"WC01"_s);  // before WX01 at the same minute
    EXPECT_EQ(cell(1, 4), u"北陸持込受注センター"_s);
    EXPECT_EQ(cell(1, 2), u"12:00"_s);

    // Opened again, the dialog starts at the date field, not where the last add left it.
    QWidget* focused = nullptr;
    QTimer::singleShot(0, dialog_.get(), [&] {
        focused = dialog_->focusWidget();
        dialog_->reject();
    });
    window_->button(2)->click();
    EXPECT_EQ(focused, dialog_->field(DateField));
}

TEST_P(MonitorWindowTest, TheDialogRefusesWhatCannotBe)
{
    open({{"WC01", QTime(10, 0)}}, QTime(9, 0));
    stop();
    struct Case {
        QString date, time, centre, message;
    };
    const Case cases[] = {
        {u"20261208"_s, u"10:00"_s, u"WC01"_s, u"過去の日付は入力できません"_s},
        {u"20261209"_s, u"09:00"_s, u"WC01"_s, u"過去の時刻は入力できません"_s},  // the current minute
        {u"20261209"_s, u"10:00"_s, u"WC01"_s, u"同じﾃﾞｰﾀが存在しています"_s},
        {u"20261209"_s, u"10:00"_s, u"PT01"_s, u"組立メーカではありません"_s},
        {u"20261209"_s, u"10:00"_s, u"ZC02"_s, u"実行端末が違います"_s},
        {u"20261209"_s, u"10:00"_s, u"NONE"_s, u"EDI制御マスタが登録されていません"_s},
        {u"20030230"_s, u"10:00"_s, u"WC01"_s, u"日付が不正です"_s},
    };
    for (const Case& c : cases) {
        dialog_->openForAdd();
        dialog_->field(DateField)->setText(c.date);
        dialog_->field(TimeField)->setText(c.time);
        dialog_->field(CentreField)->setText(c.centre);
        MessageBoxAnswer ok(QMessageBox::Ok);
        EXPECT_EQ(dialog_->controller().save(), DialogStatus::Failed) << c.message.toStdString();
        EXPECT_EQ(ok.text, c.message);
    }
    EXPECT_EQ(grid().model()->rowCount(), 2);
}

// A time as typed with ":" stays as typed; hours and minutes of one or two digits are a time.
TEST_P(MonitorWindowTest, TheStartTimeTakesOneOrTwoDigits)
{
    open({{"WC01", QTime(10, 0)}}, QTime(9, 0));
    stop();
    dialog_->openForAdd();
    const std::pair<QString, QTime> accepted[] = {
        {u"9:5"_s, QTime(9, 5)}, {u"9:05"_s, QTime(9, 5)}, {u"09:5"_s, QTime(9, 5)}, {u"23:59"_s, QTime(23, 59)}};
    for (const auto& [text, time] : accepted) {
        dialog_->field(DateField)->setText(u"2026/12/10"_s);
        dialog_->field(TimeField)->setText(text);
        EXPECT_EQ(dialog_->controller().checkField(TimeField), DialogStatus::Done) << text.toStdString();
    }
    dialog_->field(CentreField)->setText(u"WC01"_s);
    dialog_->field(TimeField)->setText(u"9:5"_s);
    {
        MessageBoxAnswer yes(QMessageBox::Yes);
        EXPECT_EQ(dialog_->controller().save(), DialogStatus::Done);
    }
    ASSERT_EQ(grid().model()->rowCount(), 3);
    EXPECT_EQ(cell(1, 1), u"2026/12/10"_s);
    EXPECT_EQ(cell(1, 2), u"09:05"_s);

    dialog_->openForAdd();
    dialog_->field(DateField)->setText(u"2026/12/10"_s);
    for (const QString& text : {u"9:60"_s, u"24:00"_s, u"9:"_s, u":5"_s, u"9:5:"_s, u"9:555"_s}) {
        dialog_->field(TimeField)->setText(text);
        MessageBoxAnswer ok(QMessageBox::Ok);
        EXPECT_EQ(dialog_->controller().checkField(TimeField), DialogStatus::Failed) << text.toStdString();
        EXPECT_EQ(ok.text, u"時刻が不正です"_s);
    }
}

TEST_P(MonitorWindowTest, ChangingARowMovesItToItsTime)
{
    open({{"WC01", QTime(10, 0)}, {"WX01", QTime(12, 0)}}, QTime(9, 0));
    stop();
    clickCell(0, 3, true);  // a double-click opens the dialog for the row
    ASSERT_TRUE(dialog_->isVisible());
    showDialog();
    EXPECT_EQ(dialog_->field(DateField)->text(), u"2026/12/09"_s);
    EXPECT_EQ(dialog_->field(TimeField)->text(), u"10:00"_s);
    EXPECT_FALSE(dialog_->field(CentreField)->isEnabled());
    dialog_->focus(TimeField);
    QTest::keyClicks(dialog_->field(TimeField), u"1300"_s);  // no auto-advance when changing
    EXPECT_TRUE(dialog_->field(TimeField)->hasFocus());
    MessageBoxAnswer yes(QMessageBox::Yes);
    QTest::keyClick(dialog_->field(TimeField), Qt::Key_Return);  // the last enterable field saves
    EXPECT_FALSE(dialog_->isVisible());
    ASSERT_EQ(grid().model()->rowCount(), 4);
    EXPECT_EQ(cell(0, 3), u"WX01"_s);  // the moved row goes where 13:00 belongs
    EXPECT_EQ(cell(1, 2), u"13:00"_s);
    EXPECT_EQ(cell(1, 3), u"WC01"_s);

    // Automatic running started while the dialog is open closes it, and nothing it held is saved.
    clickCell(1, 3, true);
    ASSERT_TRUE(dialog_->isVisible());
    dialog_->field(TimeField)->setText(u"23:00"_s);
    window_->button(0)->click();
    EXPECT_FALSE(dialog_->isVisible());
    EXPECT_EQ(dialog_->controller().save(), DialogStatus::Failed);
    EXPECT_EQ(cell(1, 2), u"13:00"_s);
}

TEST_P(MonitorWindowTest, NoInAddModeClearsTheFields)
{
    open({{"WC01", QTime(10, 0)}}, QTime(9, 0));
    stop();
    dialog_->openForAdd();
    showDialog();
    dialog_->field(DateField)->setText(u"2026/12/10"_s);
    dialog_->field(TimeField)->setText(u"11:00"_s);
    dialog_->field(CentreField)->setText(u"WC01"_s);
    MessageBoxAnswer no(QMessageBox::No);
    EXPECT_EQ(dialog_->controller().save(), DialogStatus::Stay);
    for (int field = 0; field < 3; ++field)
        EXPECT_TRUE(dialog_->field(field)->text().isEmpty());
    EXPECT_TRUE(dialog_->findChild<QLabel*>(u"lbl_CNTNM"_s)->text().isEmpty());
    EXPECT_EQ(dialog_->focusWidget(), dialog_->field(CentreField));
    EXPECT_EQ(dialog_->findChild<QLabel*>(u"lbl_PGID"_s)->text(), u"SCHADD01"_s);
}

TEST_P(MonitorWindowTest, CodeSearchFillsTheCentre)
{
    open({{"WC01", QTime(10, 0)}}, QTime(9, 0));
    stop();
    dialog_->openForAdd();
    showDialog();
    dialog_->focus(CentreField);
    // Pick the second listed centre from the popup with the keyboard.
    QTimer::singleShot(50, [] {
        QWidget* popup = QApplication::activeModalWidget();
        auto* table = popup ? popup->findChild<QTableWidget*>() : nullptr;
        if (!table)
            return;
        table->setCurrentCell(1, 0);
        QTest::keyClick(table, Qt::Key_Return);
    });
    QTest::keyClick(dialog_->field(CentreField), Qt::Key_F5);
    EXPECT_FALSE(dialog_->field(CentreField)->text().isEmpty());
    EXPECT_FALSE(dialog_->findChild<QLabel*>(u"lbl_CNTNM"_s)->text().isEmpty());

    // Escape in the popup's grid cancels, and what was typed stays.
    dialog_->field(CentreField)->setText(u"WX"_s);
    showDialog();  // active again after the popup
    dialog_->focus(CentreField);
    bool popupSeen = false;
    QTimer::singleShot(50, dialog_.get(), [&popupSeen] {
        QWidget* popup = QApplication::activeModalWidget();
        if (auto* table = popup ? popup->findChild<QTableWidget*>() : nullptr) {
            popupSeen = true;
            QTest::keyClick(table, Qt::Key_Escape);
        }
    });
    QTest::keyClick(dialog_->field(CentreField), Qt::Key_F5);
    EXPECT_TRUE(popupSeen);
    EXPECT_EQ(dialog_->field(CentreField)->text(), u"WX"_s);
}

TEST_P(MonitorWindowTest, DeleteEditsTheDateAndTimeFields)
{
    open({{"WC01", QTime(10, 0)}}, QTime(9, 0));
    stop();
    dialog_->openForAdd();
    showDialog();
    QLineEdit* date = dialog_->field(DateField);
    date->setText(u"2026/12/10"_s);
    date->setCursorPosition(0);
    QTest::sendKeyEvent(QTest::Click, date, Qt::Key_Delete, QString(QChar(0x7F)), Qt::NoModifier);  // as X11 gives it
    EXPECT_EQ(date->text(), u"026/12/10"_s);
}

// What a window cannot take ends its styling; what it can, it gets.
TEST(WindowStyling, TakesWhatAWindowCanShowAndRefusesTheRest)
{
    QWidget window;
    auto* label = new QLabel(&window);
    label->setObjectName(u"OPR_CAPTION"_s);
    auto* title = new QLabel(&window);
    title->setObjectName(u"tit_TITLE"_s);
    new QLineEdit(&window);
    StylingSettings styling;
    styling.formBackColor = u"&H00F0F0F0"_s;
    styling.labelBackColor = Colour{0x000000FF};
    styling.titleFont.bold = u"True"_s;
    styling.textFont.italic = u"-1"_s;
    styling.labelFont.size = u"10.5"_s;
    ASSERT_TRUE(applyWindowStyling(window, styling));
    EXPECT_EQ(label->palette().color(QPalette::Window), QColor(255, 0, 0));
    EXPECT_TRUE(title->font().bold());
    EXPECT_EQ(label->font().pointSizeF(), 10.5);

    const std::function<void(StylingSettings&)> refused[] = {
        [](StylingSettings& s) { s.formBackColor = u"grey"_s; },
        [](StylingSettings& s) { s.formBackColor = u"&H80000019"_s; },  // no such system colour
        [](StylingSettings& s) { s.labelForeColor = Colour{0x12345678}; },
        [](StylingSettings& s) { s.textFocusColor = Colour{0x01000000}; },
        [](StylingSettings& s) { s.labelFont.size = u"abc"_s; },
        [](StylingSettings& s) { s.titleFont.bold = u"Yes"_s; },
    };
    for (const auto& spoil : refused) {
        StylingSettings spoiled = styling;
        spoil(spoiled);
        EXPECT_FALSE(applyWindowStyling(window, spoiled));
    }
}

INSTANTIATE_TEST_SUITE_P(Sqlite, MonitorWindowTest, ::testing::Values(Backend::Sqlite),
                         [](const auto& info) { return backendName(info.param); });

}  // namespace
}  // namespace edi::test
