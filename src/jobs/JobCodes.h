#pragma once

#include <QString>

// The codes a job and its steps write to the history besides "0000" and "9999" (ResultCode), the
// transfers' (TransferCode) and the converters' (ConversionCode).
namespace edi::JobCode {

// The control master has a row for the centre, but no receive file path where its transfer
// method needs one (transfer row).
inline const QString noReceivePath = QStringLiteral("6101");
// The control master has no row for the centre, or it could not be read (transfer row).
inline const QString noControlRow = QStringLiteral("7002");
// The registration program did not run to its end (detail programNotRun: it could not be
// started, failed or ran out of time; detail noStatusFile: it left no status file) (job row).
inline const QString registrationFailed = QStringLiteral("4100");
// The centre has no partner company to register for (job row, detail programNotRun).
inline const QString noPartnerCompany = QStringLiteral("7300");
// Another process is receiving the centre: the job touched nothing (job and transfer rows).
inline const QString centreBusy = QStringLiteral("8001");
// The job's process ended (killed, crashed, its database gone) before the row was completed; a
// later start completed it (every row of the job still open).
inline const QString interrupted = QStringLiteral("8002");
// The job received data equal to a delivery of the centre registered within [動作環境] DUPDAYS
// days: it was not registered again, and its received files were kept aside as ".DUPLICATE" (job
// row; the transfer row ends "0000": the data was taken from its source).
inline const QString duplicate = QStringLiteral("8004");

// Detail codes.
inline const QString programNotRun = QStringLiteral("0001");
inline const QString noStatusFile = QStringLiteral("0002");
// The reception found nothing to receive: no conversion or registration ran (detail code of the
// job and transfer rows, which end "0000").
inline const QString noData = QStringLiteral("0100");
// The reception found a file still being written, or one that changed while it was taken, and left
// it for the next reception (detail code of the job and transfer rows, which end "0000").
inline const QString notSettled = QStringLiteral("0101");
// The job's received files could not be copied to the backup folder (detail code of the job row
// of a job that otherwise succeeded).
inline const QString backupFailed = QStringLiteral("8003");

// The detail codes a row that ended "0000" may have, each saying more than "正常終了".
inline const QString successDetails[] = {backupFailed, noData, notSettled};

// Whether a transfer row's detail code says that it brought no data.
inline bool receivedNothing(const QString& detailCode)
{
    return detailCode == noData || detailCode == notSettled;
}

// Every end code above.
inline const QString endCodes[] = {noReceivePath, noControlRow, registrationFailed, noPartnerCompany,
                                   centreBusy, interrupted, duplicate};

}  // namespace edi::JobCode
