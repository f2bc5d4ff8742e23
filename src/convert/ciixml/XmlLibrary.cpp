#include "convert/ciixml/XmlLibrary.h"

#include <libxml/encoding.h>
#include <libxml/parser.h>
#include <mutex>
#include <utility>

using namespace Qt::Literals::StringLiterals;

namespace edi {

namespace {

thread_local bool refused = false;

// Nothing outside a document is ever read for it: no external entity, no external parameter
// entity, no DTD. The refusal is noted for the reader on this thread.
xmlParserInputPtr refuseExternalEntity(const char*, const char*, xmlParserCtxtPtr)
{
    refused = true;
    return nullptr;
}

}  // namespace

bool externalEntityRefused()
{
    return std::exchange(refused, false);
}

void initialiseXmlLibrary()
{
    static std::once_flag once;
    std::call_once(once, [] {
        xmlInitParser();
        xmlAddEncodingAlias("CP932", "Shift_JIS");
        xmlSetExternalEntityLoader(&refuseExternalEntity);
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
