#include "convert/ciixml/XmlLibrary.h"

#include <libxml/encoding.h>
#include <libxml/parser.h>
#include <mutex>

using namespace Qt::Literals::StringLiterals;

namespace edi {

void initialiseXmlLibrary()
{
    static std::once_flag once;
    std::call_once(once, [] {
        xmlInitParser();
        xmlAddEncodingAlias("CP932", "Shift_JIS");
    });
}

QString xmlEncodingName(QChar xmlCode)
{
    if (xmlCode == u'U')
        return u"UTF-16"_s;
    if (xmlCode == u'S')
        return u"ISO-2022-JP"_s;
    return u"Shift_JIS"_s;
}

}  // namespace edi
