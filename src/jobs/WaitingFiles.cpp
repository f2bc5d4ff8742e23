#include "jobs/WaitingFiles.h"

#include "app/database/Database.h"
#include "jobs/DuplicateCheck.h"

#include <QDir>
#include <QFileInfo>

using namespace Qt::Literals::StringLiterals;

namespace edi {
namespace {

QStringList matching(const QDir& folder, const QString& pattern)
{
    QStringList paths;
    for (const QString& name : folder.entryList({pattern}, QDir::Files | QDir::Hidden, QDir::Name))
        paths << folder.filePath(name);
    return paths;
}

}  // namespace

QStringList filesWaitingForOperator(Database& database, const QString& machineName, const QString& receivedFolder)
{
    const QDir received(receivedFolder);
    QStringList waiting = matching(received, u"*.UNCONFIRMED*"_s) + matching(received, u'*' + kDuplicateSuffix + u'*');
    for (ResultSet row = database.query({u"SELECT CVX受信ファイルパス FROM FL1903EDI制御マスタ"
                                         u" WHERE 実行端末名 = ? AND 送受信方式 = ?"_s,
                                         {machineName, u"W"_s}});
         !row.atEnd(); row.next()) {
        const QFileInfo handOver(row.value(0).toString().trimmed());
        if (!handOver.fileName().isEmpty())
            waiting << matching(handOver.dir(), handOver.fileName() + u".returned-*"_s);
    }
    return waiting;
}

}  // namespace edi
