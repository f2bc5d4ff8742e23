#pragma once

#include "app/config/Colour.h"

#include <QColor>
#include <QString>

class QWidget;

namespace edi {

struct StylingSettings;

// A configuration colour as the screen shows it; system colours take the palette's.
QColor toQColor(Colour colour);

// Without a desktop theme Qt picks an odd font: the windows want a Japanese gothic one.
void chooseApplicationFont();

// A length in twips (1/1440 inch), the unit the screens' sizes are given in, as pixels.
int twipsToPixels(const QWidget& widget, int twips);

// Styles a window from section "Setting0": its background, the labels whose names begin "lbl_"
// (and "OPR_"), the "tit_" labels and the entry fields. False when a value cannot be taken (a
// background or font size that is no number, a font that does not exist); start-up then ends
// with "項目設定エラー", and problem, when given, names the key and its value.
bool applyWindowStyling(QWidget& window, const StylingSettings& styling, QString* problem = nullptr);

}  // namespace edi
