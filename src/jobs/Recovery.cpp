#include "jobs/Recovery.h"

#include "app/Clock.h"
#include "app/ConsoleOutput.h"
#include "app/ResultCode.h"
#include "app/config/IniFile.h"
#include "app/database/DatabaseError.h"
#include "app/files/FileHelpers.h"
#include "app/files/JobFiles.h"
#include "app/process/ProcessTable.h"
#include "app/text/TextHelpers.h"
#include "jobs/Alerts.h"
#include "jobs/ControlRow.h"
#include "jobs/JobCodes.h"
#include "jobs/JobContext.h"
#include "jobs/JobSequence.h"
#include "jobs/Registration.h"
#include "transport/CommunicationPackageDriver.h"
#include "transport/HandOver.h"
#include "transport/MailReceiver.h"
#include "transport/TransferCodes.h"
#include "transport/mail/MailError.h"
#include "transport/mail/MailStore.h"

#include <QDir>
#include <QFileInfo>
#include <algorithm>
#include <set>
#include <stdexcept>

using namespace Qt::Literals::StringLiterals;

namespace edi {
namespace {

const QString kTransferKind = u"10"_s;
const QString kRegistrationKind = u"41"_s;

// One job to complete: its rows as the ended process left them.
class JobRecovery {
public:
    JobRecovery(JobContext& job, qint32 serial, const QString& centreCode)
        : job_(job)
        , serial_(serial)
        , centreCode_(centreCode)
        , rows_(job.history().jobRows(serial))
        , files_(job.settings().paths.receivedFolder, serial, centreCode)
        , centre_(loadControlRow(job.database(), centreCode).row)
    {
    }

    // What still runs of the job, when something does.
    QString stillRunning() const
    {
        if (processWithArgumentRuns(u'@' + registrationCommandFile(registrationSettings(), serial_)))
            return u"登録プログラム"_s;
        const HistoryRow* transfer = row(kTransferKind);
        const LinkDriverSettings& driver = job_.settings().linkDriver;
        if (centre_ && centre_->transferMethod == u"Z"_s && (!transfer || !transfer->completed)
            && processWithArgumentRuns(JobFiles::joinPath(driver.installFolder, driver.program)))
            return u"通信パッケージ"_s;
        return {};
    }

    QString run()
    {
        QStringList said;
        if (const HistoryRow* transfer = row(kTransferKind); transfer && centre_)
            said << settleSource(*transfer);
        const QString stage = stoppedIn();
        int registrationRows = 0;
        for (const HistoryRow& step : rows_) {
            if (step.processingKind == kRegistrationKind)
                ++registrationRows;
            if (step.branch != 0 && !step.completed)
                closeInterrupted(step.branch, stage);
        }
        if (const QString stale = setAsideStaleStatusFile(registrationSettings(), serial_); !stale.isEmpty()) {
            said << stale;
            job_.history().annotateRow(serial_, 0, stale);
        }
        const std::optional<QString> registered =
            recordLeftStatusFile(job_, centreCode_, serial_, registrationRows,
                                 u"プログラムの終了後、登録プログラムが残したステータスファイルから記録しました"_s);
        if (registered)
            said << u"登録プログラムのステータスファイルを記録しました (結果 %1)"_s.arg(*registered);
        else
            closeInterrupted(0, stage);
        if (!backupJobFiles(job_, serial_))
            said << u"バックアップエラー"_s;
        said.removeAll(QString());
        return u"通番 %1 (センター %2) は%3の途中でプログラムが終了していたため完了しました"_s.arg(serialText(serial_), centreCode_, stage)
             + (said.isEmpty() ? QString() : u": "_s + said.join(u"; "_s));
    }

private:
    RegistrationSettings registrationSettings() const
    {
        return readRegistrationSettings(IniFile::read(job_.settings().configPath));
    }

    const HistoryRow* row(const QString& kind) const
    {
        for (const HistoryRow& found : rows_)
            if (found.processingKind == kind)
                return &found;
        return nullptr;
    }

    // The step the job was in, by its last step row: the reception until its transfer row says
    // it succeeded, the conversion until the local records are made, then the registration.
    QString stoppedIn() const
    {
        const HistoryRow* last = nullptr;
        for (const HistoryRow& step : rows_)
            if (step.branch != 0)
                last = &step;
        if (!last)
            return u"受信"_s;
        const bool succeeded = last->completed && last->endCode == ResultCode::ok;
        const QString& kind = last->processingKind;
        if (kind == kTransferKind)
            return succeeded ? u"変換"_s : u"受信"_s;
        if (kind == kRegistrationKind || ((kind == u"31"_s || kind == u"32"_s) && succeeded))
            return u"登録"_s;
        return u"変換"_s;
    }

    void closeInterrupted(qint16 branch, const QString& stage)
    {
        HistoryCompletion completion;
        completion.serial = serial_;
        completion.branch = branch;
        completion.endCode = JobCode::interrupted;
        completion.note = u"中断: %1の途中でプログラムが終了したため、後から完了しました"_s.arg(stage);
        job_.history().closeRow(completion);
    }

