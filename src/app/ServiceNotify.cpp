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

}  // namespace edi
