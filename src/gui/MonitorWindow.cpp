#include "gui/MonitorWindow.h"

#include "app/Clock.h"
#include "app/database/DatabaseError.h"
#include "app/text/TextHelpers.h"
#include "gui/BusyWindow.h"
#include "gui/FittingLabel.h"
#include "gui/JobHistoryDialog.h"
#include "gui/ScheduleDialog.h"
#include "gui/TimetableModel.h"
#include "gui/WindowMessages.h"
#include "gui/WindowStyling.h"
#include "monitor/MonitorEngine.h"

#include <QApplication>
#include <QCloseEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QStyle>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QVBoxLayout>

using namespace Qt::Literals::StringLiterals;

namespace edi {
namespace {

// Column widths of the grid in twips (1/1440 inch): the mark, then columns 1 to 8. The centre
// name's 4200 still hold twenty full-width characters and let the window fit a 1024-pixel screen.
constexpr std::array<int, 9> kColumnTwips = {550, 1580, 950, 1680, 4200, 1160, 1440, 1440, 1440};
constexpr int kRowTwips = 380;

// The highlighted line keeps its state colour: the highlight is a light background and the text
// is drawn in the line's own colour.
class StateColourDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override
    {
        QStyledItemDelegate::initStyleOption(option, index);
        const QVariant colour = index.data(Qt::ForegroundRole);
        if (colour.isValid())
            option->palette.setColor(QPalette::HighlightedText, colour.value<QColor>());
    }
};

QLabel* namedLabel(const QString& name, const QString& text, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    label->setObjectName(name);
    return label;
}

}  // namespace

MonitorWindow::MonitorWindow(MonitorEngine& engine, Database& database, const StatusColours& colours, QWidget* parent)
    : QWidget(parent)
    , engine_(engine)
    , database_(database)
    , model_(new TimetableModel(engine.timetable(), database, colours, this))
{
    setObjectName(u"SCHMON01"_s);
    setWindowTitle(u"組立メーカEDI自動受信"_s);
    buildControls();
    busy_ = new BusyWindow(this);

    connect(&engine_, &MonitorEngine::rowChanged, model_, &TimetableModel::rowChanged);
    connect(&engine_, &MonitorEngine::timetableReset, this, &MonitorWindow::fillGrid);
    connect(&engine_, &MonitorEngine::runStateChanged, this, &MonitorWindow::updateButtons);
    connect(&engine_, &MonitorEngine::jobStarted, this, &MonitorWindow::jobStarted);
    connect(&engine_, &MonitorEngine::jobEnded, this, &MonitorWindow::jobEnded);
    connect(&engine_, &MonitorEngine::rerunRefused, this, [this](const QString& reason) { warn(this, reason); });
    connect(&engine_, &MonitorEngine::busyAgain, busy_, [this] {
        busy_->show();
        busy_->raise();
    });
    updateButtons();
}

MonitorWindow::~MonitorWindow() = default;

void MonitorWindow::buildControls()
{
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(buildHeader());
    layout->addLayout(buildGridTitles());
    layout->addWidget(buildGrid(), 1);
    layout->addLayout(buildButtons());
    int width = 2 * grid_->frameWidth() + style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, grid_);
    for (int twips : kColumnTwips)
        width += twipsToPixels(*this, twips);
    resize(width + layout->contentsMargins().left() + layout->contentsMargins().right(), 600);
}

QLayout* MonitorWindow::buildHeader()
{
    screenId_ = namedLabel(u"lbl_PGID"_s, {}, this);
    operatorCode_ = namedLabel(u"lbl_OPCD"_s, {}, this);
    operatorName_ = namedLabel(u"lbl_OPNM"_s, {}, this);
    date_ = namedLabel(u"lbl_DATE"_s, {}, this);
    auto* top = new QHBoxLayout;
    top->addWidget(screenId_);
    top->addStretch();
    top->addWidget(namedLabel(u"lbl__Koumoku"_s, {}, this));
    top->addWidget(operatorCode_);
    top->addWidget(operatorName_);
    top->addStretch();
    top->addWidget(date_);
    return top;
}

// Titles above the grid, which has no title row of its own.
QLayout* MonitorWindow::buildGridTitles()
{
    auto* titles = new QGridLayout;
    titles->setSpacing(0);
    auto title = [&](const char16_t* name, const char16_t* text, int row, int column, int rowSpan, int columnSpan) {
        auto* label = new FittingLabel(QString::fromUtf16(text), this);
        label->setObjectName(QString::fromUtf16(name));
        label->setAlignment(Qt::AlignCenter);
        label->setFrameShape(QFrame::Box);
        int width = 0;
        for (int c = column; c < column + columnSpan; ++c)
            width += twipsToPixels(*this, kColumnTwips[size_t(c)]);
        label->setFixedWidth(width);
        titles->addWidget(label, row, column, rowSpan, columnSpan);
    };
    title(u"tit_chk", u"ｽｹｼﾞｭｰﾙ", 0, 0, 2, 1);
    title(u"tit_suke", u"ｽｹｼﾞｭｰﾙ", 0, 1, 2, 2);
    title(u"tit_cnt", u"ｾﾝﾀｰｺｰﾄﾞ", 0, 3, 2, 1);
    title(u"tit_cntnm", u"ｾﾝﾀｰ名", 0, 4, 2, 1);
    title(u"tit_jushinh", u"受信方式", 0, 5, 2, 1);
    title(u"tit_jotai", u"状態", 0, 6, 1, 3);
    title(u"tit_jushin", u"受 信", 1, 6, 1, 1);
    title(u"tit_henkan", u"変 換", 1, 7, 1, 1);
    title(u"tit_data", u"データ登録", 1, 8, 1, 1);
    titles->setColumnStretch(9, 1);
    return titles;
}

