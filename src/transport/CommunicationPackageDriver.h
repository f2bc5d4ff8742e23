#pragma once

#include "app/config/Configuration.h"
#include "app/files/FileHelpers.h"
#include "transport/TransferRequests.h"

namespace edi {

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
// the received-files folder as the job's CII file. Done with the request's result code set (the
// package's status, "0000" on success); Error when the driver itself failed, the result code
// then left empty. A success that left the package's file as it was before the run is an Error:
// that file's data was received before.
FileStatus runLinkTransfer(LinkRequest& request, const QString& packageFilePath, const PackageLocations& where);

}  // namespace edi
