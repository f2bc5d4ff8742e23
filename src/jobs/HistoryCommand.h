#pragma once

#include "jobs/HistoryListing.h"

#include <QDate>
#include <QString>
#include <QStringList>

namespace edi {

// The command line of "edi-auto history".
struct HistoryOptions {
    QString configPath;  // --ini
    HistoryFilter filter;  // --date, or --from and --to (default today); --centre; --failed
    HistoryFormat format = HistoryFormat::Table;
    bool help = false;
    QString error;  // a usage error
};
HistoryOptions parseHistoryOptions(const QStringList& arguments, const QDate& today);
QString historyUsage();

// Lists the jobs of the history the options select on standard output: 0, or 1 when none
// matched or the database could not be read, 2 for a usage error.
int runHistoryCommand(const QStringList& arguments, const QString& programFolder, const QDate& today);

}  // namespace edi
