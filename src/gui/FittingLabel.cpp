#include "gui/FittingLabel.h"

#include <QFontMetrics>
#include <QPainter>

namespace edi {

namespace {

constexpr qreal kSmallestPoints = 5.0;

}  // namespace

QFont FittingLabel::fittedFont() const
{
    QFont fitted = font();
    const int room = contentsRect().width() - 2;
    while (QFontMetrics(fitted).horizontalAdvance(text()) > room && fitted.pointSizeF() > kSmallestPoints)
        fitted.setPointSizeF(fitted.pointSizeF() - 0.5);
    return fitted;
}

void FittingLabel::paintEvent(QPaintEvent* event)
{
    const QFont fitted = fittedFont();
    if (fitted == font()) {
        QLabel::paintEvent(event);
        return;
    }
    QFrame::paintEvent(event);
    QPainter painter(this);
    painter.setFont(fitted);
    painter.setPen(palette().color(foregroundRole()));
    painter.drawText(contentsRect(), int(alignment()), text());
}

}  // namespace edi
