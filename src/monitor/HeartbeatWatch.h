#pragma once

#include <QDateTime>
#include <QObject>
#include <QSet>

namespace edi {

class Database;

// Looks at the other workstations' heartbeats (at the scheduler's every new minute): a scheduler that
// stops answering without having ended is told once, and again only after it answered again.
// Those silent at the first look are not told: nobody knows since when.
class HeartbeatWatch : public QObject {
    Q_OBJECT
public:
    HeartbeatWatch(Database& database, QString machineName);

    void look(const QDateTime& now);

Q_SIGNALS:
    void lost(const QString& machineName, const QDateTime& lastTick);

private:
    Database& database_;
    QString machineName_;
    bool looked_ = false;
    QSet<QString> silent_;
};

}  // namespace edi
