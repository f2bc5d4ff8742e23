#include "transport/MailTransport.h"

#include "app/ResultCode.h"
#include "app/config/Configuration.h"
#include "app/config/IniFile.h"
#include "app/files/JobFiles.h"
#include "transport/MailProgress.h"
#include "transport/TransferCodes.h"
#include "transport/mail/MailClaim.h"
#include "transport/mail/MailError.h"
#include "transport/mail/MailStore.h"
#include "transport/mail/MimeAttachment.h"
#include "transport/mail/UnmarkedMessages.h"

#include <QDir>
#include <QFileInfo>
#include <QSet>
#include <QTemporaryFile>
#include <algorithm>
#include <cstdio>
#include <optional>
#include <stdexcept>
#include <utility>

using namespace Qt::Literals::StringLiterals;

namespace edi {
namespace {

// The attachment that is to become the job's file, kept under a temporary name meanwhile.
class PendingAttachment {
public:
    explicit PendingAttachment(const QString& folder)
        : file_(QDir(folder).filePath(u".attachment-XXXXXX"_s))
    {
        if (!file_.open())
            throw MailError(MailErrorNumber::StoreFailed, u"受信フォルダに書き込めません: "_s + folder);
    }
    QFile& file() { return file_; }

    // Puts the attachment in place under the job's name, replacing a file of that name.
    void commit(const QString& target)
    {
        file_.close();
        file_.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther);
        if (std::rename(QFile::encodeName(file_.fileName()).constData(), QFile::encodeName(target).constData()) != 0)
            throw MailError(MailErrorNumber::StoreFailed, u"添付ファイルを格納できません: "_s + target);
        file_.setAutoRemove(false);
    }

private:
    QTemporaryFile file_;
};

// A message claimed for the job: given back, unread, when it goes, unless handed on or rejected.
class ClaimedMessage {
public:
    ClaimedMessage(MailStore& store, QString name) : store_(store), name_(std::move(name)) {}
    ClaimedMessage(const ClaimedMessage&) = delete;
    ClaimedMessage& operator=(const ClaimedMessage&) = delete;
    ~ClaimedMessage()
    {
        if (name_.isEmpty())
            return;
        try {
            store_.giveBack(name_);
        } catch (const MailError&) {
            // It stays under its claim, where no reception takes it twice; recovery gives it back.
        }
    }

    const QString& name() const { return name_; }
    QString handOn() { return std::exchange(name_, {}); }
    void reject() { store_.reject(std::exchange(name_, {})); }

private:
    MailStore& store_;
    QString name_;
};

// What a reception took: the claimed message, its mailbox and its header.
struct TakenMessage {
    QString claimed;
    QString mailbox;
    HeaderFields header;
};

class Reception {
public:
    Reception(MailStore& store, const MailRequest& request, DataForm form, const QString& receivedFolder,
              MailProgress& progress)
        : store_(store), request_(request), form_(form), folder_(receivedFolder), progress_(progress)
    {
    }

    // Stores the data attachment of the last qualifying message as target and returns that
    // message, still claimed; none when no message qualifies.
    std::optional<TakenMessage> run(const QString& target)
    {
        store_.signOn();
        progress_.line(u"ログオン"_s);
        const QSet<QString> stillUnread = markEarlierReceptionsRead();
        const QStringList messages = store_.unreadMessages();
        progress_.line(u"受信トレイ検索"_s);

        std::unique_ptr<PendingAttachment> kept;
        std::unique_ptr<ClaimedMessage> keptMessage;
        HeaderFields keptHeader;
        for (const QString& message : messages) {
            if (stillUnread.contains(message))
                continue;  // received before: it only waits to be marked read
            const std::optional<HeaderFields> header = headerFields(message);
            if (!header || !sameAddress(header->firstRecipient, request_.partnerAddress)) {
                progress_.detail(passedOver(message, header));
                store_.leaveUnread(message);
                continue;
            }
            const std::optional<QString> claimed = store_.claim(message, request_.serial);
            if (!claimed)
                continue;  // another reception took it meanwhile
            auto current = std::make_unique<ClaimedMessage>(store_, *claimed);
            auto attachment = std::make_unique<PendingAttachment>(folder_);
            save(*current, *header, attachment->file());
            kept = std::move(attachment);
            keptMessage = std::move(current);  // an earlier one goes back for the next reception
            keptHeader = *header;
        }
        progress_.line(u"添付ファイル格納"_s);
        store_.signOff();
        progress_.line(u"ログオフ"_s);
        if (!kept)
            return std::nullopt;
        kept->commit(target);
        return TakenMessage{keptMessage->handOn(), store_.mailboxName(), keptHeader};
    }

private:
    // Messages an earlier reception received and could not mark read are marked now, before the
    // search lists them again. Returns those that still cannot be.
    QSet<QString> markEarlierReceptionsRead()
    {
        UnmarkedMessages::Marked marked = UnmarkedMessages(folder_).markRead(store_);
        for (const QString& line : marked.lines)
            progress_.detail(line);
        return marked.stillUnread;
    }

