#include "monitor/StatusCommand.h"

#include "app/ConsoleOutput.h"
#include "app/StateReport.h"
#include "app/database/ConfiguredDatabase.h"
#include "app/database/DatabaseError.h"
#include "app/text/TextHelpers.h"
#include "app/text/TextTable.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>

using namespace Qt::Literals::StringLiterals;

namespace edi {
namespace {

QString momentText(const QDateTime& moment, const QString& format = u"yyyy-MM-dd HH:mm:ss"_s)
{
    return moment.isValid() ? moment.toString(format) : QString();
}

QString nextText(const Heartbeat& heartbeat)
{
    if (!heartbeat.nextReception.isValid())
        return u"なし"_s;
    return momentText(heartbeat.nextReception, u"yyyy-MM-dd HH:mm"_s) + u' ' + heartbeat.nextCentre;
}

QString runningText(const Heartbeat& heartbeat)
{
    if (heartbeat.runningCentre.isEmpty())
        return u"-"_s;
    return heartbeat.runningCentre + u' ' + serialText(heartbeat.runningSerial);
}


}  // namespace

QString formatStatusTable(const std::vector<WorkstationStatus>& workstations)
{
    std::vector<QStringList> lines{{u"端末"_s, u"状態"_s, u"最終確認"_s, u"実行状態"_s, u"次の受信"_s, u"実行中"_s,
                                    u"本日の失敗"_s, u"操作待ち"_s}};
    QString details;
    for (const WorkstationStatus& status : workstations) {
        const Heartbeat none;
        const Heartbeat& heartbeat = status.heartbeat ? *status.heartbeat : none;
        lines.push_back({status.machineName, livenessText(status.liveness), momentText(heartbeat.lastTick),
                         status.heartbeat ? runStateText(heartbeat.runState) : QString(),
                         status.heartbeat ? nextText(heartbeat) : QString(), runningText(heartbeat),
                         QString::number(status.failedToday.size()),
                         QString::number(status.interrupted.size() + status.waitingFiles.size())});
        for (const QString& failed : status.failedToday)
            details += u"%1 本日の失敗: %2\n"_s.arg(status.machineName, failed);
        for (const QString& job : status.interrupted)
            details += u"%1 操作待ち: 中断したジョブ %2 (edi-auto --rerun で再実行できます)\n"_s.arg(status.machineName, job);
        for (const QString& file : status.waitingFiles)
            details += u"%1 操作待ち: ファイル %2\n"_s.arg(status.machineName, file);
    }
    const QString table = alignedTable(lines, {false, false, false, false, false, false, true, true});
    return details.isEmpty() ? table : table + u'\n' + details;
}

QJsonObject workstationStatusJson(const WorkstationStatus& status)
{
    QJsonObject object{{u"machine"_s, status.machineName},
                       {u"state"_s, livenessKey(status.liveness)},
                       {u"attention"_s, status.needsAttention()},
                       {u"failed_today"_s, QJsonArray::fromStringList(status.failedToday)},
                       {u"interrupted"_s, QJsonArray::fromStringList(status.interrupted)},
                       {u"waiting_files"_s, QJsonArray::fromStringList(status.waitingFiles)}};
    if (const std::optional<Heartbeat>& heartbeat = status.heartbeat) {
        object.insert(u"version"_s, heartbeat->version);
        object.insert(u"process_id"_s, heartbeat->processId);
        object.insert(u"started"_s, momentText(heartbeat->started));
        object.insert(u"last_tick"_s, momentText(heartbeat->lastTick));
        object.insert(u"run_state"_s, heartbeat->runState);
        object.insert(u"next_reception"_s, momentText(heartbeat->nextReception));
        object.insert(u"next_centre"_s, heartbeat->nextCentre);
        object.insert(u"running_centre"_s, heartbeat->runningCentre);
        object.insert(u"running_serial"_s, heartbeat->runningSerial);
    }
    return object;
}

QString formatStatusJson(const std::vector<WorkstationStatus>& workstations)
{
    QJsonArray array;
    for (const WorkstationStatus& status : workstations)
        array.append(workstationStatusJson(status));
    return QString::fromUtf8(QJsonDocument(array).toJson(QJsonDocument::Indented));
}

QString statusUsage()
{
    return uR"(Usage: edi-auto status [--ini PATH] [--format table|json]
Lists every workstation of the database: whether its scheduler answers (a heartbeat
within 3 minutes), its next reception and running job, today's failed jobs, and what
waits for an operator (interrupted jobs, kept-aside deliveries, returned hand-over files).
  --ini PATH        the configuration (default: EDI_INI, or EDI.ini two folders above
                    the program)
  --format FORMAT   table (default, in the terminal's encoding) or json (UTF-8)
  -h, --help        show this text
Exit status: 0 when all is well (failed jobs are listed, not counted); 1 when a
workstation's scheduler does not answer, has ended or never started, something waits for
an operator, or the database cannot be read; 2 for a usage error.
)"_s;
}

int runStatusCommand(const QStringList& arguments, const QString& programFolder, const QDateTime& now)
{
    QString configPath;
    bool json = false;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        const bool hasValue = i + 1 < arguments.size();
        if (argument == u"--ini"_s && hasValue) {
            configPath = arguments[++i];
        } else if (argument == u"--format"_s && hasValue && (arguments[i + 1] == u"table"_s || arguments[i + 1] == u"json"_s)) {
            json = arguments[++i] == u"json"_s;
        } else if (argument == u"--help"_s || argument == u"-h"_s) {
            writeStandardOutput(statusUsage());
            return 0;
        } else {
            writeStandardError(u"edi-auto status: unknown or incomplete option "_s + argument + u'\n' + statusUsage());
            return 2;
        }
    }
    std::vector<WorkstationStatus> workstations;
    try {
        const std::unique_ptr<Database> database = openConfiguredDatabase(toolConfigurationPath(configPath, programFolder));
        workstations = readWorkstationStatus(*database, now);
    } catch (const ConfigurationError& error) {
        writeStandardError(u"edi-auto status: "_s + error.message() + u'\n');
        return 1;
    } catch (const DatabaseError& error) {
        writeStandardError(u"edi-auto status: "_s + error.message() + u'\n');
        return 1;
    }
    if (json)
        writeStandardOutputUtf8(formatStatusJson(workstations));
    else
        writeStandardOutput(formatStatusTable(workstations));
    const bool attention = std::any_of(workstations.begin(), workstations.end(),
                                       [](const WorkstationStatus& status) { return status.needsAttention(); });
    return attention ? 1 : 0;
}

}  // namespace edi
