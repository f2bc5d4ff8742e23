#include "app/ServiceNotify.h"

#include <systemd/sd-daemon.h>

using namespace Qt::Literals::StringLiterals;

namespace edi {

void notifyServiceReady(const QString& status)
{
    sd_notify(0, (u"READY=1\nSTATUS="_s + status).toUtf8().constData());
}

void notifyServiceStopping()
{
    sd_notify(0, "STOPPING=1");
}

void notifyServiceAlive()
{
    sd_notify(0, "WATCHDOG=1");
}

void notifyServiceStatus(const QString& status)
{
    sd_notify(0, (u"STATUS="_s + status).toUtf8().constData());
}

}  // namespace edi