    // Why a message is not the partner's: for the administrator's log.
    QString passedOver(const QString& message, const std::optional<HeaderFields>& header) const
    {
        const QString partner = request_.partnerAddress.trimmed();
        if (!header)
            return u"ヘッダを読めないため対象外: メッセージ "_s + message;
        const bool later = std::any_of(header->recipients.begin(), header->recipients.end(),
                                       [&](const QString& recipient) { return sameAddress(recipient, partner); });
        return (later ? u"相手先 %1 が最初の宛先ではないため対象外: "_s : u"相手先 %1 宛ではないため対象外: "_s).arg(partner)
             + header->described();
    }

    // The message's header fields; none for a header that is too long or does not parse. Such a
    // message names no partner that could be recognised, and one junk message in the mailbox
    // must not stop every reception: it is passed over like another partner's mail.
    std::optional<HeaderFields> headerFields(const QString& message)
    {
        try {
            HeaderFields header = readHeaderFields(store_.header(message));
            if (header.parsed)
                return header;
        } catch (const MailError& error) {
            if (error.number() != MailErrorNumber::MessageBroken)
                throw;
        }
        return std::nullopt;
    }

    // The message's data attachment into the file. A message of the partner that can never be
    // received (no data attachment, a broken structure, data the server cannot send unchanged)
    // fails the reception and is rejected, so that the partner's later messages are not held up
    // behind it.
    void save(ClaimedMessage& message, const HeaderFields& header, QFile& file)
    {
        MessageFile content;
        SavedAttachment saved;
        try {
            content = store_.content(message.name(), folder_);
            const UnencodedPartSource unencoded{store_.unencodedParts(), [&](const QByteArray& section, QIODevice& target) {
                                                    store_.fetchPart(message.name(), section, target);
                                                }};
            saved = saveDataAttachment(content.path, form_, unencoded, file);
        } catch (const MailError& error) {
            throw MailError(error.number(), error.description() + u": "_s + header.described());
        }
        auto rejected = [&](MailErrorNumber number, const QString& description) {
            message.reject();
            progress_.line(u"受信できないメールに印を付けて残しました: "_s + header.described());
            return MailError(number, description + u": "_s + header.described());
        };
        switch (saved.outcome) {
        case AttachmentOutcome::Saved:
            return;
        case AttachmentOutcome::NoAttachment:
            throw rejected(MailErrorNumber::NoAttachment, noDataAttachment(saved));
        case AttachmentOutcome::Changed:
            throw rejected(MailErrorNumber::BinaryUnavailable,
                           u"添付ファイル %1 は変換なし (8bit, binary) で送られており、BINARY に対応していないサーバからは"
                           u"変わらずに受け取れません"_s.arg(saved.fileName.isEmpty() ? u"(名前なし)"_s : saved.fileName));
        case AttachmentOutcome::Broken:
            throw rejected(MailErrorNumber::MessageBroken, u"メッセージの形式が正しくありません ("_s + saved.detail + u')');
        case AttachmentOutcome::Unreadable:
            throw MailError(MailErrorNumber::MessageUnreadable, u"メッセージを読めません: "_s + header.described());
        case AttachmentOutcome::WriteFailed:
            throw MailError(MailErrorNumber::StoreFailed, u"添付ファイルを格納できません: "_s + folder_);
        }
    }

