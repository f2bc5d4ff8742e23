#pragma once

#include <QFont>
#include <QLabel>

namespace edi {

// A one-line title that never shows clipped: when its text is wider than the label, it is drawn
// in a font made smaller until it fits. The label's own font stays as styling set it.
class FittingLabel : public QLabel {
    Q_OBJECT

public:
    using QLabel::QLabel;

    // The font the text is drawn in.
    QFont fittedFont() const;

protected:
    void paintEvent(QPaintEvent* event) override;
};

}  // namespace edi
