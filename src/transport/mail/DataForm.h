#pragma once

#include <QString>
#include <optional>

class QIODevice;

namespace edi {

// The form of a centre's data: CII files ("C") or XML documents ("X").
enum class DataForm { Cii, Xml };

// The form a data format code names (full-width letters too); none for another code.
std::optional<DataForm> dataFormOf(const QString& dataFormat);

// The form's name for the operator: "CII 形式", "XML 文書".
QString dataFormName(DataForm form);

// Whether the device's content, read from its start, is of the form: a CII file opens with a
// whole message-group header block ("0C" and its 249 bytes), an XML document with its declaration,
// a comment, a document type or its root element after an optional byte order mark and blanks
// (an HTML page is none). The device is left at its start.
bool holdsDataForm(QIODevice& device, DataForm form);

}  // namespace edi
