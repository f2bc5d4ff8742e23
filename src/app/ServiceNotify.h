#pragma once

#include <QString>

namespace edi {

// What the service manager hears from a scheduler it runs as a notify service (sd_notify): ready
// once the timetable runs, stopping when an end was asked for. Nothing happens outside a service.
void notifyServiceReady(const QString& status);
void notifyServiceStopping();

}  // namespace edi
