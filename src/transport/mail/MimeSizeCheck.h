#pragma once

#include <QString>

namespace edi {

// Walks a message file line by line as a MIME parser does and measures what such a parser keeps
// in memory: every header block (of the message, of each part, of embedded messages) and every
// multipart's preamble and epilogue. Contents are not measured: the parser keeps them as ranges
// of the file. Returns what is longer than limitBytes ("header", "preamble", "epilogue"), or an
// empty text when nothing is; an unreadable file is left to the parser.
QString oversizedMimePiece(const QString& messagePath, qint64 limitBytes);

}  // namespace edi
