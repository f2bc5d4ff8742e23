#pragma once

#include "app/config/Configuration.h"
#include "app/files/FileHelpers.h"
#include "transport/SourceClaim.h"
#include "transport/TransferRequests.h"

namespace edi {

class JobFiles;

// Where the driver finds the communication package and its files.
struct PackageLocations {
    LinkDriverSettings driver;  // install folder (key-in file, program, working folder), options
    QString dataFolder;         // [PATH] CVXLINK_PATH: status files under STS/, the transfer log
    QString receivedFolder;     // [PATH] EDIINFIL
};

// RunLinkTransfer: one transfer through the external communication package. It writes the
// key-in file (eleven lines) into the install folder, runs the package from there and waits,
// reads the status code of the first status file and the last sequence number from the 88-byte
// records of the transfer log, and after a successful reception copies the package's file into
// the received-files folder as the job's CII file. The receipt's code is the package's status
// ("0000" on success; also set in the request), empty when the driver itself failed; its note
// says why.
//
// A success that left the package's file as it was before the run (the same inode, unchanged,
// with the same bytes) brought nothing new (SourceFinding::NoData, "受信データなし"): that file's
// data was received before. A new file is taken only once it is settled (see unsettledReason,
// with the request's settle seconds) and its copy is compared with it afterwards; a file still
// being written stays where it is (SourceFinding::NotSettled), marked for the next run, which
// takes it even when its package delivers nothing new.
//
// A file the package delivered in a run the driver could not confirm (no status file, no log
// record, a failure status, a time limit) is moved aside: see keepUnconfirmedDelivery.
TransferReceipt runLinkTransfer(LinkRequest& request, const QString& packageFilePath, const PackageLocations& where);

// Moves the package's file into the received-files folder under the job's CII name with
// ".UNCONFIRMED" after it (never replacing a file), so that a later run cannot overwrite data the
// partner sent and nobody confirmed. Returns the line for the operator; empty when there is no
// file.
QString keepUnconfirmedDelivery(const QString& packageFilePath, const JobFiles& files);

}  // namespace edi
