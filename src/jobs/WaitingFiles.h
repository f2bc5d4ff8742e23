#pragma once

#include <QString>
#include <QStringList>

namespace edi {

class Database;

// The files in a workstation's folders that wait for an operator, as full paths: package
// deliveries kept aside as unconfirmed (".UNCONFIRMED" in the received-files folder), deliveries
// kept aside as duplicates (".DUPLICATE" there) and hand-over files given back beside a newer one ("NAME.returned-SERIAL" beside the hand-over path of the
// workstation's centres). Throws DatabaseError.
QStringList filesWaitingForOperator(Database& database, const QString& machineName, const QString& receivedFolder);

}  // namespace edi
