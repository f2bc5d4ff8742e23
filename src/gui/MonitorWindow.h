#pragma once

#include "app/config/Configuration.h"

#include <QWidget>
#include <array>
#include <memory>

class QLabel;
class QLayout;
class QMenu;
class QPushButton;
class QTableView;

namespace edi {

class BusyWindow;
class Database;
class MonitorEngine;
class ScheduleDialog;
class TimetableModel;

// The monitor window "組立メーカEDI自動受信" (SCHMON01): the labels, the four buttons, the grid
// of the timetable with its status colours, the busy window while a job runs. It shows what the
// engine tells and hands the operator's clicks and keys to it.
class MonitorWindow : public QWidget {
    Q_OBJECT
public:
    MonitorWindow(MonitorEngine& engine, Database& database, const StatusColours& colours, QWidget* parent = nullptr);
    ~MonitorWindow() override;

    // The dialog works on a row by its index: the timetable is not built anew while it is open.
    void setScheduleDialog(ScheduleDialog* dialog);
    // Start-up: the screen ID, the operator and the date (set once).
    void setLabels(const QString& operatorCode, const QString& operatorName, const QDate& today);
    // Fill grid: one line per timetable row, the status columns in the normal colour, line 0
    // current.
    void fillGrid();

    QTableView* grid() const { return grid_; }
    const TimetableModel& gridModel() const { return *model_; }
    QPushButton* button(int index) const { return buttons_[size_t(index)]; }
    BusyWindow* busyWindow() const { return busy_; }
    // The grid's current column as the program counts it: 0 is the mark, 1 to 8 the others.
    int currentColumn() const { return currentColumn_; }
    // A line's context menu: "再実行" runs a failed line's job again, while automatic running
    // is off; asked first. "スケジュール再作成" builds the timetable anew from the masters.
    std::unique_ptr<QMenu> lineMenu(int row);

Q_SIGNALS:
    // The operator confirmed ending the program. The program ends its event loop without closing
    // the windows again, which would ask a second time.
    void endRequested();

protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildControls();
    QLayout* buildHeader();
    QLayout* buildGridTitles();
    QTableView* buildGrid();
    QLayout* buildButtons();
    void selectLine(int row);
    void updateButtons();
    void clicked(int row, int column);
    void doubleClicked(int row, int column);
    void toggleSelectedLines();
    void askToRerun(int row);
    void askToEnd();
    void jobStarted(int row);
    void jobEnded();
    void openDialog(bool change, int row, bool modal);
    // A line whose job ran: that job's history rows in a dialog of their own.
    void showJobHistory(qint32 serial);

    MonitorEngine& engine_;
    Database& database_;
    TimetableModel* model_ = nullptr;
    ScheduleDialog* dialog_ = nullptr;
    BusyWindow* busy_ = nullptr;
    QTableView* grid_ = nullptr;
    std::array<QPushButton*, 4> buttons_{};
    QLabel* screenId_ = nullptr;
    QLabel* operatorCode_ = nullptr;
    QLabel* operatorName_ = nullptr;
    QLabel* date_ = nullptr;
    int rememberedLine_ = -1;
    int currentColumn_ = 0;
};

}  // namespace edi