// Column 0 is the grid's fixed column: the rows' header, which a click selects the line by.
QTableView* MonitorWindow::buildGrid()
{
    grid_ = new QTableView(this);
    grid_->setObjectName(u"GRID"_s);
    grid_->setModel(model_);
    grid_->setItemDelegate(new StateColourDelegate(grid_));
    QPalette highlight = grid_->palette();
    highlight.setColor(QPalette::Highlight, QColor(0xCC, 0xE4, 0xF7));
    grid_->setPalette(highlight);
    grid_->horizontalHeader()->hide();
    grid_->verticalHeader()->setFixedWidth(twipsToPixels(*this, kColumnTwips[0]));
    grid_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    grid_->verticalHeader()->setDefaultSectionSize(twipsToPixels(*this, kRowTwips));
    for (int column = 1; column <= 8; ++column)
        grid_->setColumnWidth(column - 1, twipsToPixels(*this, kColumnTwips[size_t(column)]));
    grid_->setSelectionBehavior(QAbstractItemView::SelectRows);
    grid_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grid_->installEventFilter(this);
    connect(grid_, &QTableView::clicked, this,
            [this](const QModelIndex& index) { clicked(index.row(), index.column() + 1); });
    connect(grid_, &QTableView::doubleClicked, this,
            [this](const QModelIndex& index) { doubleClicked(index.row(), index.column() + 1); });
    connect(grid_->verticalHeader(), &QHeaderView::sectionClicked, this, [this](int row) { clicked(row, 1); });
    connect(grid_->verticalHeader(), &QHeaderView::sectionDoubleClicked, this, [this](int row) { doubleClicked(row, 1); });
    grid_->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(grid_, &QWidget::customContextMenuRequested, this, [this](const QPoint& position) {
        const int row = grid_->indexAt(position).row();
        if (row >= 0)
            lineMenu(row)->exec(grid_->viewport()->mapToGlobal(position));
    });
    return grid_;
}

QLayout* MonitorWindow::buildButtons()
{
    const std::array<const char16_t*, 4> captions = {u"自動実行開始(&S)", u"自動実行停止(&T)", u"追 加(&A)", u"変 更(&M)"};
    auto* bottom = new QHBoxLayout;
    bottom->addStretch();
    for (size_t index = 0; index < captions.size(); ++index) {
        buttons_[index] = new QPushButton(QString::fromUtf16(captions[index]), this);
        buttons_[index]->setObjectName(u"CMD_%1"_s.arg(index));
        bottom->addWidget(buttons_[index]);
    }
    connect(buttons_[0], &QPushButton::clicked, &engine_, &MonitorEngine::startAutomatic);
    connect(buttons_[1], &QPushButton::clicked, &engine_, &MonitorEngine::stopAutomatic);
    connect(buttons_[2], &QPushButton::clicked, this, [this] { openDialog(false, engine_.timetable().rowCount(), true); });
    connect(buttons_[3], &QPushButton::clicked, this, [this] {
        if (grid_->currentIndex().isValid())
            openDialog(true, grid_->currentIndex().row(), true);
    });
    return bottom;
}

void MonitorWindow::setLabels(const QString& operatorCode, const QString& operatorName, const QDate& today)
{
    screenId_->setText(u"SCHMON01"_s);
    findChild<QLabel*>(u"lbl__Koumoku"_s)->setText(u"ｵﾍﾟﾚｰﾀｺｰﾄﾞ"_s);
    operatorCode_->setText(operatorCode);
    operatorName_->setText(operatorName);
    date_->setText(today.toString(u"yyyy/MM/dd"_s));
}

void MonitorWindow::fillGrid()
{
    model_->fill();
    // Line 0 is current now: one click on it is the second click on the current line.
    rememberedLine_ = model_->rowCount() > 0 ? 0 : -1;
    if (model_->rowCount() > 0)
        selectLine(0);
    currentColumn_ = 0;
}

void MonitorWindow::selectLine(int row)
{
    grid_->setCurrentIndex(model_->index(row, 0));
    grid_->selectRow(row);
}

void MonitorWindow::updateButtons()
{
    const bool off = engine_.runState() == RunState::Off;
    buttons_[0]->setEnabled(off);
    buttons_[1]->setEnabled(!off);
    buttons_[2]->setEnabled(engine_.editable());
    buttons_[3]->setEnabled(engine_.editable());
}

