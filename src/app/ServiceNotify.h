#pragma once

#include <QString>

namespace edi {

// What the service manager hears from a scheduler it runs as a notify service (sd_notify): ready
// once the timetable runs, stopping when an end was asked for. Nothing happens outside a service.
void notifyServiceReady(const QString& status);
void notifyServiceStopping();
// The timer still ticks: the service manager's watchdog restarts a scheduler that stops telling it.
void notifyServiceAlive();
// What the service manager shows as the service's status.
void notifyServiceStatus(const QString& status);

}  // namespace edi
