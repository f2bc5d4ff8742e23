#pragma once

#include <QString>

namespace edi {

class Database;

// Makes the rows of the demo data belong to a machine and a demo folder: the demo scripts name
// the executing workstation "@MACHINE@" and start their file paths with "@DEMO@".
void adaptDemoRows(Database& database, const QString& machineName, const QString& demoFolder);

}  // namespace edi
