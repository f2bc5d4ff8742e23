#pragma once

#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

namespace edi {

// What tells one delivery from another: the SHA-256 of a received file, and for a CII file the
// header of each of its message groups (sender, receiver, information class, exchange reference
// and creation time), which a partner's resend carries unchanged even when its bytes differ.
struct DeliveryFingerprint {
    static inline const QString kContent = QStringLiteral("SHA256");
    static inline const QString kGroupHeader = QStringLiteral("CIIHDR");

    QString kind;   // kContent or kGroupHeader
    QString value;  // the hash in hexadecimal, or the header's fields joined by "|"
    QString file;   // the received file it was taken from

    bool operator==(const DeliveryFingerprint&) const = default;
    // The fingerprint in words, for the notes.
    QString described() const;
};

// The fingerprints of a delivery's files, each one once; CII files contribute their message-group
// headers whose creation time is given. nullopt when a file cannot be read.
std::optional<std::vector<DeliveryFingerprint>> fingerprintsOf(const QStringList& files, bool ciiFiles);

}  // namespace edi
