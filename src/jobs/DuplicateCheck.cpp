#include "jobs/DuplicateCheck.h"

#include "app/Clock.h"
#include "app/ResultCode.h"
#include "app/config/Configuration.h"
#include "app/config/IniFile.h"
#include "app/database/DatabaseError.h"
#include "app/files/FileHelpers.h"
#include "app/files/JobFiles.h"
#include "app/text/TextHelpers.h"
#include "jobs/ControlRow.h"
#include "jobs/JobCodes.h"
#include "jobs/JobContext.h"
#include "jobs/JobObserver.h"
#include "jobs/ReceivedDataTable.h"
#include "jobs/ReceivedFileCollection.h"
#include "transport/TransferCodes.h"

#include <QFileInfo>
#include <QRegularExpression>

using namespace Qt::Literals::StringLiterals;

namespace edi {
namespace {

const QRegularExpression& duplicateSuffix()
{
    static const QRegularExpression suffix(QRegularExpression::escape(kDuplicateSuffix) + u"(-\\d+)?$"_s);
    return suffix;
}

// Moves the files into the received-files folder under their names with the suffix; returns
// where they are now.
QStringList keepAside(const QStringList& files, const QString& receivedFolder)
{
    QStringList kept;
    for (const QString& file : files) {
        const QString target =
            unusedNameBeside(JobFiles::joinPath(receivedFolder, QFileInfo(file).fileName()), kDuplicateSuffix);
        kept << (moveFile(file, target) == FileStatus::Done ? target : file);
    }
    return kept;
}

// Which earlier delivery the job's data repeats, in words.
QString repeatedDelivery(const EarlierDelivery& earlier)
{
    const QString described = earlier.fingerprint.described();
    if (earlier.unsettled) {
        return u"通番 %1 (プログラムが終了したまま完了していないジョブ。登録したかどうかはそのジョブの完了で分かります) で受信したデータと%2"_s.arg(
            serialText(earlier.serial), described);
    }
    return u"通番 %1 で登録済みのデータと%2"_s.arg(serialText(earlier.serial), described);
}

class DuplicateCheck {
public:
    DuplicateCheck(JobContext& job, const QString& centreCode, qint32 serial, JobObserver& observer)
        : job_(job), centreCode_(centreCode), serial_(serial), observer_(observer)
    {
    }

    QString run(Duplicates duplicates)
    {
        const ReceptionSettings settings = readReceptionSettings(IniFile::read(job_.settings().configPath));
        const ControlRowLookup centre = loadControlRow(job_.database(), centreCode_);
        if (settings.duplicateDays == 0 || !centre.row)
            return ResultCode::ok;
        const QStringList received =
            receivedDataFiles(*centre.row, JobFiles(job_.settings().paths.receivedFolder, serial_, centreCode_));
        if (received.isEmpty())
            return ResultCode::ok;
        const auto fingerprints = fingerprintsOf(received, !isXmlDataFormat(centre.row->dataFormat.toString()));
        if (!fingerprints)
            return failed(u"受信ファイルを読めないため照合できません: "_s + received.join(u", "_s));
        std::optional<EarlierDelivery> earlier;
        try {
            earlier = recordAndFindEarlier(*fingerprints, settings.duplicateDays);
        } catch (const DatabaseError& error) {
            return failed(u"受信データを照合できません: "_s + error.message());
        }
        if (!earlier)
            return ResultCode::ok;
        const QString repeated = repeatedDelivery(*earlier);
        if (duplicates == Duplicates::Register) {
            tell(u"受信済みのデータと同じですが、再実行 (--force) のため登録します: "_s + repeated);
            return ResultCode::ok;
        }
        const QStringList kept = keepAside(received, job_.settings().paths.receivedFolder);
        tell(u"受信済みのデータと同じため登録しませんでした: %1 / 受信ファイル %2 (登録するには edi-auto --rerun %3 --force)"_s.arg(
            repeated, kept.join(u", "_s), QString::number(serial_)));
        return JobCode::duplicate;
    }

private:
    // The earlier registered delivery the job repeats, if any; the job's fingerprints are kept
    // either way, and those older than the days forgotten. Throws DatabaseError.
    std::optional<EarlierDelivery> recordAndFindEarlier(const std::vector<DeliveryFingerprint>& fingerprints, int days)
    {
        ReceivedDataTable table(job_.database());
        const QDate today = job_.clock().today();
        const QDate since = today.addDays(-days);
        std::optional<EarlierDelivery> earlier = table.earlierDelivery(centreCode_, serial_, fingerprints, since);
        table.record(centreCode_, serial_, fingerprints, today, since);
        return earlier;
    }
    // The operator's log and the job row's note.
    void tell(const QString& line)
    {
        observer_.note(line);
        job_.history().annotateRow(serial_, 0, line);
    }
    QString failed(const QString& line)
    {
        tell(line);
        return ResultCode::failed;
    }

    JobContext& job_;
    const QString& centreCode_;
    qint32 serial_;
    JobObserver& observer_;
};

}  // namespace

QString checkDuplicateDelivery(JobContext& job, const QString& centreCode, qint32 serial, Duplicates duplicates,
                               JobObserver& observer)
{
    return DuplicateCheck(job, centreCode, serial, observer).run(duplicates);
}

QString withoutDuplicateSuffix(const QString& name)
{
    return QString(name).remove(duplicateSuffix());
}

QStringList restoreKeptAsideNames(const QStringList& files)
{
    QStringList lines;
    for (const QString& file : files) {
        const QString ownName = withoutDuplicateSuffix(file);
        if (ownName != file && renameWithoutReplacing(file, ownName) == FileStatus::Done)
            lines << u"重複として保存していた受信ファイルを登録したため、元の名前 %1 に戻しました"_s.arg(ownName);
    }
    return lines;
}

}  // namespace edi
