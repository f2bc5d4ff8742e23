#include "monitor/ScheduleDialogController.h"

#include "app/Clock.h"
#include "app/database/Database.h"
#include "app/database/DatabaseError.h"
#include "app/text/FieldNormaliser.h"
#include "app/text/TextHelpers.h"
#include "monitor/MonitorEngine.h"

#include <QScopeGuard>

using namespace Qt::Literals::StringLiterals;

namespace edi {
namespace {

constexpr int kFieldCount = 3;

QTime readFieldTime(const QString& text)
{
    const QString trimmed = text.trimmed();
    for (const QString& format : {u"H:m"_s, u"H:m:s"_s}) {  // one or two digits each
        const QTime time = QTime::fromString(trimmed, format);
        if (time.isValid())
            return time;
    }
    return {};
}

QTime minuteOf(const QTime& time)
{
    return QTime(time.hour(), time.minute());
}

}  // namespace

const std::array<FieldDefinition, 3>& scheduleFields()
{
    static const std::array<FieldDefinition, 3> fields = {{
        {u"SDATE", u"処理日", u"B", u"yyyy/mm/dd", 10},
        {u"KTIME", u"開始時刻", u"C", u"hh:mm", 5},
        {u"CNTCD", u"ｾﾝﾀｰｺｰﾄﾞ", u"2U", u"", 12},
    }};
    return fields;
}

ScheduleDialogController::ScheduleDialogController(ScheduleDialogView& view, MonitorEngine& engine, Database& database,
                                                   const Clock& clock, QString machineName)
    : view_(view)
    , engine_(engine)
    , database_(database)
    , clock_(clock)
    , machineName_(std::move(machineName))
{
}

void ScheduleDialogController::openForAdd()
{
    targetRow_ = engine_.timetable().rowCount();
    view_.setCentreEnabled(true);
    for (int field = 0; field < kFieldCount; ++field)
        view_.setText(field, {});
    view_.setCentreName({});
}

void ScheduleDialogController::openForChange(int row)
{
    targetRow_ = row;
    const ScheduleRow& entry = engine_.timetable().rows()[size_t(row)];
    view_.setCentreEnabled(true);
    view_.setText(DateField, entry.date.toString(u"yyyy/MM/dd"_s));
    view_.setText(TimeField, entry.startTime.toString(u"HH:mm"_s));
    view_.setText(CentreField, entry.centreCode);
    view_.setCentreName(entry.centreName);
    view_.setCentreEnabled(false);
}

bool ScheduleDialogController::addMode() const
{
    return targetRow_ == engine_.timetable().rowCount();
}

DialogStatus ScheduleDialogController::refuse(int, const QString& message)
{
    view_.warn(message);
    return DialogStatus::Failed;
}

DialogStatus ScheduleDialogController::checkField(int field)
{
    const FieldDefinition& definition = scheduleFields()[size_t(field)];
    view_.setText(field, normaliseFieldText(view_.text(field), QString::fromUtf16(definition.displayFormat), definition.maxLength,
                                            clock_.today()));
    switch (field) {
    case DateField: return checkDate();
    case TimeField: return checkTime();
    case CentreField: return checkCentre();
    }
    return DialogStatus::Done;
}

DialogStatus ScheduleDialogController::checkDate()
{
    const QString text = view_.text(DateField);
    const QDate date = readFieldDate(text, clock_.today());
    if (text.trimmed().isEmpty() || !date.isValid())
        return refuse(DateField, u"日付が不正です"_s);
    if (date < clock_.today())
        return refuse(DateField, u"過去の日付は入力できません"_s);
    return DialogStatus::Done;
}

DialogStatus ScheduleDialogController::checkTime()
{
    const QTime time = readFieldTime(view_.text(TimeField));
    if (!time.isValid())
        return refuse(TimeField, u"時刻が不正です"_s);
    const QDateTime now = clock_.now();
    const QDate date = readFieldDate(view_.text(DateField), now.date());
    if (date == now.date() && minuteOf(time) <= minuteOf(now.time()))
        return refuse(TimeField, u"過去の時刻は入力できません"_s);
    return DialogStatus::Done;
}

DialogStatus ScheduleDialogController::checkCentre()
{
    view_.setCentreName({});
    const QString code = view_.text(CentreField);
    if (code.isEmpty())
        return refuse(CentreField, u"ｾﾝﾀｰｺｰﾄﾞが入力されていません"_s);
    try {
        const ResultSet row = database_.query({u"SELECT * FROM FL1903EDI制御マスタ WHERE センターコード= ?"_s, {code}});
        if (row.atEnd())
            return refuse(CentreField, u"EDI制御マスタが登録されていません"_s);
        if (nullOrDefault(row.value(u"相手先種別"_s), {}) != u"1"_s)
            return refuse(CentreField, u"組立メーカではありません"_s);
        if (nullOrDefault(row.value(u"実行端末名"_s), {}).toUpper() != machineName_.toUpper())
            return refuse(CentreField, u"実行端末が違います"_s);
        if (nullOrDefault(row.value(u"送受信方式"_s), {}) == u"Z"_s
            && nullOrDefault(row.value(u"CVX受信ファイルパス"_s), {}).isEmpty())
            return refuse(CentreField, u"EDI制御マスタに受信情報が登録されていません"_s);
        view_.setCentreName(nullOrDefault(row.value(u"センター名"_s), {}));
        return DialogStatus::Done;
    } catch (const DatabaseError&) {
        return DialogStatus::Failed;
    }
}

DialogStatus ScheduleDialogController::duplicateCheck()
{
    const QDate date = readFieldDate(view_.text(DateField), clock_.today());
    const QTime time = minuteOf(readFieldTime(view_.text(TimeField)));
    if (engine_.timetable().hasRow(view_.text(CentreField), date, time))
        return refuse(CentreField, u"同じﾃﾞｰﾀが存在しています"_s);
    return DialogStatus::Done;
}

DialogStatus ScheduleDialogController::save()
{
    // A dialog left open may outlive the stop: a row must not change under automatic running.
    if (!engine_.editable()) {
        view_.hide();
        return DialogStatus::Failed;
    }
    for (int field = 0; field < kFieldCount; ++field) {
        if (!view_.isEnterable(field))
            continue;
        const DialogStatus status = checkField(field);
        if (status != DialogStatus::Done) {
            view_.focus(field);
            return status;
        }
    }
    if (const DialogStatus status = duplicateCheck(); status != DialogStatus::Done)
        return status;
    switch (view_.askToSave()) {
    case Answer::Yes: {
        view_.setWaitCursor(true);
        const auto restoreCursor = qScopeGuard([this] { view_.setWaitCursor(false); });
        const DialogStatus status = registerRow();
        view_.setScreenId();
        if (view_.isEnterable(CentreField))
            view_.focus(CentreField);
        view_.hide();
        return status;
    }
    case Answer::No:
        if (addMode()) {
            view_.clearForm();
            view_.focus(CentreField);
        } else {
            openForChange(targetRow_);  // the row's own values back
            view_.focus(TimeField);
        }
        view_.setScreenId();
        return DialogStatus::Stay;
    case Answer::Cancel:
        view_.focus(view_.isEnterable(CentreField) ? CentreField : TimeField);
        return DialogStatus::Stay;
    }
    return DialogStatus::Stay;
}

DialogStatus ScheduleDialogController::registerRow()
{
    try {
        const QString code = view_.text(CentreField);
        const ResultSet centre = database_.query(
            {u"SELECT * FROM FL1903EDI制御マスタ WHERE センターコード= ? AND 相手先種別 = ?"_s, {code, u"1"_s}});
        Timetable& timetable = engine_.timetable();
        if (centre.atEnd() || (addMode() && timetable.rowCount() >= Timetable::kMaxRows))
            return DialogStatus::Failed;
        ScheduleRow row;
        row.oneOff = true;
        row.centreCode = code;
        row.centreName = nullOrDefault(centre.value(u"センター名"_s), {});
        row.transferMethod = nullOrDefault(centre.value(u"送受信方式"_s), {});
        row.date = readFieldDate(view_.text(DateField), clock_.today());
        row.startTime = minuteOf(readFieldTime(view_.text(TimeField)));
        targetRow_ = addMode() ? timetable.insertRow(row) : timetable.moveRow(targetRow_, row);
        engine_.timetableEdited();
        return DialogStatus::Done;
    } catch (const DatabaseError&) {
        return DialogStatus::Failed;
    }
}

bool ScheduleDialogController::enterPressed()
{
    const int field = view_.activeField();
    if (checkField(field) == DialogStatus::Failed) {
        view_.focus(field);
        return false;
    }
    const bool lastEnterable = field == CentreField || (field == TimeField && !view_.isEnterable(CentreField));
    if (lastEnterable) {
        if (save() == DialogStatus::Done) {
            view_.hide();
            return true;
        }
        return false;
    }
    nextField(true);
    return false;
}

void ScheduleDialogController::nextField(bool byEnterOrDown)
{
    const int active = view_.activeField();
    const bool free = view_.text(active).isEmpty() || view_.wholeTextSelected(active);
    for (int step = 1; step < kFieldCount; ++step) {
        const int candidate = (active + step) % kFieldCount;
        if (view_.isEnterable(candidate)) {
            if (byEnterOrDown || free)
                view_.focus(candidate);
            return;
        }
    }
}

void ScheduleDialogController::previousField()
{
    const int active = view_.activeField();
    const bool free = view_.text(active).isEmpty() || view_.wholeTextSelected(active);
    const int start = active == 0 ? kFieldCount - 1 : active - 1;
    for (int candidate = start; candidate >= 0; --candidate) {
        if (view_.isEnterable(candidate)) {
            if (free)
                view_.focus(candidate);
            return;
        }
    }
}

void ScheduleDialogController::autoAdvance(int field)
{
    if (field == kFieldCount - 1 || field == CentreField || !view_.isEnterable(CentreField))
        return;  // the last field, and the date and time of a moved row, wait for Enter
    const FieldDefinition& definition = scheduleFields()[size_t(field)];
    const QString text = view_.text(field);
    if (ansiByteLength(text) > definition.maxLength)
        view_.setText(field, cutToAnsiBytes(text, definition.maxLength));
    const QString current = view_.text(field);
    const bool full = current.size() == definition.maxLength;
    if (!full || !(view_.caretAtEnd(field) || view_.wholeTextSelected(field)))
        return;
    if (checkField(field) != DialogStatus::Done)
        view_.focus(field);
    else
        nextField(true);
}

}  // namespace edi
