#pragma once

#include <QString>

namespace edi {

// What a history row's codes mean in words, as the operator reads them in the history listing,
// its dialog, the log and a line's tool tip: one table for all of them. The row's processing kind
// decides what a code means ("0007" on a conversion row is the converter's code), and a detail
// code is read in the light of its end code ("4100" with "0002": no status file). Empty for a
// code the system does not write.
QString codeMeaning(const QString& processingKind, const QString& endCode, const QString& detailCode = {});

}  // namespace edi
