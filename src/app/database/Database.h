#pragma once

#include "app/database/ConnectionSettings.h"
#include "app/database/ResultSet.h"
#include "app/database/Sql.h"

#include <QSqlDatabase>
#include <QStringList>
#include <memory>
#include <vector>

class QSqlResult;

namespace edi {

class Database;
class DatabaseError;

// A row read for change in place: set columns, then update() writes them to the row, found by
// its key columns' values as read.
class UpdatableResultSet {
public:
    UpdatableResultSet(Database& database, ResultSet&& rows, QString table, QStringList keyColumns);

    bool atEnd() const { return rows_.atEnd(); }
    QVariant value(const QString& column) const { return rows_.value(column); }
    void setValue(const QString& column, const QVariant& value);
    void update();

private:
    Database& database_;
    ResultSet rows_;
    QString table_;
    QStringList keyColumns_;
    std::vector<std::pair<QString, QVariant>> changes_;
};

// A statement prepared once and run for one set of values after another: the rows of a table
// loaded without a round trip to prepare each. Must not outlive the Database that prepared it.
class PreparedStatement {
public:
    PreparedStatement(Database& database, QSqlQuery&& query) : database_(database), query_(std::move(query)) {}
    // Binds the values to the "?" placeholders in order and runs the statement; returns the number
    // of rows it changed. Throws DatabaseError.
    int execute(const QVariantList& values);

private:
    Database& database_;
    QSqlQuery query_;
};

// The one connection of a thread to the system's database, and the helpers through which every
// statement runs. Helpers throw DatabaseError; the steps that call them turn it into their codes.
// A connection belongs to the thread that opened it: a job thread opens its own with openAnother().
class Database {
public:
    // Throws DatabaseError when the connection cannot be opened.
    static std::unique_ptr<Database> open(const ConnectionSettings& settings);
    ~Database();
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    std::unique_ptr<Database> openAnother() const { return open(settings_); }

    // Opens the connection again when it was lost (a database server restarted, a network
    // broke); a job calls it before it starts. Throws DatabaseError when that fails too.
    void reconnectIfLost();
    // Whether a statement found the connection lost; every statement fails until it is opened
    // again, with a DatabaseError that says so in the operator's words.
    bool connectionLost() const;
    const ConnectionSettings& settings() const { return settings_; }
    DatabaseKind kind() const { return settings_.kind; }

    // A read-only query. Sets the no-rows flag.
    ResultSet query(const Sql& sql);
    // A query whose row is changed in place; table and key name the row for the update.
    // Sets the no-rows flag.
    UpdatableResultSet queryForUpdate(const Sql& sql, const QString& table, const QStringList& keyColumns);
    // An INSERT, UPDATE or DDL statement; returns the number of rows it changed.
    int execute(const Sql& sql);
    // A statement with "?" placeholders to be run for many sets of values. Throws DatabaseError.
    PreparedStatement prepare(const QString& text);

    // "9" when the last query opened had no row, "0" when it had rows.
    QChar noRowsFlag() const { return noRowsFlag_; }

    // A clause that ends a query after its first row (" LIMIT 1"), so a look-up of the highest
    // key reads one row by the key's index instead of the whole table; empty where the database
    // has no such clause.
    QString firstRowOnly() const { return firstRowOnly_; }
    // Whether the connection reaches a PostgreSQL server, directly or through ODBC.
    bool isPostgreSqlServer() const { return postgreSqlServer_; }

    // Runs fn inside a transaction, committed when fn returns and rolled back when it throws.
    template <typename Fn>
    void inTransaction(Fn&& fn)
    {
        begin();
        try {
            fn();
        } catch (...) {
            rollback();
            throw;
        }
        commit();
    }

private:
    friend class PreparedStatement;

    explicit Database(const ConnectionSettings& settings);
    void connect();
    // Qt's drivers would warn on standard error for each statement on a closed connection: they
    // are not asked.
    void requireConnection() const;
    // A failed statement's error (the connection's for a null statement); once the connection
    // was lost, in the operator's words.
    DatabaseError failure(const QString& context, const QSqlError& error, const QSqlResult* statement = nullptr);
    QSqlQuery run(const Sql& sql);
    QSqlQuery prepared(const QString& text);
    void begin();
    void commit();
    void rollback();

    ConnectionSettings settings_;
    QString connectionName_;
    QSqlDatabase db_;
    bool lost_ = false;  // a driver that keeps a lost connection open said it was lost
    QChar noRowsFlag_ = u'9';
    QString firstRowOnly_;
    bool postgreSqlServer_ = false;
};

}  // namespace edi