    // Why a message has no data attachment, naming the attachments it has.
    QString noDataAttachment(const SavedAttachment& saved) const
    {
        QStringList why;
        if (!saved.seen.isEmpty())
            why << u"添付ファイル: "_s + saved.seen.join(u", "_s);
        if (!saved.detail.isEmpty())
            why << saved.detail;
        const QString missing = saved.seen.isEmpty() ? u"添付ファイルがありません"_s
                                                     : dataFormName(form_) + u"の添付ファイルがありません"_s;
        return why.isEmpty() ? missing : missing + u" ("_s + why.join(u"; "_s) + u')';
    }

    MailStore& store_;
    const MailRequest& request_;
    DataForm form_;
    QString folder_;
    MailProgress& progress_;
};

}  // namespace

MailTransport::MailTransport(QString configPath, QString receivedFolder, MailProgress& progress)
    : configPath_(std::move(configPath))
    , receivedFolder_(std::move(receivedFolder))
    , progress_(progress)
{
}

TransferReceipt MailTransport::receive(MailRequest& request)
{
    progress_.started();
    TransferReceipt receipt;
    try {
        receipt = run(request);
    } catch (const std::exception&) {
        receipt = {ResultCode::failed, {}, {}};
    }
    progress_.finished();
    request.resultCode = receipt.code;
    return receipt;
}

TransferReceipt MailTransport::run(const MailRequest& request)
{
    const QString extension = receivedFileExtension(request.dataFormat);
    const std::optional<DataForm> form = dataFormOf(request.dataFormat);
    if (request.centreCode.isEmpty() || request.centreCode.size() > 12 || !isReceptionDirection(request.direction)
        || !form || request.partnerAddress.trimmed().isEmpty())
        return {ResultCode::failed, u"メールの受信要求が正しくありません (送受信データ形式 \"%1\"、相手先メールアドレス \"%2\")"_s
                                        .arg(request.dataFormat, request.partnerAddress), {}};
    const JobFiles files(receivedFolder_, request.serial, request.centreCode);
    progress_.line(u"パラメータチェック"_s);

    const IniFile ini = IniFile::read(configPath_);
    if (!ini.problem().isEmpty()) {
        progress_.error(u"INIﾌｧｲﾙ読込エラー"_s);
        return {ResultCode::failed, u"INIﾌｧｲﾙ読込エラー "_s + ini.problem(), {}};
    }
    const MailSettings settings = readMailSettings(ini);
    for (const QString& key : settings.cutKeys)
        progress_.detail(u"警告: [MAPI] %1 は %2 文字を超えるため切って使います"_s.arg(key).arg(kEnvironmentBuffer - 1));
    progress_.line(u"INIファイル読込み"_s);

    progress_.line(u"受信処理開始"_s);
    const QString configFolder = QFileInfo(configPath_).absolutePath();
    const QString target = files.inReceivedFolder(files.baseName() + u'.' + extension);
    std::optional<TakenMessage> taken;
    try {
        std::unique_ptr<MailStore> store = openMailStore(settings, configFolder);
        taken = Reception(*store, request, *form, files.inReceivedFolder({}), progress_).run(target);
    } catch (const MailError& error) {
        progress_.error(error.message());
        return {ResultCode::failed, error.message(), {}};
    } catch (const std::exception& error) {
        const MailError unexpected(MailErrorNumber::Unexpected, QString::fromLocal8Bit(error.what()));
        progress_.error(unexpected.message());
        return {ResultCode::failed, unexpected.message(), {}};
    }
    if (!taken)
        return nothingTaken(SourceFinding::NoData, u"受信データなし: %1 宛の未読メールはありません"_s.arg(request.partnerAddress.trimmed()));
    const QString described = taken->header.described();
    return {ResultCode::ok, u"メールの添付ファイルを %1 として受信しました: "_s.arg(target) + described,
            std::make_unique<MailClaim>(settings, configFolder, taken->mailbox, taken->claimed, described, target)};
}

}  // namespace edi
