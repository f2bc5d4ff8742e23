#include "app/database/SqlScript.h"

#include "app/database/Database.h"
#include "app/database/DatabaseError.h"

#include <QFile>

using namespace Qt::Literals::StringLiterals;

namespace edi {

QStringList splitSqlScript(const QString& script)
{
    QStringList statements;
    QString current;
    for (const QString& line : script.split(u'\n')) {
        const QString trimmed = line.trimmed();
        if (trimmed.isEmpty() || trimmed.startsWith(u"--"_s))
            continue;
        current += line + u'\n';
        if (trimmed.endsWith(u';')) {
            current = current.trimmed();
            current.chop(1);
            statements << current;
            current.clear();
        }
    }
    if (!current.trimmed().isEmpty())
        statements << current.trimmed();
    return statements;
}

void runSqlScript(Database& database, const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw DatabaseError(u"Cannot read "_s + path);
    const QStringList statements = splitSqlScript(QString::fromUtf8(file.readAll()));
    database.inTransaction([&] {
        for (const QString& statement : statements)
            database.execute({statement, {}});
    });
}

}  // namespace edi
