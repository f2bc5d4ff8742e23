#include "jobs/Rerun.h"

#include "app/ResultCode.h"
#include "app/config/ConfigNumber.h"
#include "app/config/IniFile.h"
#include "app/database/Database.h"
#include "app/database/DatabaseError.h"
#include "app/files/FileHelpers.h"
#include "app/files/JobFiles.h"
#include "app/text/ShiftJis.h"
#include "app/text/TextHelpers.h"
#include "jobs/ControlRow.h"
#include "jobs/DuplicateCheck.h"
#include "jobs/JobCodes.h"
#include "jobs/JobContext.h"
#include "jobs/JobObserver.h"
#include "jobs/Registration.h"
#include "transport/TransferCodes.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <stdexcept>

using namespace Qt::Literals::StringLiterals;

namespace edi {
namespace {

// Whether the registration program left a status file with a line it registered.
bool statusFileRegistered(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    while (!file.atEnd()) {
        const StatusLine line = parseStatusLine(threadShiftJis().decode(file.readLine(1 << 16).trimmed()));
        if (line.kind == u"1"_s)
            return false;
        if (!line.failed)
            return true;
    }
    return false;
}

class Planner {
public:
    Planner(JobContext& job, qint32 serial) : job_(job), serial_(serial) { plan_.serial = serial; }

    RerunPlan plan(bool force)
    {
        const std::vector<HistoryRow> rows = job_.history().jobRows(serial_);
        if (rows.empty() || rows.front().branch != 0)
            return refuse(u"通番 %1 のジョブは履歴にありません"_s.arg(serialText(serial_)));
        plan_.centreCode = centreOf(serial_);
        const QString machine = History::machineNamedIn(rows.front().note);
        if (machine != job_.settings().machineName)
            plan_.machine = machine;
        for (const HistoryRow& row : rows)
            if (!row.completed)
                return refuse(u"通番 %1 のジョブはまだ完了していません (実行中、または中断後の完了待ち)"_s.arg(serialText(serial_)));
        const HistoryRow* transfer = rowOfKind(rows, u"10"_s);
        if (!transfer || (transfer->endCode != ResultCode::ok && transfer->endCode != JobCode::interrupted))
            return refuse(u"通番 %1 のジョブは受信できていません"_s.arg(serialText(serial_)));
        if (!force) {
            QString registered = registeredAs(serial_, rows);
            if (registered.isEmpty() && rows.front().endCode == JobCode::duplicate)
                registered = u"通番 %1 のデータは受信済みのデータと同じため登録していません"_s.arg(serialText(serial_));
            if (!registered.isEmpty())
                return refuse(registered + u" (--force で再実行できます)"_s);
        }
        findSources();
        if (plan_.sources.isEmpty())
            return refuse(u"通番 %1 の受信ファイルがありません"_s.arg(serialText(serial_)));
        return plan_;
    }

private:
    RerunPlan refuse(const QString& text)
    {
        // Its files lie in that machine's folders, and only its program completes its rows.
        plan_.refusal = plan_.machine.isEmpty() ? text : text + u" (端末 %1 のジョブ)"_s.arg(plan_.machine);
        plan_.sources.clear();
        return plan_;
    }

    static const HistoryRow* rowOfKind(const std::vector<HistoryRow>& rows, const QString& kind)
    {
        for (const HistoryRow& row : rows)
            if (row.processingKind == kind)
                return &row;
        return nullptr;
    }

    QString centreOf(qint32 serial)
    {
        const ResultSet row = job_.database().query(
            {u"SELECT センターコード FROM FL1102処理履歴ファイル WHERE 通番 = ? AND 枝番 = 0"_s, {serial}});
        return row.atEnd() ? QString() : row.value(0).toString();
    }

    // How data of the job was registered already, when it was: by its own registration, or by a
    // re-run of it. Empty when none was.
    QString registeredAs(qint32 serial, const std::vector<HistoryRow>& rows)
    {
        for (const HistoryRow& row : rows)
            if (row.processingKind == u"41"_s && row.endCode == ResultCode::ok)
                return u"通番 %1 のデータは登録済みです"_s.arg(serialText(serial));
        const RegistrationSettings settings = readRegistrationSettings(IniFile::read(job_.settings().configPath));
        if (statusFileOfThisRun(settings, serial) && statusFileRegistered(registrationStatusFile(settings, serial)))
            return u"通番 %1 のデータは登録プログラムが登録済みです (ステータスファイル)"_s.arg(serialText(serial));
        for (const qint32 rerun : rerunsOf(serial)) {
            if (!registeredAs(rerun, job_.history().jobRows(rerun)).isEmpty())
                return u"通番 %1 のデータは通番 %2 として再実行され、登録済みです"_s.arg(serialText(serial), serialText(rerun));
        }
        return {};
    }

