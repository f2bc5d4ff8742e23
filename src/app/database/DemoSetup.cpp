#include "app/database/DemoSetup.h"

#include "app/database/Database.h"

using namespace Qt::Literals::StringLiterals;

namespace edi {

void adaptDemoRows(Database& database, const QString& machineName, const QString& demoFolder)
{
    database.execute({u"UPDATE FL1903EDI制御マスタ SET 実行端末名 = ? WHERE 実行端末名 = ?"_s,
                      {machineName, u"@MACHINE@"_s}});
    database.execute({u"UPDATE FL1903EDI制御マスタ SET CVX受信ファイルパス = REPLACE(CVX受信ファイルパス, ?, ?)"_s,
                      {u"@DEMO@"_s, demoFolder}});
}

}  // namespace edi
