#include "gui/JobHistoryDialog.h"

#include "app/text/TextHelpers.h"
#include "jobs/HistoryListing.h"
#include "jobs/JobReport.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

using namespace Qt::Literals::StringLiterals;

namespace edi {

JobHistoryDialog::JobHistoryDialog(qint32 serial, const std::vector<HistoryRow>& rows, QWidget* parent)
    : QDialog(parent)
{
    setObjectName(u"JobHistoryDialog"_s);
    setWindowTitle(u"処理履歴 通番 "_s + serialText(serial));
    auto* layout = new QVBoxLayout(this);
    const QStringList report = jobReport(serial, rows);
    layout->addWidget(new QLabel(report.value(0), this));

    const QStringList titles = historyColumnTitles();
    table_ = new QTableWidget(int(rows.size()), int(titles.size()), this);
    table_->setHorizontalHeaderLabels(titles);
    table_->verticalHeader()->hide();
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    for (int line = 0; line < int(rows.size()); ++line) {
        const QStringList cells = historyCells(serial, rows[size_t(line)]);
        for (int column = 0; column < int(cells.size()); ++column) {
            auto* item = new QTableWidgetItem(cells[column]);
            item->setToolTip(cells[column]);
            table_->setItem(line, column, item);
        }
    }
    table_->resizeColumnsToContents();
    layout->addWidget(table_, 1);

    auto* buttons = new QDialogButtonBox(this);
    buttons->addButton(u"閉じる"_s, QDialogButtonBox::RejectRole);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    resize(960, 320);
}

}  // namespace edi
