#pragma once

#include "monitor/WorkstationStatus.h"

#include <QDateTime>
#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <vector>

namespace edi {

// The workstations as "edi-auto status" shows them: a table for people, or JSON for a
// monitoring agent.
QString formatStatusTable(const std::vector<WorkstationStatus>& workstations);
QString formatStatusJson(const std::vector<WorkstationStatus>& workstations);
// One workstation of that JSON; the web monitor's overview gives the same.
QJsonObject workstationStatusJson(const WorkstationStatus& status);

QString statusUsage();

// "edi-auto status [--ini PATH] [--format table|json]": every workstation of the database on
// standard output. 0 when all is well; 1 when a workstation's scheduler does not answer or has
// ended, something waits for an operator, or the database cannot be read; 2 for a usage error.
int runStatusCommand(const QStringList& arguments, const QString& programFolder, const QDateTime& now);

}  // namespace edi
