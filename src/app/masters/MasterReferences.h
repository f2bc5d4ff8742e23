#pragma once

#include "app/masters/MasterErrors.h"
#include "app/masters/MasterFile.h"

#include <vector>

namespace edi {

class Database;

// Adds an error for every row that names a master row there is none of: a schedule or
// partner-company row whose centre the control master lacks, a record-format row whose
// information class and BPID the format master lacks. The referred master is the one of the
// files when the import has its file (its records with errors too; an unreadable file checks
// nothing), otherwise the one in the database (tablesWithoutFile). Throws DatabaseError.
void checkMasterReferences(const std::vector<MasterFile>& files, const QStringList& tablesWithoutFile,
                           Database& database, MasterErrors& errors);

}  // namespace edi
