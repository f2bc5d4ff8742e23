#include "app/MachineName.h"

#include <QSysInfo>

namespace edi {

QString systemMachineName()
{
    const QString host = QSysInfo::machineHostName();
    return host.section(u'.', 0, 0);
}

}  // namespace edi
