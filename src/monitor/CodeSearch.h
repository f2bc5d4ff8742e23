#pragma once

#include <QString>
#include <vector>

namespace edi {

class Database;

// One centre as the code search lists it.
struct CodeSearchRow {
    QString centreCode;
    QString centreName;
    QString partnerKind;     // the code master's name of 相手先種別
    QString transferMethod;  // the code master's name of 送受信方式, empty when it has none
    QString receiveFilePath;
    QString machineName;
};

// The centres of a partner kind that run on a machine, with the display names of their partner
// kind and transfer method. Throws DatabaseError.
std::vector<CodeSearchRow> searchCentres(Database& database, const QString& partnerKind, const QString& machineName);

}  // namespace edi
