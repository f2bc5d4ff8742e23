#include "transport/MailTransport.h"

#include "app/ResultCode.h"
#include "app/config/Configuration.h"
#include "app/config/IniFile.h"
#include "app/files/JobFiles.h"
#include "transport/MailProgress.h"
#include "transport/TransferCodes.h"
#include "transport/mail/MailError.h"
#include "transport/mail/MailStore.h"
#include "transport/mail/MimeAttachment.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryFile>
#include <cstdio>
#include <optional>
#include <stdexcept>

using namespace Qt::Literals::StringLiterals;

namespace edi {
namespace {

// The message's name for the operator: its subject when it has one.
QString described(const QString& message, const QString& subject)
{
    return subject.isEmpty() ? message : message + u" 「"_s + subject + u"」"_s;
}

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

class Reception {
public:
    Reception(MailStore& store, const MailRequest& request, const QString& receivedFolder, MailProgress& progress)
        : store_(store), request_(request), folder_(receivedFolder), progress_(progress)
    {
    }

    void run(const QString& target)
    {
        store_.signOn();
        progress_.line(u"ログオン"_s);
        const QStringList messages = store_.unreadMessages();
        progress_.line(u"受信トレイ検索"_s);

        std::unique_ptr<PendingAttachment> kept;
        QString keptMessage;
        for (const QString& message : messages) {
            const std::optional<HeaderFields> header = headerFields(message);
            if (!header || !sameAddress(header->firstRecipient, request_.partnerAddress)) {
                store_.leaveUnread(message);
                continue;
            }
            auto attachment = std::make_unique<PendingAttachment>(folder_);
            save(message, header->subject, attachment->file());
            if (kept)
                store_.leaveUnread(keptMessage);  // replaced: the next reception takes it
            kept = std::move(attachment);
            keptMessage = message;
        }
        if (kept) {
            kept->commit(target);
            try {
                store_.markRead(keptMessage);
            } catch (const MailError&) {
                // Still unread, so the next reception takes it: the job's file must not stay.
                QFile::remove(target);
                throw;
            }
        }
        progress_.line(u"添付ファイル格納"_s);
        store_.signOff();
        progress_.line(u"ログオフ"_s);
    }

private:
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

    void save(const QString& message, const QString& subject, QFile& file)
    {
        const MessageFile content = store_.content(message, folder_);
        const SavedAttachment saved = saveFirstAttachment(content.path, file);
        switch (saved.outcome) {
        case AttachmentOutcome::Saved:
            return;
        case AttachmentOutcome::NoAttachment:
            throw MailError(MailErrorNumber::NoAttachment, u"添付ファイルがありません: "_s + described(message, subject));
        case AttachmentOutcome::Broken:
            throw MailError(MailErrorNumber::MessageBroken,
                            u"メッセージの形式が正しくありません: "_s + described(message, subject) + u" ("_s + saved.detail + u')');
        case AttachmentOutcome::Unreadable:
            throw MailError(MailErrorNumber::MessageUnreadable, u"メッセージを読めません: "_s + message);
        case AttachmentOutcome::WriteFailed:
            throw MailError(MailErrorNumber::StoreFailed, u"添付ファイルを格納できません: "_s + folder_);
        }
    }

    MailStore& store_;
    const MailRequest& request_;
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

QString MailTransport::receive(MailRequest& request)
{
    progress_.started();
    QString result;
    try {
        result = run(request);
    } catch (const std::exception&) {
        result = ResultCode::failed;
    }
    progress_.finished();
    request.resultCode = result;
    return result;
}

QString MailTransport::run(const MailRequest& request)
{
    const QString extension = receivedFileExtension(request.dataFormat);
    if (request.centreCode.isEmpty() || request.centreCode.size() > 12 || !isReceptionDirection(request.direction)
        || extension.isEmpty() || request.partnerAddress.trimmed().isEmpty())
        return ResultCode::failed;
    const JobFiles files(receivedFolder_, request.serial, request.centreCode);
    progress_.line(u"パラメータチェック"_s);

    const IniFile ini = IniFile::read(configPath_);
    if (!ini.problem().isEmpty()) {
        progress_.error(u"INIﾌｧｲﾙ読込エラー"_s);
        return ResultCode::failed;
    }
    const MailSettings settings = readMailSettings(ini);
    progress_.line(u"INIファイル読込み"_s);

    progress_.line(u"受信処理開始"_s);
    try {
        std::unique_ptr<MailStore> store = openMailStore(settings, QFileInfo(configPath_).absolutePath());
        Reception(*store, request, files.inReceivedFolder({}), progress_)
            .run(files.inReceivedFolder(files.baseName() + u'.' + extension));
    } catch (const MailError& error) {
        progress_.error(error.message());
        return ResultCode::failed;
    } catch (const std::exception& error) {
        progress_.error(MailError(MailErrorNumber::Unexpected, QString::fromLocal8Bit(error.what())).message());
        return ResultCode::failed;
    }
    return ResultCode::ok;
}

}  // namespace edi
