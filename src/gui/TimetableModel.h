#pragma once

#include "app/config/Configuration.h"
#include "jobs/JobObserver.h"

#include <QAbstractTableModel>
#include <QHash>

namespace edi {

class Database;
class Timetable;

// The timetable as the monitor's grid shows it: columns 1 to 8 of the program's grid as model
// columns 0 to 7, the mark ("○"/"×") of column 0 as the rows' header. Rows are read from the
// timetable when they are painted, so a fill of any length costs the same.
//
// Colours: a line's texts are in its state's colour, the normal one until it runs; its mark
// keeps the grid's default colour until then and takes the state's colour with the rest. A fill
// (after the dialog added or moved a row, or the timetable was built anew) keeps them.
class TimetableModel : public QAbstractTableModel {
    Q_OBJECT
public:
    TimetableModel(const Timetable& timetable, Database& database, const StatusColours& colours,
                   QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    // Fill grid: the timetable's rows as they now are.
    void fill();
    // A row's texts, mark or state changed.
    void rowChanged(int row);

private:
    QString methodName(const QString& code) const;
    QColor stateColour(RowState state) const;

    const Timetable& timetable_;
    Database& database_;
    StatusColours colours_;
    int filledRows_ = 0;  // the rows of the last fill; the timetable may have more until the next
    mutable QHash<QString, QString> methodNames_;  // the code master's names of the transfer methods
};

}  // namespace edi
