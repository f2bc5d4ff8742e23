#include "web/SnapshotCache.h"

#include "app/Clock.h"
#include "app/database/Database.h"
#include "app/database/DatabaseError.h"

using namespace Qt::Literals::StringLiterals;

namespace edi {

SnapshotCache::SnapshotCache(Database& database, const Clock& clock, QStringList noDataCentres, int maxAgeSeconds)
    : database_(database), clock_(clock), noDataCentres_(std::move(noDataCentres)), maxAgeSeconds_(maxAgeSeconds),
      settings_(database.settings())
{
    reader_ = new QObject;
    reader_->moveToThread(&thread_);
    connect(&thread_, &QThread::finished, reader_, &QObject::deleteLater);
    thread_.setObjectName(u"snapshot"_s);
    thread_.start();
}

SnapshotCache::~SnapshotCache()
{
    // The reader's connection is closed on its own thread before the thread ends.
    QMetaObject::invokeMethod(reader_, [this] { readerDatabase_.reset(); }, Qt::BlockingQueuedConnection);
    thread_.quit();
    thread_.wait();
}

std::shared_ptr<const MonitorSnapshot> SnapshotCache::current()
{
    if (!snapshot_) {
        replace(std::make_shared<const MonitorSnapshot>(readMonitorSnapshot(database_, clock_.now(), noDataCentres_)), {});
    } else if (snapshot_->taken.secsTo(clock_.now()) >= maxAgeSeconds_ || snapshot_->taken > clock_.now()) {
        refreshInBackground();
    }
    return snapshot_;
}

WebResponse SnapshotCache::page(const QString& key, const std::function<WebResponse(const MonitorSnapshot&)>& make)
{
    const std::shared_ptr<const MonitorSnapshot> snapshot = current();
    if (const auto made = pages_.constFind(key); made != pages_.constEnd())
        return *made;
    WebResponse response = make(*snapshot);
    pages_.insert(key, response);
    return response;
}

void SnapshotCache::refreshInBackground()
{
    if (refreshing_)
        return;
    refreshing_ = true;
    const QDateTime now = clock_.now();
    QMetaObject::invokeMethod(reader_, [this, now] {
        std::shared_ptr<const MonitorSnapshot> snapshot;
        QString problem;
        try {
            if (!readerDatabase_)
                readerDatabase_ = Database::open(settings_);
            readerDatabase_->reconnectIfLost();
            snapshot = std::make_shared<const MonitorSnapshot>(readMonitorSnapshot(*readerDatabase_, now, noDataCentres_));
        } catch (const DatabaseError& error) {
            problem = error.message();
        }
        QMetaObject::invokeMethod(this, [this, snapshot, problem] { replace(snapshot, problem); });
    });
}

void SnapshotCache::replace(std::shared_ptr<const MonitorSnapshot> snapshot, const QString& problem)
{
    refreshing_ = false;
    if (!snapshot) {
        // The pages go on showing what was read last, and say since when and why.
        if (problem.isEmpty() || !snapshot_ || snapshot_->problem == problem)
            return;
        auto stale = std::make_shared<MonitorSnapshot>(*snapshot_);
        stale->problem = problem;
        snapshot = std::move(stale);
    }
    snapshot_ = std::move(snapshot);
    pages_.clear();
}

}  // namespace edi
