#pragma once

#include <QString>

namespace edi {

// The most parts a message may have: each costs the parser memory, however small it is.
inline constexpr qint64 kMaxMimeParts = 10000;

// Walks a message file line by line as a MIME parser does and measures what such a parser keeps
// in memory: every header block (of the message, of each part, of embedded messages), every
// multipart's preamble and epilogue, and the number of parts. Contents are not measured: the
// parser keeps them as ranges of the file. Returns what is too much ("header over N bytes",
// "more than N parts", ...), or an empty text when nothing is; an unreadable file is left to the
// parser.
QString mimeMemoryProblem(const QString& messagePath, qint64 limitBytes, qint64 maxParts = kMaxMimeParts);

}  // namespace edi
