#pragma once

#include <QString>
#include <QVariantList>

namespace edi {

// A statement and the values bound to its "?" placeholders, in order. Values never go into
// the text: a quote in a centre code stays a quote in the data.
struct Sql {
    QString text;
    QVariantList values;
};

}  // namespace edi
