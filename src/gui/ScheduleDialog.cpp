#include "gui/ScheduleDialog.h"

#include "gui/CodeSearchDialog.h"
#include "gui/WindowMessages.h"
#include "gui/WindowStyling.h"
#include "monitor/KeystrokeFilter.h"
#include "monitor/MonitorEngine.h"

#include <QApplication>
#include <QEvent>
#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>

using namespace Qt::Literals::StringLiterals;

namespace edi {

ScheduleDialog::ScheduleDialog(Database& database, const Clock& clock, const QString& machineName,
                               const StylingSettings& styling, QWidget* parent)
    : QDialog(parent)
    , database_(database)
    , clock_(clock)
    , machineName_(machineName)
    , styling_(styling)
{
    setObjectName(u"SCHADD01"_s);
    setWindowTitle(u"スケジュール追加"_s);
    auto* layout = new QGridLayout(this);
    screenId_ = new QLabel(this);
    screenId_->setObjectName(u"lbl_PGID"_s);
    layout->addWidget(screenId_, 0, 0, 1, 3);
    for (int index = 0; index < 3; ++index) {
        const FieldDefinition& definition = scheduleFields()[size_t(index)];
        auto* caption = new QLabel(QString::fromUtf16(definition.label), this);
        caption->setObjectName(u"OPR_"_s + QString::fromUtf16(definition.control));
        layout->addWidget(caption, index + 1, 0);
        fields_[size_t(index)] = new QLineEdit(this);
        fields_[size_t(index)]->setObjectName(QString::fromUtf16(definition.control));
        // Dates, times and codes are typed in single-byte characters, through the keystroke filter;
        // an input method would hand its text over past it.
        fields_[size_t(index)]->setAttribute(Qt::WA_InputMethodEnabled, false);
        fields_[size_t(index)]->setMaxLength(definition.maxLength);
        fields_[size_t(index)]->installEventFilter(this);
        layout->addWidget(fields_[size_t(index)], index + 1, 1);
    }
    centreName_ = new QLabel(this);
    centreName_->setObjectName(u"lbl_CNTNM"_s);
    centreName_->setMinimumWidth(240);
    layout->addWidget(centreName_, 3, 2);
    buttons_[0] = new QPushButton(u"OK"_s, this);
    buttons_[1] = new QPushButton(u"キャンセル"_s, this);
    for (QPushButton* button : buttons_) {
        button->setAutoDefault(false);  // Enter belongs to the fields
        button->setFocusPolicy(Qt::NoFocus);
    }
    layout->addWidget(buttons_[0], 4, 1);
    layout->addWidget(buttons_[1], 4, 2);
    setTabOrder(fields_[0], fields_[1]);
    setTabOrder(fields_[1], fields_[2]);
    connect(buttons_[0], &QPushButton::clicked, this, [this] {
        if (controller_->save() == DialogStatus::Done)
            hide();
    });
    connect(buttons_[1], &QPushButton::clicked, this, &ScheduleDialog::hide);
}

ScheduleDialog::~ScheduleDialog() = default;

void ScheduleDialog::attach(MonitorEngine& engine)
{
    controller_ = std::make_unique<ScheduleDialogController>(*this, engine, database_, clock_, machineName_);
    // The dialog is only for a stopped timetable: when automatic running starts, it goes.
    connect(&engine, &MonitorEngine::runStateChanged, this, [this, &engine] {
        if (!engine.editable())
            hide();
    });
}

void ScheduleDialog::openForAdd()
{
    controller_->openForAdd();
    setScreenId();
}

void ScheduleDialog::openForChange(int row)
{
    controller_->openForChange(row);
    setScreenId();
}

void ScheduleDialog::showFor(int row)
{
    Q_UNUSED(row);
    show();
    activateWindow();
}

void ScheduleDialog::setWaitCursor(bool waiting)
{
    if (waiting)
        QApplication::setOverrideCursor(Qt::WaitCursor);
    else
        QApplication::restoreOverrideCursor();
}

void ScheduleDialog::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    focus(DateField);
}

QString ScheduleDialog::text(int field) const
{
    return fields_[size_t(field)]->text();
}

void ScheduleDialog::setText(int field, const QString& text)
{
    fields_[size_t(field)]->setText(text);
}

bool ScheduleDialog::isEnterable(int field) const
{
    const QLineEdit* edit = fields_[size_t(field)];
    return edit->isEnabled() && !edit->isHidden() && !edit->isReadOnly();
}

void ScheduleDialog::setCentreEnabled(bool enabled)
{
    fields_[CentreField]->setEnabled(enabled);
}

void ScheduleDialog::setCentreName(const QString& name)
{
    centreName_->setText(name);
}