// A click makes the line current; a second click on the current line, in its first columns,
// toggles the mark of a row that has not run while automatic running is off.
void MonitorWindow::clicked(int row, int column)
{
    currentColumn_ = column <= 1 ? 1 : column;
    if (row == rememberedLine_ && currentColumn_ == 1)
        engine_.toggleSelection(row);
    currentColumn_ = 0;
    selectLine(row);
    rememberedLine_ = row;
}

void MonitorWindow::doubleClicked(int row, int column)
{
    Q_UNUSED(column);
    // The click before it left column 0 current: no toggle here.
    if (currentColumn_ == 1 && row == rememberedLine_)
        engine_.toggleSelection(row);
    const ScheduleRow& entry = engine_.timetable().rows()[size_t(row)];
    if (entry.displayState == RowState::NotRun && engine_.editable())
        openDialog(true, row, false);
    else if (entry.serial > 0 && entry.displayState != RowState::Running)
        showJobHistory(entry.serial);
}

void MonitorWindow::showJobHistory(qint32 serial)
{
    std::vector<HistoryRow> rows;
    try {
        const SystemClock unused;  // reading the history asks no time
        rows = History(database_, unused).jobRows(serial);
    } catch (const DatabaseError& error) {
        warn(this, u"処理履歴を読めません: "_s + error.message());
        return;
    }
    auto* dialog = new JobHistoryDialog(serial, rows, this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->show();
}

void MonitorWindow::setScheduleDialog(ScheduleDialog* dialog)
{
    dialog_ = dialog;
    engine_.setRebuildGate([this] { return !dialog_->isVisible(); });
}

std::unique_ptr<QMenu> MonitorWindow::lineMenu(int row)
{
    auto menu = std::make_unique<QMenu>(this);
    QAction* rerun = menu->addAction(u"再実行"_s);
    rerun->setEnabled(engine_.mayRerun(row));
    connect(rerun, &QAction::triggered, this, [this, row] { askToRerun(row); });
    QAction* rebuild = menu->addAction(u"スケジュール再作成"_s);
    connect(rebuild, &QAction::triggered, &engine_, [this] { engine_.requestRebuild(u"画面のメニュー"_s); });
    return menu;
}

void MonitorWindow::askToRerun(int row)
{
    const QString serial = serialText(engine_.timetable().rows()[size_t(row)].serial);
    if (engine_.mayRerun(row) && askYesNo(this, u"通番 %1 の変換と登録を再実行してもよろしいですか"_s.arg(serial)))
        engine_.rerun(row);
}

void MonitorWindow::openDialog(bool change, int row, bool modal)
{
    if (!dialog_ || !engine_.editable())
        return;
    grid_->setFocus();
    if (change)
        dialog_->openForChange(row);
    else
        dialog_->openForAdd();
    if (modal)
        dialog_->exec();
    else
        dialog_->showFor(row);
}

// The lines of a selection made downwards, from its first line to the current one: the current
// index is the selection's moving end. A selection made upwards, its moving end on top, toggles
// nothing; without a selection the current line is toggled.
void MonitorWindow::toggleSelectedLines()
{
    const int current = grid_->currentIndex().row();
    int first = current;
    for (const QItemSelectionRange& range : grid_->selectionModel()->selection()) {
        if (range.top() <= current && current <= range.bottom()) {
            if (range.bottom() != current)
                return;
            first = range.top();
        }
    }
    for (int row = first; row >= 0 && row <= current; ++row) {
        if (engine_.timetable().rows()[size_t(row)].displayState == RowState::NotRun)
            engine_.toggleSelection(row);
    }
}

bool MonitorWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == grid_ && event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        switch (key->key()) {
        case Qt::Key_Space:
            if (engine_.runState() == RunState::Off)
                toggleSelectedLines();
            return true;
        case Qt::Key_Escape:
            askToEnd();
            return true;
        case Qt::Key_Up:
        case Qt::Key_Down:
            rememberedLine_ = grid_->currentIndex().row();
            return false;
        default:
            return false;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void MonitorWindow::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape) {
        askToEnd();
        return;
    }
    QWidget::keyPressEvent(event);
}

void MonitorWindow::askToEnd()
{
    if (engine_.mayEnd() && askYesNo(this, u"終了してもよろしいですか"_s))
        Q_EMIT endRequested();
}

void MonitorWindow::closeEvent(QCloseEvent* event)
{
    // While automatic running is on or a job runs, the close is refused without a word.
    if (engine_.mayEnd() && askYesNo(this, u"終了してもよろしいですか"_s)) {
        event->accept();
        Q_EMIT endRequested();
    } else {
        event->ignore();
    }
}

void MonitorWindow::jobStarted(int row)
{
    selectLine(row);
    busy_->setWindowTitle(windowTitle());
    busy_->show();
    QApplication::setOverrideCursor(Qt::WaitCursor);
    updateButtons();
}

void MonitorWindow::jobEnded()
{
    busy_->hide();
    QApplication::restoreOverrideCursor();
    updateButtons();
}

}  // namespace edi
