#pragma once

#include "jobs/History.h"
#include "monitor/ScheduleQuery.h"
#include "monitor/WorkstationStatus.h"

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <map>
#include <optional>
#include <vector>

namespace edi {

class Database;

// A centre as the overview shows it.
struct CentreState {
    QString code;
    QString name;
    QString machine;         // 実行端末名
    QString transferMethod;  // 送受信方式
    std::optional<JobHistory> lastJob;
    std::optional<QDateTime> lastSuccess;  // the end of its last job that ended "0000"
    // Listed under [ALERT] NODATA: a reception was due today and nothing came in since.
    bool expectedNotReceived = false;
};

// What every page of the web monitor shows, read from the database at one moment: the pages of
// many readers are made from it without asking the database again.
struct MonitorSnapshot {
    QDateTime taken;
    // Why the database could not be read again since `taken`; empty while it can.
    QString problem;
    std::vector<WorkstationStatus> workstations;
    std::vector<CentreState> centres;                                  // by centre code
    std::map<QString, std::vector<ScheduleMasterRow>> schedules;       // by workstation
    std::vector<JobHistory> todaysJobs;                                // by serial
    std::map<QString, QString> methodNames;  // the code master's name of each transfer method

    const WorkstationStatus* workstation(const QString& machine) const;
};

// Reads the snapshot at `now`; noDataCentres are the centres expected to send every time. Throws
// DatabaseError.
MonitorSnapshot readMonitorSnapshot(Database& database, const QDateTime& now, const QStringList& noDataCentres);

}  // namespace edi
