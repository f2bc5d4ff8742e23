#pragma once

#include <QString>
#include <QStringList>

namespace edi {

// "edi-auto web": the monitor's pages for browsers, read from the database, until it is stopped
// (SIGTERM, SIGINT). With --add-user NAME it writes a reader's password hash to the user file and
// ends. Exit status 0, 1 when it cannot start (configuration, database, address, TLS), 2 for a
// usage error.
int runWebCommand(const QStringList& arguments, const QString& programFolder);
QString webUsage();

}  // namespace edi
