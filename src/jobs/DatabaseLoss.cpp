#include "jobs/DatabaseLoss.h"

#include "app/database/Database.h"
#include "app/text/TextHelpers.h"

using namespace Qt::Literals::StringLiterals;

namespace edi {

QString databaseLossNote(const Database& database, const QString& centreCode, qint32 serial)
{
    if (!database.connectionLost())
        return {};
    // The rows of a started job stay open; the centre's next job or the program's next start
    // connects again and completes them, settling what the job took from its source.
    if (serial != 0)
        return u"データベースへの接続が切れたため、通番 %1 のジョブを中断しました。センター %2 の次の受信か"
               u"プログラムの次の起動のときに接続し直し、このジョブを完了します"_s.arg(serialText(serial), centreCode);
    return u"データベースへの接続が切れているため、センター %1 を受信しませんでした。次の受信のときに接続し直します"_s.arg(centreCode);
}

}  // namespace edi
