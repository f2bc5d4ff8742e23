#include "web/WebPages.h"

#include "web/JobOutcome.h"

#include <map>

using namespace Qt::Literals::StringLiterals;

namespace edi {
namespace {

// A label value in the text format: backslash, quote and line feed escaped.
QString labelValue(const QString& text)
{
    QString escaped = text;
    escaped.replace(u'\\', u"\\\\"_s).replace(u'"', u"\\\""_s).replace(u'\n', u"\\n"_s);
    return escaped;
}

class MetricsWriter {
public:
    void family(const char* name, const char* type, const char* help)
    {
        text_ += u"# HELP %1 %2\n# TYPE %1 %3\n"_s.arg(QLatin1String(name), QLatin1String(help), QLatin1String(type));
    }
    void sample(const char* name, const QString& labels, double value)
    {
        text_ += QLatin1String(name) + (labels.isEmpty() ? QString() : u'{' + labels + u'}') + u' '
            + QString::number(value, 'g', 15) + u'\n';
    }
    QByteArray finish() const { return text_.toUtf8(); }

private:
    QString text_;
};

QString centreLabel(const QString& centre) { return u"centre=\""_s + labelValue(centre) + u'"'; }
QString machineLabel(const QString& machine) { return u"machine=\""_s + labelValue(machine) + u'"'; }

const HistoryRow* lastCompletedJob(const CentreState& centre)
{
    return centre.lastJob && centre.lastJob->jobRow().completed ? &centre.lastJob->jobRow() : nullptr;
}

}  // namespace

QByteArray metricsText(const MonitorSnapshot& snapshot)
{
    MetricsWriter metrics;
    metrics.family("edi_database_up", "gauge", "1 when the database was read for these figures; 0 while they are an earlier read's.");
    metrics.sample("edi_database_up", {}, snapshot.problem.isEmpty() ? 1 : 0);
    metrics.family("edi_snapshot_timestamp_seconds", "gauge", "When the database was read for these figures.");
    metrics.sample("edi_snapshot_timestamp_seconds", {}, double(snapshot.taken.toSecsSinceEpoch()));
    metrics.family("edi_centre_last_success_timestamp_seconds", "gauge", "End of the centre's last job that ended 0000.");
    for (const CentreState& centre : snapshot.centres) {
        if (centre.lastSuccess)
            metrics.sample("edi_centre_last_success_timestamp_seconds", centreLabel(centre.code),
                           double(centre.lastSuccess->toSecsSinceEpoch()));
    }
    // Each family's samples follow its own HELP and TYPE lines, as the text format asks.
    metrics.family("edi_centre_last_end_code", "gauge", "End code of the centre's last completed job (0 is 0000).");
    for (const CentreState& centre : snapshot.centres) {
        if (const HistoryRow* row = lastCompletedJob(centre))
            metrics.sample("edi_centre_last_end_code", centreLabel(centre.code), row->endCode.trimmed().toInt());
    }
    metrics.family("edi_centre_last_duration_seconds", "gauge", "How long the centre's last completed job ran.");
    for (const CentreState& centre : snapshot.centres) {
        if (const HistoryRow* row = lastCompletedJob(centre))
            metrics.sample("edi_centre_last_duration_seconds", centreLabel(centre.code), double(row->started.secsTo(row->ended)));
    }
    metrics.family("edi_centre_jobs_today", "gauge", "Jobs started today, by centre and outcome.");
    std::map<std::pair<QString, QString>, int> counts;
    for (const JobHistory& job : snapshot.todaysJobs)
        ++counts[{job.jobRow().centreCode.trimmed(), outcomeKey(jobOutcome(job))}];
    for (const auto& [key, count] : counts)
        metrics.sample("edi_centre_jobs_today", centreLabel(key.first) + u",outcome=\""_s + key.second + u'"', count);
    metrics.family("edi_workstation_heartbeat_age_seconds", "gauge", "Seconds since the workstation's scheduler last wrote its heartbeat.");
    for (const WorkstationStatus& status : snapshot.workstations) {
        if (status.heartbeat)
            metrics.sample("edi_workstation_heartbeat_age_seconds", machineLabel(status.machineName),
                           double(status.heartbeat->lastTick.secsTo(snapshot.taken)));
    }
    metrics.family("edi_workstation_alive", "gauge", "1 while the workstation's scheduler answers.");
    for (const WorkstationStatus& status : snapshot.workstations)
        metrics.sample("edi_workstation_alive", machineLabel(status.machineName), status.liveness == Liveness::Alive ? 1 : 0);
    return metrics.finish();
}

}  // namespace edi
