#pragma once

#include <QString>
#include <span>

namespace edi {

// The message-group header fields that the XML documents carry, as elements "JPC03" to "JPC35",
// with their 1-based byte positions and widths in the header record.
struct HeaderField {
    const char16_t* element;
    int position;
    int width;
};

std::span<const HeaderField> xmlHeaderFields();
const HeaderField* findXmlHeaderField(QStringView element);

}  // namespace edi
