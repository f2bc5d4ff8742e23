#pragma once

#include "jobs/History.h"

#include <QDialog>
#include <vector>

class QTableWidget;

namespace edi {

// What one job did, read-only: the report's first line (serial and outcome) above a table of the
// job's history rows in the columns "edi-auto history" lists.
class JobHistoryDialog : public QDialog {
    Q_OBJECT
public:
    JobHistoryDialog(qint32 serial, const std::vector<HistoryRow>& rows, QWidget* parent = nullptr);

    QTableWidget* table() const { return table_; }

private:
    QTableWidget* table_ = nullptr;
};

}  // namespace edi
