#pragma once

#include <QString>

class QLabel;
class QLineEdit;
class QWidget;

namespace edi {

class Database;

// The code search popup "□□ 検索 □□" (SEARCH_MSTDB): the centres of the partner kind that run on
// the machine; the chosen one's code and name go into the calling dialog's fields. Without any
// centre it shows "検索データが有りません" and does not open.
void showCodeSearch(QWidget* parent, Database& database, const QString& partnerKind, const QString& machineName,
                    QLineEdit& codeField, QLabel& nameField);

}  // namespace edi
