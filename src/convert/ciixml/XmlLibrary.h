#pragma once

#include <QString>

namespace edi {

// Prepares libxml2 once per process: parser initialised, "Shift_JIS" served by the code page 932
// converter (libxml2's own table is the strict JIS one, which turns backslashes into yen signs
// and rejects the vendor extensions) while documents still declare "Shift_JIS", and an entity
// loader that refuses everything outside the document (external entities and DTDs).
void initialiseXmlLibrary();

// Whether a parse on this thread asked for something outside its document since the last call.
bool externalEntityRefused();

// The encoding a document is written in, by the format master's XML文字コード: "U" UTF-16,
// "S" ISO-2022-JP, anything else Shift_JIS.
QString xmlEncodingName(QChar xmlCode);

}  // namespace edi
