#include "app/locks/ExclusiveLocks.h"

#include "app/database/Database.h"
#include "app/locks/AdvisoryLocks.h"
#include "app/locks/FileLocks.h"

#include <QDir>
#include <QFileInfo>

using namespace Qt::Literals::StringLiterals;

namespace edi {

std::unique_ptr<ExclusiveLocks> ExclusiveLocks::forDatabase(Database& database)
{
    if (database.isPostgreSqlServer())
        return std::make_unique<AdvisoryLocks>(database);
    const ConnectionSettings& settings = database.settings();
    const QString folder = settings.kind == DatabaseKind::Sqlite ? QFileInfo(settings.sqliteFilePath()).absolutePath()
                                                                 : settings.baseFolder;
    return std::make_unique<FileLocks>(QDir(folder).filePath(u"edi-auto-locks"_s));
}

}  // namespace edi
