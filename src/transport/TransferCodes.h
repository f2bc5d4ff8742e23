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

// The end codes of a transfer row whose transport failed; the transport's own code is the detail.
namespace edi::TransferCode {

// The communication package (detail: its status code).
inline const QString packageFailed = QStringLiteral("5001");
// The mail reception or the hand-over (detail "9999").
inline const QString receptionFailed = QStringLiteral("5100");

inline const QString endCodes[] = {packageFailed, receptionFailed};

}  // namespace edi::TransferCode
