#include "gui/BusyWindow.h"

#include <QLabel>
#include <QVBoxLayout>

using namespace Qt::Literals::StringLiterals;

namespace edi {

BusyWindow::BusyWindow(QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::WindowStaysOnTopHint)
{
    setObjectName(u"SUB_FRM"_s);
    setWindowTitle(u"SCHBSY01"_s);
    auto* label = new QLabel(u"処理中"_s, this);
    label->setAlignment(Qt::AlignCenter);
    QFont font = label->font();
    font.setPointSize(font.pointSize() + 4);
    label->setFont(font);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(label);
    setFixedSize(240, 90);
}

}  // namespace edi
