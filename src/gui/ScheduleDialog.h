#pragma once

#include "app/config/Configuration.h"
#include "monitor/ScheduleDialogController.h"

#include <QDialog>
#include <array>
#include <memory>

class QLabel;
class QLineEdit;
class QPushButton;

namespace edi {

class Clock;
class Database;
class MonitorEngine;

// The add-schedule dialog "スケジュール追加" (SCHADD01): date, start time and centre code, the
// centre's name, OK and キャンセル. Its keys, focus colours and keystroke filter are here; what the
// fields mean and what a save does is the controller's.
class ScheduleDialog : public QDialog, public ScheduleDialogView {
    Q_OBJECT
public:
    ScheduleDialog(Database& database, const Clock& clock, const QString& machineName, const StylingSettings& styling,
                   QWidget* parent = nullptr);
    ~ScheduleDialog() override;

    // The timetable the dialog works on; before it, the dialog can be styled but not opened.
    void attach(MonitorEngine& engine);

    void openForAdd();
    void openForChange(int row);
    // Shown without being modal, the date field active (a double-click on the grid).
    void showFor(int row);
    ScheduleDialogController& controller() { return *controller_; }
    QLineEdit* field(int index) const { return fields_[size_t(index)]; }
    QPushButton* button(int index) const { return buttons_[size_t(index)]; }

    // ScheduleDialogView
    QString text(int field) const override;
    void setText(int field, const QString& text) override;
    bool isEnterable(int field) const override;
    void setCentreEnabled(bool enabled) override;
    void setCentreName(const QString& name) override;
    int activeField() const override;
    void focus(int field) override;
    bool wholeTextSelected(int field) const override;
    bool caretAtEnd(int field) const override;
    void warn(const QString& message) override;
    Answer askToSave() override;
    void clearForm() override;
    void setScreenId() override;
    void hide() override { QDialog::hide(); }
    void setWaitCursor(bool waiting) override;

protected:
    // Every showing starts at the date field with its text selected.
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    bool fieldKeyPress(QLineEdit* edit, QKeyEvent* event);
    bool formKeyDown(QKeyEvent* event);
    void openCodeSearch();

    Database& database_;
    const Clock& clock_;
    QString machineName_;
    StylingSettings styling_;
    std::array<QLineEdit*, 3> fields_{};
    std::array<QPushButton*, 2> buttons_{};
    QLabel* centreName_ = nullptr;
    QLabel* screenId_ = nullptr;
    std::unique_ptr<ScheduleDialogController> controller_;
};

}  // namespace edi
