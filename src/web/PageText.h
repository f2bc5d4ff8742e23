#pragma once

#include "jobs/History.h"

#include <QDateTime>
#include <QJsonObject>
#include <QString>

namespace edi {

// Texts the pages and the API share.
QString momentText(const QDateTime& moment);                    // "2026/12/09 10:25:00", empty when invalid
QString jsonMoment(const QDateTime& moment);                     // "2026-12-09 10:25:00" as the history's JSON, empty when invalid
QString jobLink(qint32 serial);                                 // "/job/SERIAL"
QString timetableLink(const QString& machine);                  // "/timetable?machine=NAME", NAME encoded
QJsonObject jobSummaryJson(const JobHistory& job);              // serial, centre, times, codes, outcome, records

class HtmlPage;
struct MonitorSnapshot;
// When the snapshot was read, and why it is not newer when the database cannot be read.
void takenAt(HtmlPage& page, const MonitorSnapshot& snapshot);

}  // namespace edi
