#include "transport/TransferCodes.h"

#include <QStringList>

using namespace Qt::Literals::StringLiterals;

namespace edi {

QString receivedFileExtension(const QString& dataFormat)
{
    if (QStringList{u"C"_s, u"c"_s, u"Ｃ"_s, u"ｃ"_s}.contains(dataFormat))
        return u"CII"_s;
    if (QStringList{u"X"_s, u"x"_s, u"Ｘ"_s, u"ｘ"_s}.contains(dataFormat))
        return u"XML"_s;
    return {};
}

bool isXmlDataFormat(const QString& dataFormat)
{
    return receivedFileExtension(dataFormat) == u"XML"_s;
}

bool isReceptionDirection(const QString& direction)
{
    return QStringList{u"R"_s, u"Ｒ"_s, u"r"_s, u"ｒ"_s}.contains(direction);
}

}  // namespace edi
