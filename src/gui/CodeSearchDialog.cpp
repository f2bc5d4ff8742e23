#include "gui/CodeSearchDialog.h"

#include "app/database/DatabaseError.h"
#include "gui/WindowMessages.h"
#include "gui/WindowStyling.h"
#include "monitor/CodeSearch.h"

#include <QDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

using namespace Qt::Literals::StringLiterals;

namespace edi {
namespace {

constexpr int kColumnTwips[] = {1800, 2000, 1400, 1400, 3000, 2000};

class CodeSearchPopup : public QDialog {
public:
    CodeSearchPopup(QWidget* parent, const std::vector<CodeSearchRow>& rows, QLineEdit& codeField, QLabel& nameField)
        : QDialog(parent), codeField_(codeField), nameField_(nameField)
    {
        setObjectName(u"SEARCH_MSTDB"_s);
        setWindowTitle(u"□□ 検索 □□"_s);
        grid_ = new QTableWidget(int(rows.size()), 6, this);
        grid_->setObjectName(u"GRID"_s);
        grid_->setHorizontalHeaderLabels({u"センターコード"_s, u"センター名"_s, u"相手先種別"_s, u"送受信方式"_s,
                                          u"CVX受信ファイルパス"_s, u"実行端末名"_s});
        grid_->setSelectionBehavior(QAbstractItemView::SelectRows);
        grid_->setSelectionMode(QAbstractItemView::SingleSelection);
        grid_->setEditTriggers(QAbstractItemView::NoEditTriggers);
        for (int column = 0; column < 6; ++column)
            grid_->setColumnWidth(column, twipsToPixels(*this, kColumnTwips[column]));
        for (int row = 0; row < int(rows.size()); ++row) {
            const CodeSearchRow& entry = rows[size_t(row)];
            const QStringList texts = {entry.centreCode, entry.centreName, entry.partnerKind, entry.transferMethod,
                                       entry.receiveFilePath, entry.machineName};
            for (int column = 0; column < 6; ++column)
                grid_->setItem(row, column, new QTableWidgetItem(texts[column]));
        }
        grid_->setCurrentCell(0, 0);
        grid_->setFixedWidth(twipsToPixels(*this, 12000));
        grid_->installEventFilter(this);
        auto* select = new QPushButton(u"選択"_s, this);
        select->setObjectName(u"SELECT"_s);
        auto* stop = new QPushButton(u"中止"_s, this);
        stop->setObjectName(u"STOP"_s);
        connect(select, &QPushButton::clicked, this, &CodeSearchPopup::choose);
        connect(stop, &QPushButton::clicked, this, &QDialog::reject);
        connect(grid_, &QTableWidget::cellDoubleClicked, this, &CodeSearchPopup::choose);
        auto* buttons = new QHBoxLayout;
        buttons->addStretch();
        buttons->addWidget(select);
        buttons->addWidget(stop);
        auto* layout = new QVBoxLayout(this);
        layout->addWidget(grid_);
        layout->addLayout(buttons);
        setFixedWidth(twipsToPixels(*this, 12500));
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched == grid_ && event->type() == QEvent::KeyPress) {
            const int key = static_cast<QKeyEvent*>(event)->key();
            if (key == Qt::Key_Return || key == Qt::Key_Enter) {
                choose();
                return true;
            }
            if (key == Qt::Key_Escape) {
                reject();  // the fields keep their values
                return true;
            }
        }
        return QDialog::eventFilter(watched, event);
    }
    void keyPressEvent(QKeyEvent* event) override
    {
        if (event->key() == Qt::Key_Escape)
            clearAndCancel();
        else
            QDialog::keyPressEvent(event);
    }

private:
    void choose()
    {
        const int row = grid_->currentRow();
        if (row < 0)
            return;
        codeField_.setText(grid_->item(row, 0)->text().trimmed());
        nameField_.setText(grid_->item(row, 1)->text().trimmed());
        accept();
    }
    // Escape on the popup empties the code field before it closes.
    void clearAndCancel()
    {
        codeField_.clear();
        reject();
    }

    QLineEdit& codeField_;
    QLabel& nameField_;
    QTableWidget* grid_ = nullptr;
};

}  // namespace

void showCodeSearch(QWidget* parent, Database& database, const QString& partnerKind, const QString& machineName,
                    QLineEdit& codeField, QLabel& nameField)
{
    std::vector<CodeSearchRow> rows;
    try {
        rows = searchCentres(database, partnerKind, machineName);
    } catch (const DatabaseError&) {
        // Shown as finding nothing.
    }
    if (rows.empty()) {
        QMessageBox::information(parent, messageCaption(), u"検索データが有りません"_s, QMessageBox::Ok);
        return;
    }
    CodeSearchPopup popup(parent, rows, codeField, nameField);
    popup.exec();
}

}  // namespace edi
