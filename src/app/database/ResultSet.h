#pragma once

#include <QSqlQuery>
#include <QSqlRecord>
#include <QString>
#include <QVariant>

namespace edi {

// The rows of a query, read forward. It stands on the first row when opened; atEnd() is true
// at once for an empty result. Must not outlive the Database that opened it.
class ResultSet {
public:
    explicit ResultSet(QSqlQuery&& query);
    ResultSet(ResultSet&&) = default;
    ResultSet& operator=(ResultSet&&) = default;

    bool atEnd() const { return atEnd_; }
    void next();
    // Ends the reading before the last row: the database lets go of what the query held, which
    // SQLite needs before the same connection writes while another process waits to.
    void close();

    // A column of the current row; column names compare without regard to case. Throws
    // DatabaseError for a column the result does not have or when there is no current row.
    QVariant value(const QString& column) const;
    QVariant value(int index) const;
    const QSqlRecord& record() const { return record_; }

private:
    QSqlQuery query_;
    QSqlRecord record_;  // the columns, read once
    bool atEnd_ = true;
};

}  // namespace edi
