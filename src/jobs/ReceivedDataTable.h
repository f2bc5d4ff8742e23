#pragma once

#include "jobs/DeliveryFingerprints.h"

#include <QDate>
#include <QString>
#include <optional>
#include <vector>

namespace edi {

class Database;

// An earlier job of the centre that received a delivery with one of the fingerprints and
// registered data, or may have: its job row is still open.
struct EarlierDelivery {
    qint32 serial = 0;
    DeliveryFingerprint fingerprint;  // the one it shares
    bool unsettled = false;           // its job row is open: its process ended before completing it
};

// The fingerprints of what each job received, per centre, in EDI受信データ照合: the table is made
// at the first use where the database lacks it. Throws DatabaseError.
class ReceivedDataTable {
public:
    explicit ReceivedDataTable(Database& database) : database_(database) {}

    // The earliest job of the centre other than `serial` that received a delivery with one of
    // the fingerprints and has a registration row ("41") that ended "0000" on `since` or later,
    // or whose job row is open. Only data that was registered makes a delivery a duplicate; but
    // a job whose process ended in its registration (another workstation's, which only that one
    // completes) may have registered it, and its rows do not tell yet.
    std::optional<EarlierDelivery> earlierDelivery(const QString& centreCode, qint32 serial,
                                                   const std::vector<DeliveryFingerprint>& fingerprints,
                                                   const QDate& since);
    // Keeps the job's fingerprints, received on `today`, and forgets the centre's fingerprints
    // received before `forgetBefore`.
    void record(const QString& centreCode, qint32 serial, const std::vector<DeliveryFingerprint>& fingerprints,
                const QDate& today, const QDate& forgetBefore);

private:
    bool tableExists();
    void makeTable();

    Database& database_;
    bool tableSeen_ = false;
};

}  // namespace edi
