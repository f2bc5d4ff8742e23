#pragma once

#include "transport/TransferRequests.h"

namespace edi {

// RunHandOver: takes over a file that was put at the centre's fixed path: it is moved into the
// received-files folder as the job's received CII or XML file (by the data format, full-width
// letters too). Sets and returns the request's result code: "9999" for a missing file, a data
// format or direction it does not know, or a file error; the file then stays where it was.
QString runHandOver(HandOverRequest& request, const QString& receivedFolder);

}  // namespace edi
