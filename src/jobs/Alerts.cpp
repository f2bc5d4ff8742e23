#include "jobs/Alerts.h"

#include "app/ResultCode.h"
#include "app/config/IniFile.h"
#include "app/process/RunAndWait.h"
#include "app/text/TextHelpers.h"
#include "jobs/JobCodes.h"
#include "jobs/JobContext.h"
#include "jobs/JobReport.h"
#include "transport/mail/SmtpMail.h"

#include <QFileInfo>

using namespace Qt::Literals::StringLiterals;

namespace edi {
namespace {


const HistoryRow* transferRow(const std::vector<HistoryRow>& rows)
{
    for (const HistoryRow& row : rows) {
        if (row.processingKind == u"10"_s)
            return &row;
    }
    return nullptr;
}

// The first step that did not end well; none when every step did.
const HistoryRow* failedStep(const std::vector<HistoryRow>& rows)
{
    for (const HistoryRow& row : rows) {
        if (row.branch != 0 && row.completed && row.endCode != ResultCode::ok)
            return &row;
    }
    return nullptr;
}

void runCommand(const Alert& alert, const AlertSettings& settings, const QString& workingFolder,
                const std::function<void(const QString&)>& log)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(u"EDI_CENTRE"_s, alert.centreCode);
    environment.insert(u"EDI_SERIAL"_s, serialText(alert.serial));
    environment.insert(u"EDI_STEP"_s, alert.step);
    environment.insert(u"EDI_CODE"_s, alert.code);
    environment.insert(u"EDI_DETAIL"_s, alert.detail);
    environment.insert(u"EDI_MESSAGE"_s, alert.message);
    const ProgramEnd end =
        runAndWaitWith(u"/bin/sh"_s, {u"-c"_s, settings.command}, workingFolder, settings.timeLimitSeconds, environment);
    if (end.status != FileStatus::Done)
        log(u"警報コマンドが異常終了したか %1 秒で終わりませんでした: %2"_s.arg(settings.timeLimitSeconds).arg(settings.command));
    else if (end.exitCode != 0)
        log(u"警報コマンドが終了コード %1 で終わりました: %2"_s.arg(end.exitCode).arg(settings.command));
}

void sendMail(const Alert& alert, const AlertSettings& settings, const QString& machineName,
              const std::function<void(const QString&)>& log)
{
    const SmtpServer server{settings.smtpUrl.isEmpty() ? u"smtp://localhost"_s : settings.smtpUrl, settings.smtpUser,
                            settings.smtpPassword,
                            settings.mailFrom.isEmpty() ? u"edi-auto@"_s + machineName : settings.mailFrom,
                            settings.timeLimitSeconds};
    // The scheduler's own alerts are of no job: their step says what they are of.
    const QString subject = alert.serial == 0
                              ? u"EDI受信の警報: %1 %2"_s.arg(alert.step, alert.message.section(u'\n', 0, 0))
                              : u"EDI受信の警報: %1 通番 %2 %3 %4"_s.arg(alert.centreCode, serialText(alert.serial),
                                                                         alert.step, alert.code);
    const QString body = u"EDI自動受信 (端末 %1) からの警報です。\n\n"_s.arg(machineName) + alert.message + u'\n';
    const QString problem = sendSmtpMail(server, settings.mailTo.split(u',', Qt::SkipEmptyParts), subject, body);
    if (!problem.isEmpty())
        log(u"警報メール: "_s + problem);
}

}  // namespace

std::optional<Alert> alertFor(qint32 serial, const std::vector<HistoryRow>& rows, const AlertSettings& settings)
{
    if (rows.empty() || rows.front().branch != 0 || !rows.front().completed)
        return std::nullopt;
    const HistoryRow& job = rows.front();
    const QString centre = job.centreCode.trimmed();
    const HistoryRow* transfer = transferRow(rows);
    const bool nothingReceived =
        transfer && (JobCode::receivedNothing(transfer->detailCode) || transfer->note.startsWith(u"受信データなし"_s));
    const bool failed = (job.endCode != ResultCode::ok && job.endCode != JobCode::centreBusy)
                     || job.detailCode == JobCode::backupFailed;
    if (nothingReceived ? !settings.noDataCentres.contains(centre) : !failed)
        return std::nullopt;

    // The codes are the first failed step's, else the job's; an empty reception is the
    // reception's fault whichever step then failed.
    const HistoryRow* failing = failedStep(rows);
    const HistoryRow& coded = failing ? *failing : job;
    const HistoryRow& step = nothingReceived ? *transfer : coded;
    return Alert{centre,          serial,           historyStepName(step.processingKind), coded.endCode,
                 coded.detailCode, jobReport(serial, rows).join(u'\n')};
}

void alertIfDue(JobContext& job, qint32 serial, const std::vector<HistoryRow>& rows,
                const std::function<void(const QString&)>& log)
{
    const AlertSettings settings = readAlertSettings(IniFile::read(job.settings().configPath));
    if (!settings.any())
        return;
    if (const std::optional<Alert> alert = alertFor(serial, rows, settings))
        raiseAlert(*alert, settings, QFileInfo(job.settings().configPath).absolutePath(), job.settings().machineName, log);
}

void raiseAlert(const Alert& alert, const AlertSettings& settings, const QString& workingFolder, const QString& machineName,
                const std::function<void(const QString&)>& log)
{
    if (!settings.command.isEmpty())
        runCommand(alert, settings, workingFolder, log);
    if (!settings.mailTo.isEmpty())
        sendMail(alert, settings, machineName, log);
}

}  // namespace edi
