#pragma once

#include "app/config/Configuration.h"
#include "jobs/History.h"
#include "web/MachineTimetable.h"
#include "web/MonitorSnapshot.h"

#include <QByteArray>
#include <vector>

namespace edi {

// One page of the history: the jobs the filter selects, newest first.
struct HistoryPageView {
    static constexpr int kJobsPerPage = 50;
    HistoryFilter filter;
    int page = 1;
    bool more = false;  // a next page exists
    std::vector<JobHistory> jobs;
};

// The pages in HTML and the same data in JSON (documented in docs/web.md).
QByteArray overviewHtml(const MonitorSnapshot& snapshot);
QByteArray overviewJson(const MonitorSnapshot& snapshot);
QByteArray timetableHtml(const MonitorSnapshot& snapshot, const QString& machine, const std::vector<TimetableLine>& lines);
QByteArray timetableJson(const MonitorSnapshot& snapshot, const QString& machine, const std::vector<TimetableLine>& lines);
QByteArray historyHtml(const HistoryPageView& view);
QByteArray historyJson(const HistoryPageView& view);
QByteArray jobHtml(const JobHistory& job);
QByteArray jobJson(const JobHistory& job);
// The Prometheus text format.
QByteArray metricsText(const MonitorSnapshot& snapshot);
// The one stylesheet, with the window's state colours, and the script that reloads a page.
QByteArray stylesheet(const StatusColours& colours);
QByteArray refreshScript();

}  // namespace edi
