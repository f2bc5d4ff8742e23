#include "app/MachineName.h"

#include <QSysInfo>

namespace edi {

QString systemMachineName()
{
    const QString named = qEnvironmentVariable("EDI_MACHINE_NAME").trimmed();
    if (!named.isEmpty())
        return named;
    const QString host = QSysInfo::machineHostName();
    return host.section(u'.', 0, 0);
}

}  // namespace edi
