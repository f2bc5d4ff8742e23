#pragma once

#include <QString>
#include <QTime>
#include <array>

namespace edi {

class Clock;
class Database;
class MonitorEngine;

// The dialog's status values: done, stay in the dialog, a check failed.
enum class DialogStatus { Done = 0, Stay = 8, Failed = 9 };
enum class Answer { Yes, No, Cancel };

// The add-schedule dialog's entry fields, numbered as their tab order.
enum ScheduleField { DateField = 0, TimeField = 1, CentreField = 2 };

struct FieldDefinition {
    const char16_t* control;  // SDATE, KTIME, CNTCD
    const char16_t* label;
    const char16_t* attributeCode;  // drives the keystroke filter
    const char16_t* displayFormat;  // drives the field normaliser
    int maxLength;                  // in Shift-JIS bytes
};
const std::array<FieldDefinition, 3>& scheduleFields();

// What the controller needs of the dialog window.
class ScheduleDialogView {
public:
    virtual ~ScheduleDialogView() = default;
    virtual QString text(int field) const = 0;
    virtual void setText(int field, const QString& text) = 0;
    virtual bool isEnterable(int field) const = 0;  // enabled, visible, not locked
    virtual void setCentreEnabled(bool enabled) = 0;
    virtual void setCentreName(const QString& name) = 0;  // lbl_CNTNM
    virtual int activeField() const = 0;
    virtual void focus(int field) = 0;       // moves the focus there and selects the whole text
    virtual bool wholeTextSelected(int field) const = 0;
    virtual bool caretAtEnd(int field) const = 0;
    virtual void warn(const QString& message) = 0;  // a warning box with OK
    virtual Answer askToSave() = 0;                 // "更新してもよろしいですか": Yes, No, Cancel
    virtual void clearForm() = 0;                   // entry fields and "lbl_" labels emptied
    virtual void setScreenId() = 0;                 // lbl_PGID := "SCHADD01"
    virtual void hide() = 0;
    virtual void setWaitCursor(bool waiting) = 0;   // while a row is saved
};

// The add-schedule dialog's logic: opening in add or change mode, the field checks with their
// messages, the duplicate check, saving with its question, and the row it adds or moves in the
// timetable. The timetable belongs to the monitor's engine, which redraws the grid after a save.
class ScheduleDialogController {
public:
    ScheduleDialogController(ScheduleDialogView& view, MonitorEngine& engine, Database& database,
                             const Clock& clock, QString machineName);

    void openForAdd();
    void openForChange(int row);
    bool addMode() const;
    int targetRow() const { return targetRow_; }

    // Normalises and checks one field; a failed check shows its message.
    DialogStatus checkField(int field);
    DialogStatus duplicateCheck();
    DialogStatus save();

    // Enter on the form: check the active field; save from the last enterable field, otherwise
    // move to the next field. True when the dialog closed.
    bool enterPressed();
    // Next field (Enter and Down, or any key while the field is empty or wholly selected) and
    // previous field (Up), over the fields that are enabled, visible and not locked.
    void nextField(bool byEnterOrDown);
    void previousField();
    // On key release in a field: a full field is checked and left for the next one. Only in add
    // mode: when a row is moved, the date and time fields stay until Enter.
    void autoAdvance(int field);

private:
    DialogStatus checkDate();
    DialogStatus checkTime();
    DialogStatus checkCentre();
    DialogStatus registerRow();
    DialogStatus refuse(int field, const QString& message);

    ScheduleDialogView& view_;
    MonitorEngine& engine_;
    Database& database_;
    const Clock& clock_;
    QString machineName_;
    int targetRow_ = 0;
};

}  // namespace edi
