#pragma once

#include "QtPrinters.h"

#include <QByteArray>
#include <QString>

namespace edi::test {

// A file of the source tree (db/schema.sql) or of the build tree (src/edi-auto).
QString sourcePath(const QString& relative);
QString buildPath(const QString& relative);

void writeFile(const QString& path, const QByteArray& bytes);
QByteArray readFile(const QString& path);

}  // namespace edi::test