    // What the transfer took from its source: given up when the row says the reception
    // succeeded, given back otherwise.
    QString settleSource(const HistoryRow& transfer)
    {
        const bool received = transfer.completed && transfer.endCode == ResultCode::ok;
        const QString& method = centre_->transferMethod;
        const QString receivedFile =
            files_.inReceivedFolder(files_.baseName() + u'.' + receivedFileExtension(centre_->dataFormat.toString()));
        if (method == u"W"_s) {
            if (!QFileInfo::exists(HandOverClaim::claimPath(centre_->receiveFilePath, serial_)))
                return {};
            HandOverClaim claim(centre_->receiveFilePath, serial_, receivedFile);
            return received ? claim.release() : claim.giveBack();
        }
        if (method == u"M"_s)
            return settleMail(received, receivedFile);
        if (method == u"Z"_s && !transfer.completed && !QFileInfo::exists(files_.receivedCii())
            && !deliveredBefore(centre_->receiveFilePath, transfer.started))
            return keepUnconfirmedDelivery(centre_->receiveFilePath, files_);
        return {};
    }

    // Whether the package's file is one an earlier job of the centre received: the same bytes as
    // its received CII file (in the received-files or the backup folder); without one, a file
    // written before the transfer began.
    bool deliveredBefore(const QString& packageFile, const QDateTime& transferStarted) const
    {
        const QFileInfo package(packageFile);
        if (!package.isFile())
            return true;
        // The job names of the centre's received CII files, the serial in front.
        const QString names = u"????????"_s + files_.baseName().mid(8) + u".CII"_s;
        const QString ownName = QFileInfo(files_.receivedCii()).fileName();
        for (const QString& folder : {files_.inReceivedFolder({}), job_.settings().paths.backupFolder}) {
            const QDir dir(folder);
            QStringList earlier = dir.entryList({names}, QDir::Files, QDir::Name);
            earlier.erase(std::remove_if(earlier.begin(), earlier.end(), [&](const QString& name) { return name >= ownName; }),
                          earlier.end());
            if (!earlier.isEmpty())
                return sameContent(packageFile, dir.filePath(earlier.last()));
        }
        return package.lastModified() < transferStarted;
    }

    QString settleMail(bool received, const QString& receivedFile)
    {
        if (!received)
            deleteFile(receivedFile);
        const IniFile ini = IniFile::read(job_.settings().configPath);
        try {
            const std::unique_ptr<MailStore> store =
                openMailStore(readMailSettings(ini), QFileInfo(job_.settings().configPath).absolutePath());
            store->signOn();
            const QStringList claims = store->claimedBy(serial_);
            for (const QString& claimed : claims)
                received ? store->markRead(claimed) : store->giveBack(claimed);
            store->signOff();
            if (claims.isEmpty())
                return {};
            return received ? u"受信済みのメールを既読にしました"_s : u"メールを未読に戻しました"_s;
        } catch (const MailError& error) {
            return error.message();
        }
    }

    JobContext& job_;
    qint32 serial_;
    QString centreCode_;
    std::vector<HistoryRow> rows_;
    JobFiles files_;
    std::optional<ControlRow> centre_;
};

// Returns the line of the first job left for later, empty when none was.
QString recoverJobs(JobContext& job, const std::vector<std::pair<qint32, QString>>& jobs, const RecoveryLog& log)
{
    QString leftForLater;
    for (const auto& [serial, centreCode] : jobs) {
        try {
            JobRecovery recovery(job, serial, centreCode);
            if (const QString running = recovery.stillRunning(); !running.isEmpty()) {
                const QString line = u"通番 %1 (センター %2) の%3が実行中のため、完了は後にします"_s.arg(serialText(serial), centreCode, running);
                log(line);
                if (leftForLater.isEmpty())
                    leftForLater = line;
                continue;
            }
            log(recovery.run());
            alertIfDue(job, serial, job.history().jobRows(serial), log);
        } catch (const DatabaseError& error) {
            log(u"通番 %1 を完了できません: "_s.arg(serialText(serial)) + error.message());
        } catch (const std::invalid_argument&) {
            log(u"通番 %1 を完了できません: センターコード %2"_s.arg(serialText(serial), centreCode));
        }
    }
    return leftForLater;
}

}  // namespace

void recoverInterruptedJobs(JobContext& job, const RecoveryLog& log)
{
    std::set<QString> centres;
    try {
        for (const auto& open : job.history().openJobs(job.settings().machineName))
            centres.insert(open.second);
    } catch (const DatabaseError& error) {
        log(u"中断したジョブを探せません: "_s + error.message());
        return;
    }
    for (const QString& centreCode : centres) {
        std::unique_ptr<HeldLock> lock;
        try {
            lock = job.locks().tryLock(LockScope::Centre, centreCode);
        } catch (const LockError& error) {
            log(error.message());
            continue;
        }
        if (lock)  // otherwise a process runs the centre's job: its rows are open for a reason
            recoverCentre(job, centreCode, log);
    }
}

QString recoverCentre(JobContext& job, const QString& centreCode, const RecoveryLog& log)
{
    // Looked for under the lock: a job that ended a moment ago is complete and not in the list.
    try {
        return recoverJobs(job, job.history().openJobs(job.settings().machineName, centreCode), log);
    } catch (const DatabaseError& error) {
        log(u"中断したジョブを探せません: "_s + error.message());
        return {};
    }
}

void recoverAtStart(Database& database, const Clock& clock, const JobSettings& settings)
{
    NoMailReceiver noMail;
    JobContext job(database, clock, settings, noMail);
    recoverInterruptedJobs(job, [&clock](const QString& line) {
        writeLogLine(LogPriority::Warning, clock.now(), u"EDIAUTO"_s, line);
    });
}

}  // namespace edi
