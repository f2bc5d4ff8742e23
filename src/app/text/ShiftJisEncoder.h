#pragma once

#include <QByteArray>
#include <QByteArrayView>

namespace edi {

// UTF-8 text into Shift-JIS (code page 932) through a table, for long outputs such as whole
// documents: it gives exactly what the code page converter gives (the table is read from it, once
// per process), without a call per piece. Each character the code page lacks is handed to
// lacking, which appends what stands for it. False at bytes that are no UTF-8; out then ends with
// the characters before them.
bool encodeUtf8ToShiftJis(QByteArrayView utf8, QByteArray& out, void (*lacking)(char32_t character, QByteArray& out));

}  // namespace edi
