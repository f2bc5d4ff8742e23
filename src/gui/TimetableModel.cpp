#include "gui/TimetableModel.h"

#include "app/database/CodeLookup.h"
#include "gui/WindowStyling.h"
#include "monitor/Timetable.h"

using namespace Qt::Literals::StringLiterals;

namespace edi {

TimetableModel::TimetableModel(const Timetable& timetable, Database& database, const StatusColours& colours,
                               QObject* parent)
    : QAbstractTableModel(parent)
    , timetable_(timetable)
    , database_(database)
    , colours_(colours)
{
}

int TimetableModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : filledRows_;
}

int TimetableModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : 8;
}

QVariant TimetableModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= timetable_.rowCount())
        return {};
    const ScheduleRow& row = timetable_.rows()[size_t(index.row())];
    if (role == Qt::ForegroundRole)
        return stateColour(row.displayState);
    if (role == Qt::ToolTipRole) {
        const QString tip = row.jobTip();
        return tip.isEmpty() ? QVariant() : QVariant(tip);
    }
    if (role != Qt::DisplayRole)
        return {};
    switch (index.column()) {
    case 0: return row.date.toString(u"yyyy/MM/dd"_s);
    case 1: return row.startTime.toString(u"HH:mm"_s);
    case 2: return row.centreCode;
    case 3: return row.centreName;
    case 4: return methodName(row.transferMethod);
    case 5: return row.receptionStatus;
    case 6: return row.conversionStatus;
    case 7: return row.registrationStatus;
    }
    return {};
}

QVariant TimetableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Vertical || section < 0 || section >= timetable_.rowCount())
        return {};
    switch (role) {
    case Qt::DisplayRole:
        return timetable_.rows()[size_t(section)].selected ? u"○"_s : u"×"_s;
    case Qt::TextAlignmentRole:
        return int(Qt::AlignCenter);
    case Qt::ForegroundRole: {
        const RowState state = timetable_.rows()[size_t(section)].displayState;
        return state == RowState::NotRun ? QVariant() : QVariant(stateColour(state));
    }
    }
    return {};
}

void TimetableModel::fill()
{
    beginResetModel();
    filledRows_ = timetable_.rowCount();
    methodNames_.clear();  // each fill looks the names up again, as a failed look-up may since work
    endResetModel();
}

void TimetableModel::rowChanged(int row)
{
    if (row < 0 || row >= rowCount())
        return;
    Q_EMIT dataChanged(index(row, 0), index(row, columnCount() - 1));
    Q_EMIT headerDataChanged(Qt::Vertical, row, row);
}

QString TimetableModel::methodName(const QString& code) const
{
    const auto known = methodNames_.constFind(code);
    if (known != methodNames_.constEnd())
        return *known;
    const QString name = lookUpCodeName(database_, u"送受信方式"_s, code);
    methodNames_.insert(code, name);
    return name;
}

QColor TimetableModel::stateColour(RowState state) const
{
    switch (state) {
    case RowState::NotRun: return toQColor(colours_.normal);
    case RowState::Running: return toQColor(colours_.running);
    case RowState::Finished: return toQColor(colours_.done);
    case RowState::Failed: return toQColor(colours_.error);
    case RowState::Missed: break;
    }
    return Qt::black;
}

}  // namespace edi
