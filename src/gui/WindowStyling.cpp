#include "gui/WindowStyling.h"

#include "app/config/ConfigNumber.h"
#include "app/config/Configuration.h"

#include <QApplication>
#include <QFontDatabase>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QWidget>
#include <optional>

using namespace Qt::Literals::StringLiterals;

namespace edi {
namespace {

// System colour indexes (the low byte of a value with the top bit set) by palette role.
QPalette::ColorRole systemRole(int index)
{
    switch (index) {
    case 5: return QPalette::Base;            // window background
    case 8: return QPalette::Text;            // window text
    case 13: return QPalette::Highlight;
    case 14: return QPalette::HighlightedText;
    case 18: return QPalette::ButtonText;
    default: return QPalette::Button;         // button face and the rest
    }
}

// "True"/"False" or a number, 0 being false; nullopt for anything else.
std::optional<bool> readBoolean(const QString& text)
{
    const QString value = text.trimmed();
    if (value.isEmpty() || value.compare(u"False"_s, Qt::CaseInsensitive) == 0)
        return false;
    if (value.compare(u"True"_s, Qt::CaseInsensitive) == 0)
        return true;
    const std::optional<qint32> number = parseConfigInteger(value, 32);
    if (!number)
        return std::nullopt;
    return *number != 0;
}

// Applies the font keys of one prefix ("Label", "Text", "Title"). Returns the first key whose
// value cannot be taken, as "KEY=VALUE"; empty when all could.
QString applyFont(QWidget& widget, const FontSettings& font, const QString& prefix)
{
    auto key = [&](const char16_t* name, const QString& value) { return prefix + QString::fromUtf16(name) + u'=' + value; };
    QFont styled = widget.font();
    const std::optional<bool> bold = readBoolean(font.bold);
    const std::optional<bool> italic = readBoolean(font.italic);
    const std::optional<bool> strikeOut = readBoolean(font.strikethru);
    const std::optional<bool> underline = readBoolean(font.underline);
    if (!bold)
        return key(u"FontBold", font.bold);
    if (!italic)
        return key(u"FontItalic", font.italic);
    if (!strikeOut)
        return key(u"FontStrikethru", font.strikethru);
    if (!underline)
        return key(u"FontUnderline", font.underline);
    styled.setBold(*bold);
    styled.setItalic(*italic);
    styled.setStrikeOut(*strikeOut);
    styled.setUnderline(*underline);
    if (!font.name.trimmed().isEmpty())
        styled.setFamilies({font.name.trimmed(), QApplication::font().family()});  // falls back to an installed font
    if (!font.size.trimmed().isEmpty()) {
        bool ok = false;
        const double points = font.size.trimmed().toDouble(&ok);
        if (!ok || points <= 0 || points > 500)
            return key(u"FontSize", font.size);
        styled.setPointSizeF(points);
    }
    widget.setFont(styled);
    return {};
}

void applyColours(QWidget& widget, Colour background, Colour foreground)
{
    QPalette palette = widget.palette();
    palette.setColor(QPalette::Window, toQColor(background));
    palette.setColor(QPalette::Base, toQColor(background));
    palette.setColor(QPalette::WindowText, toQColor(foreground));
    palette.setColor(QPalette::Text, toQColor(foreground));
    widget.setPalette(palette);
    widget.setAutoFillBackground(true);
}

// The styling of applyWindowStyling; the first key whose value cannot be taken, empty when all could.
QString styleWindow(QWidget& window, const StylingSettings& styling)
{
    const std::pair<const char16_t*, Colour> colours[] = {
        {u"LabelBackColor", styling.labelBackColor}, {u"LabelForeColor", styling.labelForeColor},
        {u"TextBackColor", styling.textBackColor},   {u"TextFocusColor", styling.textFocusColor},
        {u"TextForeColor", styling.textForeColor},   {u"TitleBackColor", styling.titleBackColor},
        {u"TitleForeColor", styling.titleForeColor},
    };
    for (const auto& [key, colour] : colours) {
        if (!colour.isValid())
            return QString::fromUtf16(key);
    }
    const std::optional<qint32> formBack = parseConfigInteger(styling.formBackColor, 32);
    if (!styling.formBackColor.trimmed().isEmpty()) {
        if (!formBack || !Colour::fromConfigNumber(*formBack).isValid())
            return u"FormBackColor="_s + styling.formBackColor;
        QPalette palette = window.palette();
        palette.setColor(QPalette::Window, toQColor(Colour::fromConfigNumber(*formBack)));
        window.setPalette(palette);
        window.setAutoFillBackground(true);
    }
    for (QLabel* label : window.findChildren<QLabel*>()) {
        const QString name = label->objectName();
        QString failed;
        if (name.startsWith(u"lbl_"_s) || name.startsWith(u"OPR_"_s)) {
            applyColours(*label, styling.labelBackColor, styling.labelForeColor);
            failed = applyFont(*label, styling.labelFont, u"Label"_s);
        } else if (name.startsWith(u"tit_"_s)) {
            applyColours(*label, styling.titleBackColor, styling.titleForeColor);
            failed = applyFont(*label, styling.titleFont, u"Title"_s);
        }
        if (!failed.isEmpty())
            return failed;
    }
    for (QLineEdit* field : window.findChildren<QLineEdit*>()) {
        applyColours(*field, styling.textBackColor, styling.textForeColor);
        const QString failed = applyFont(*field, styling.textFont, u"Text"_s);
        if (!failed.isEmpty())
            return failed;
    }
    return {};
}

}  // namespace

QColor toQColor(Colour colour)
{
    if (colour.isSystemColour())
        return QApplication::palette().color(systemRole(int(colour.value & 0xFF)));
    return QColor(colour.red(), colour.green(), colour.blue());
}

void chooseApplicationFont()
{
    for (const QString& family : {u"Noto Sans CJK JP"_s, u"IPAGothic"_s}) {
        if (QFontDatabase::hasFamily(family)) {
            QApplication::setFont(QFont(family, 9));
            return;
        }
    }
}

int twipsToPixels(const QWidget& widget, int twips)
{
    return twips * widget.logicalDpiX() / 1440;
}

bool applyWindowStyling(QWidget& window, const StylingSettings& styling, QString* problem)
{
    const QString failedKey = styleWindow(window, styling);
    if (!failedKey.isEmpty() && problem)
        *problem = u"[Setting0] "_s + failedKey + u" cannot be applied to "_s + window.objectName();
    return failedKey.isEmpty();
}

}  // namespace edi
