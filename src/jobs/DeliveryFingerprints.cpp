#include "jobs/DeliveryFingerprints.h"

#include "convert/localcii/ConversionError.h"
#include "convert/localcii/GroupHeaderScan.h"

#include <QCryptographicHash>
#include <QFile>
#include <algorithm>

using namespace Qt::Literals::StringLiterals;

namespace edi {
namespace {

std::optional<QString> contentHash(const QString& path)
{
    QFile file(path);
    QCryptographicHash hash(QCryptographicHash::Sha256);
    if (!file.open(QIODevice::ReadOnly) || !hash.addData(&file))
        return std::nullopt;
    return QString::fromLatin1(hash.result().toHex());
}

// A header identifies its group only with a creation time: blank, every group of the sender
// would look alike.
bool identifiesGroup(const MessageGroupHeader& header)
{
    const QString created = header.createdAt();
    return created.size() == 12 && std::ranges::all_of(created, [](QChar c) { return c.isDigit(); });
}

QString headerValue(const MessageGroupHeader& header)
{
    return QStringList{header.senderCode(), header.receiverCode(), header.infoClass(), header.exchangeReference(),
                       header.createdAt()}
        .join(u'|');
}

void addOnce(std::vector<DeliveryFingerprint>& fingerprints, DeliveryFingerprint fingerprint)
{
    const bool known = std::ranges::any_of(fingerprints, [&](const DeliveryFingerprint& found) {
        return found.kind == fingerprint.kind && found.value == fingerprint.value;
    });
    if (!known)
        fingerprints.push_back(std::move(fingerprint));
}

}  // namespace

QString DeliveryFingerprint::described() const
{
    if (kind == kContent)
        return u"同じ内容 (SHA-256 %1)"_s.arg(value.left(16));
    const QStringList fields = value.split(u'|');
    return u"同じメッセージグループ (発信者 %1 受信者 %2 情報区分 %3 交換参照番号 %4 作成日時 %5)"_s.arg(
        fields.value(0), fields.value(1), fields.value(2), fields.value(3), fields.value(4));
}

std::optional<std::vector<DeliveryFingerprint>> fingerprintsOf(const QStringList& files, bool ciiFiles)
{
    std::vector<DeliveryFingerprint> fingerprints;
    for (const QString& file : files) {
        const std::optional<QString> hash = contentHash(file);
        if (!hash)
            return std::nullopt;
        addOnce(fingerprints, {DeliveryFingerprint::kContent, *hash, file});
        if (!ciiFiles)
            continue;
        try {
            for (const MessageGroupHeader& header : readGroupHeaders(file))
                if (identifiesGroup(header))
                    addOnce(fingerprints, {DeliveryFingerprint::kGroupHeader, headerValue(header), file});
        } catch (const ConversionIoError&) {
            return std::nullopt;
        }
    }
    return fingerprints;
}

}  // namespace edi
