#include "monitor/KeystrokeFilter.h"

#include <QStringView>

using namespace Qt::Literals::StringLiterals;

namespace edi {
namespace {

// The separators each numeric class takes besides digits.
QStringView numericSeparators(const QString& code)
{
    if (code == u"3") return u"";
    if (code == u"4") return u"-";
    if (code == u"5") return u".";
    if (code == u"6") return u",";
    if (code == u"7") return u"-.";
    if (code == u"8") return u"-,";
    if (code == u"9") return u".,";
    if (code == u"A") return u",-.";
    if (code == u"B") return u"/";
    if (code == u"C") return u":";
    if (code == u"D") return u"/:";
    return {};
}

bool isNumericClass(const QString& code)
{
    return code.size() == 1 && QStringView(u"3456789ABCD").contains(code[0]);
}

}  // namespace

std::optional<QChar> filterKeystroke(QChar typed, const QString& attributeCode, const QString& fieldText)
{
    const QString code = attributeCode.isEmpty() ? u"2"_s : attributeCode;
    if (code.startsWith(u'1'))
        return typed;
    if (code.startsWith(u'2')) {
        if (typed == u',' || typed == u'\'' || typed == u'"')
            return std::nullopt;
        if (code.endsWith(u'U') && typed >= u'a' && typed <= u'z')
            return typed.toUpper();
        if (code.endsWith(u'L') && typed >= u'A' && typed <= u'Z')
            return typed.toLower();
        return typed;
    }
    if (!isNumericClass(code))
        return typed;  // an unknown code filters nothing
    if (typed >= u'0' && typed <= u'9')
        return typed;
    if (!numericSeparators(code).contains(typed))
        return std::nullopt;
    if ((typed == u'-' || typed == u'.') && fieldText.contains(typed))
        return std::nullopt;
    return typed;
}

}  // namespace edi
