#pragma once

namespace edi {

// Qt's ODBC driver writes every statement that fails to standard error, in English and outside
// the log's format; the failure reaches the caller as a DatabaseError with the driver's text all
// the same, and the caller reports it in its own words. From the first call on, those warnings
// are left out; every other message of Qt goes where it went before.
void leaveStatementFailuresToTheirCallers();

}  // namespace edi