int ScheduleDialog::activeField() const
{
    for (int index = 0; index < 3; ++index) {
        if (fields_[size_t(index)]->hasFocus())
            return index;
    }
    return DateField;
}

void ScheduleDialog::focus(int field)
{
    fields_[size_t(field)]->setFocus();
    fields_[size_t(field)]->selectAll();
}

bool ScheduleDialog::wholeTextSelected(int field) const
{
    const QLineEdit* edit = fields_[size_t(field)];
    return !edit->text().isEmpty() && edit->selectedText() == edit->text();
}

bool ScheduleDialog::caretAtEnd(int field) const
{
    const QLineEdit* edit = fields_[size_t(field)];
    return edit->cursorPosition() == edit->text().size();
}

void ScheduleDialog::warn(const QString& message)
{
    edi::warn(this, message);
}

Answer ScheduleDialog::askToSave()
{
    switch (QMessageBox::question(this, messageCaption(), u"更新してもよろしいですか"_s,
                                  QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, QMessageBox::Yes)) {
    case QMessageBox::Yes: return Answer::Yes;
    case QMessageBox::No: return Answer::No;
    default: return Answer::Cancel;
    }
}

void ScheduleDialog::clearForm()
{
    for (QLineEdit* edit : fields_)
        edit->clear();
    for (QLabel* label : findChildren<QLabel*>()) {
        if (label->objectName().trimmed().startsWith(u"lbl_"_s))
            label->clear();
    }
}

void ScheduleDialog::setScreenId()
{
    screenId_->setText(u"SCHADD01"_s);
}

bool ScheduleDialog::eventFilter(QObject* watched, QEvent* event)
{
    auto* edit = qobject_cast<QLineEdit*>(watched);
    if (!edit)
        return QDialog::eventFilter(watched, event);
    switch (event->type()) {
    case QEvent::FocusIn: {
        QPalette palette = edit->palette();
        palette.setColor(QPalette::Base, toQColor(styling_.textFocusColor));
        edit->setPalette(palette);
        edit->selectAll();
        break;
    }
    case QEvent::FocusOut: {
        QPalette palette = edit->palette();
        palette.setColor(QPalette::Base, toQColor(styling_.textBackColor));
        edit->setPalette(palette);
        break;
    }
    case QEvent::KeyPress:
        // The form sees keys before its fields.
        if (formKeyDown(static_cast<QKeyEvent*>(event)))
            return true;
        return fieldKeyPress(edit, static_cast<QKeyEvent*>(event));
    case QEvent::KeyRelease: {
        auto* key = static_cast<QKeyEvent*>(event);
        const bool plain = !(key->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier));
        const bool movesOn = QList<int>{Qt::Key_Up, Qt::Key_Down, Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape,
                                         Qt::Key_Shift, Qt::Key_Control}
                                 .contains(key->key());
        if (plain && !movesOn && isVisible())
            controller_->autoAdvance(int(std::find(fields_.begin(), fields_.end(), edit) - fields_.begin()));
        break;
    }
    default:
        break;
    }
    return QDialog::eventFilter(watched, event);
}

bool ScheduleDialog::formKeyDown(QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        controller_->enterPressed();
        return true;
    case Qt::Key_Up:
        controller_->previousField();
        return true;
    case Qt::Key_Down:
        controller_->nextField(true);
        return true;
    case Qt::Key_F5:
        if (activeField() == CentreField && isEnterable(CentreField))
            openCodeSearch();
        return true;
    case Qt::Key_Escape:
        hide();
        return true;
    default:
        return false;
    }
}

bool ScheduleDialog::fieldKeyPress(QLineEdit* edit, QKeyEvent* event)
{
    const QString typed = event->text();
    // Editing keys pass: Backspace, and Delete, which brings the text U+007F with it.
    if (typed.size() != 1 || typed[0].unicode() < 0x20 || typed[0].unicode() == 0x7F)
        return false;
    const int index = int(std::find(fields_.begin(), fields_.end(), edit) - fields_.begin());
    const std::optional<QChar> accepted =
        filterKeystroke(typed[0], QString::fromUtf16(scheduleFields()[size_t(index)].attributeCode), edit->text());
    if (!accepted)
        return true;
    if (*accepted != typed[0]) {
        edit->insert(QString(*accepted));
        return true;
    }
    return false;
}

void ScheduleDialog::keyPressEvent(QKeyEvent* event)
{
    if (!formKeyDown(event))
        QDialog::keyPressEvent(event);
}

void ScheduleDialog::openCodeSearch()
{
    showCodeSearch(this, database_, u"1"_s, machineName_, *fields_[CentreField], *centreName_);
}

}  // namespace edi
