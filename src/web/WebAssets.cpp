#include "web/WebPages.h"

#include <QFile>

using namespace Qt::Literals::StringLiterals;

namespace edi {
namespace {

QString cssColour(Colour colour)
{
    // A system colour has no value of its own here: black, as the grid shows an unknown one.
    if (colour.isSystemColour() || !colour.isValid())
        return u"#000000"_s;
    return u"#%1%2%3"_s.arg(colour.red(), 2, 16, QChar(u'0')).arg(colour.green(), 2, 16, QChar(u'0')).arg(colour.blue(), 2, 16, QChar(u'0'));
}

QByteArray resource(const QString& name)
{
    QFile file(u":/web/"_s + name);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

}  // namespace

QByteArray stylesheet(const StatusColours& colours)
{
    const QString states = u".normal { color: %1; }\n.running { color: %2; }\n.done { color: %3; }\n.error { color: %4; }\n"_s
                               .arg(cssColour(colours.normal), cssColour(colours.running), cssColour(colours.done),
                                    cssColour(colours.error));
    return resource(u"style.css"_s) + states.toUtf8();
}

QByteArray refreshScript()
{
    return resource(u"refresh.js"_s);
}

}  // namespace edi
