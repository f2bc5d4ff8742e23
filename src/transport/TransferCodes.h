#pragma once

#include <QString>

namespace edi {

// The codes a centre's master row gives the transports, written by hand in half- or full-width
// letters of either case.

// The received file's extension for a data format: "CII" for "C", "XML" for "X", empty otherwise.
QString receivedFileExtension(const QString& dataFormat);

// Whether the data format names XML documents ("X").
bool isXmlDataFormat(const QString& dataFormat);

// Whether the direction code asks for a reception ("R").
bool isReceptionDirection(const QString& direction);

}  // namespace edi