    std::vector<qint32> rerunsOf(qint32 serial)
    {
        std::vector<qint32> reruns;
        try {
            for (ResultSet row = job_.database().query({u"SELECT 通番 FROM FL1102処理履歴ファイル WHERE 枝番 = 0 AND 備考 LIKE ?"_s,
                                                        {u'%' + rerunNote(serial) + u'%'}});
                 !row.atEnd(); row.next())
                reruns.push_back(row.value(0).toInt());
        } catch (const DatabaseError&) {
            // A table without notes has no re-runs to tell of.
        }
        return reruns;
    }

    // The data the conversion starts from: the received CII file of a CII centre; the XML files
    // of an XML centre, where the conversion would find them, or kept in the backup folder.
    void findSources()
    {
        const ControlRowLookup lookup = loadControlRow(job_.database(), plan_.centreCode);
        if (!lookup.row)
            return;
        const JobFiles files(job_.settings().paths.receivedFolder, serial_, plan_.centreCode);
        const QString backup = job_.settings().paths.backupFolder;
        if (isXmlDataFormat(lookup.row->dataFormat.toString())) {
            for (const QString& folder : {lookup.row->receiveFilePath, files.inReceivedFolder({}), backup}) {
                plan_.sources = files.xmlFilesIn(folder);
                if (!plan_.sources.isEmpty())
                    return;
            }
            return;
        }
        const QString name = QFileInfo(files.receivedCii()).fileName();
        for (const QString& folder : {files.inReceivedFolder({}), backup}) {
            // The file under its own name, or kept aside as a duplicate.
            const QStringList found = QDir(folder).entryList({name, name + kDuplicateSuffix + u'*'}, QDir::Files, QDir::Name);
            if (!found.isEmpty()) {
                plan_.sources = {JobFiles::joinPath(folder, found.first())};
                return;
            }
        }
    }

    JobContext& job_;
    qint32 serial_;
    RerunPlan plan_;
};

}  // namespace

QString rerunNote(qint32 serial)
{
    return u"再実行 通番 "_s + serialText(serial);
}

RerunPlan planRerun(JobContext& job, qint32 serial, bool force)
{
    try {
        return Planner(job, serial).plan(force);
    } catch (const DatabaseError& error) {
        RerunPlan plan;
        plan.serial = serial;
        plan.refusal = u"履歴を読めません: "_s + error.message();
        return plan;
    } catch (const std::invalid_argument&) {
        RerunPlan plan;
        plan.serial = serial;
        plan.refusal = u"通番 %1 のセンターコードが正しくありません"_s.arg(serialText(serial));
        return plan;
    }
}

QString restoreReceivedFiles(JobContext& job, const RerunPlan& plan, qint32 serial, JobObserver& observer)
{
    HistoryStart start{serial, 0, u"R"_s, u"1"_s, u"10"_s, plan.centreCode, {}};
    if (job.history().addStep(start) != ResultCode::ok)
        return ResultCode::failed;
    const QString oldPrefix = serialText(plan.serial);
    const QString newPrefix = serialText(serial);
    QString code = ResultCode::ok;
    QStringList copied;
    for (const QString& source : plan.sources) {
        // The same name under the new serial: the job's names begin with it.
        const QString name = newPrefix + withoutDuplicateSuffix(QFileInfo(source).fileName()).mid(oldPrefix.size());
        const QString target = JobFiles::joinPath(job.settings().paths.receivedFolder, name);
        if (copyFile(source, target) != FileStatus::Done) {
            code = ResultCode::failed;
            break;
        }
        copied << source;
    }
    const QString earlier = plan.machine.isEmpty() ? u"通番 "_s + oldPrefix : u"端末 %1 の通番 %2"_s.arg(plan.machine, oldPrefix);
    const QString note = code == ResultCode::ok ? u"再実行: %1 の受信ファイル %2 から"_s.arg(earlier, copied.join(u", "_s))
                                                : u"再実行: 受信ファイルを受信フォルダにコピーできません"_s;
    observer.note(note);
    HistoryCompletion completion;
    completion.serial = serial;
    completion.branch = start.branch;
    completion.endCode = code;
    completion.note = note;
    const QString closed = job.history().closeRow(completion);
    if (code != ResultCode::ok)
        return code;
    return closed == ResultCode::ok && completion.endCode == ResultCode::ok ? ResultCode::ok : ResultCode::failed;
}

}  // namespace edi
