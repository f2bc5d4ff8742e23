#pragma once

#include "app/database/ConnectionSettings.h"
#include "web/HttpExchange.h"
#include "web/MonitorSnapshot.h"

#include <QHash>
#include <QObject>
#include <QStringList>
#include <QThread>
#include <functional>
#include <memory>

namespace edi {

class Clock;
class Database;

// The snapshot every reader's page is made from, and the pages already made from it. A snapshot
// older than maxAge is read again on a thread of its own, with its own connection, while readers
// are served the one before: a reader never waits for the database but at the very first page.
// While the database cannot be read, the last snapshot stays, marked with the reason.
class SnapshotCache : public QObject {
    Q_OBJECT
public:
    SnapshotCache(Database& database, const Clock& clock, QStringList noDataCentres, int maxAgeSeconds);
    ~SnapshotCache() override;

    // The snapshot, read on the caller's connection when there is none yet. Throws DatabaseError.
    std::shared_ptr<const MonitorSnapshot> current();
    // The page `key` names, made by `make` from the current snapshot once per snapshot. Throws
    // DatabaseError.
    WebResponse page(const QString& key, const std::function<WebResponse(const MonitorSnapshot&)>& make);

private:
    void refreshInBackground();
    void replace(std::shared_ptr<const MonitorSnapshot> snapshot, const QString& problem);

    Database& database_;
    const Clock& clock_;
    QStringList noDataCentres_;
    int maxAgeSeconds_;
    ConnectionSettings settings_;
    QThread thread_;
    QObject* reader_ = nullptr;  // lives on thread_
    std::unique_ptr<Database> readerDatabase_;  // opened and used on thread_ only
    bool refreshing_ = false;
    std::shared_ptr<const MonitorSnapshot> snapshot_;
    QHash<QString, WebResponse> pages_;
};

}  // namespace edi
