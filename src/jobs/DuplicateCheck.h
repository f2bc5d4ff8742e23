#pragma once

#include <QString>
#include <QStringList>

namespace edi {

class JobContext;
class JobObserver;

// What a job does with data equal to a delivery registered before.
enum class Duplicates {
    KeepAside,  // a reception or a re-run: the data is not registered again
    Register,   // a forced re-run: the operator asked for it
};

// The suffix of a received file kept aside as a duplicate (with "-2", "-3" ... when taken).
inline const QString kDuplicateSuffix = QStringLiteral(".DUPLICATE");

// CheckDuplicateDelivery, between the transfer and the conversion: the job's received files are
// fingerprinted (see DeliveryFingerprints) and the fingerprints kept for the centre. A delivery
// that shares one with a delivery registered within [動作環境] DUPDAYS days is kept aside (its
// files moved to NAME.DUPLICATE in the received-files folder) and the step ends "8004", the job
// row naming the serial it repeats; with Duplicates::Register the job goes on, and its row says
// so. "0000" when the delivery is new, when the check is off (DUPDAYS=0) or when there is no
// received file (the conversion tells); "9999" when the files or the database cannot be read.
QString checkDuplicateDelivery(JobContext& job, const QString& centreCode, qint32 serial, Duplicates duplicates,
                               JobObserver& observer);

// A file name without the suffix of a kept-aside duplicate.
QString withoutDuplicateSuffix(const QString& name);

// After a forced re-run registered them, the kept-aside files among `files` take their own names
// again, so they no longer wait for an operator. Returns a line for each that did.
QStringList restoreKeptAsideNames(const QStringList& files);

}  // namespace edi
