#pragma once

#include <QString>

namespace edi {

// What the job runner asks of the communication package.
struct LinkRequest {
    QString centreCode;
    qint32 serial = 0;
    QString transferKind;   // "1": reception
    qint32 partnerNumber = 0;
    qint32 fileNumber = 0;
    qint32 lastSequence = 0;  // out: from the package's transfer log
    QString resultCode;       // out: the package's status code, "0000" on success; empty when the driver failed
};

// What the job runner asks of the mail transport.
struct MailRequest {
    QString centreCode;
    qint32 serial = 0;
    QString direction;       // "R"
    QString dataFormat;      // "X" XML or "C" CII
    QString partnerAddress;
    QString resultCode;      // out: "0000" or "9999"
};

// What the job runner asks of the manual hand-over.
struct HandOverRequest {
    QString centreCode;
    qint32 serial = 0;
    QString direction;       // "R" (also "Ｒ", "r", "ｒ")
    QString dataFormat;      // decides the extension
    QString filePath;        // where the file was put
    QString callingProgram;  // "EDIAUTO"
    QString resultCode;      // out: "0000" or "9999"
};

}  // namespace edi
