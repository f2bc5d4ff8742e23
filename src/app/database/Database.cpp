#include "app/database/Database.h"

#include "app/database/DatabaseError.h"
#include "app/database/DriverWarnings.h"

#include <QFileInfo>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlResult>
#include <atomic>
#include <sql.h>
#include <sqlext.h>

using namespace Qt::Literals::StringLiterals;

namespace edi {
namespace {

constexpr int kLoginTimeoutSeconds = 120;

// What every statement on a lost connection fails with: operators read it in notes and logs.
const QString kConnectionLost = u"データベースへの接続が切れています"_s;

QString uniqueConnectionName(const QString& environmentName)
{
    static std::atomic<int> counter{0};
    return u"EDI-%1-%2"_s.arg(environmentName).arg(++counter);
}

void configureOdbc(QSqlDatabase& db, const ConnectionSettings& settings)
{
    // The driver builds "DSN=" + name + ";UID=" + user + ";PWD=" + password itself (it would
    // prefix a whole connection string with a second "DSN="); that is the connection string.
    db.setDatabaseName(settings.dataSource);
    db.setConnectOptions(u"SQL_ATTR_LOGIN_TIMEOUT=%1"_s.arg(kLoginTimeoutSeconds));
}

void configureSqlite(QSqlDatabase& db, const ConnectionSettings& settings)
{
    const QString path = settings.sqliteFilePath();
    // Qt would create an empty database for a missing file; a wrong DBSTRING must fail instead.
    if (!settings.createIfMissing && !QFileInfo(path).isFile())
        throw DatabaseError(u"The database file does not exist: "_s + path);
    db.setDatabaseName(path);
    db.setConnectOptions(u"QSQLITE_BUSY_TIMEOUT=%1"_s.arg(qint64(settings.queryTimeoutSeconds) * 1000));
}

void configurePostgreSql(QSqlDatabase& db, const ConnectionSettings& settings)
{
    db.setUserName(settings.user);
    db.setPassword(settings.password);
    // The driver appends its connect options to the libpq connection string it builds.
    db.setConnectOptions(settings.dataSource
                         + u" connect_timeout=%1 options='-c statement_timeout=%2 -c client_min_messages=warning'"_s
                               .arg(kLoginTimeoutSeconds)
                               .arg(qint64(settings.queryTimeoutSeconds) * 1000));
}

QString qtDriverName(DatabaseKind kind)
{
    switch (kind) {
    case DatabaseKind::Odbc: return u"QODBC"_s;
    case DatabaseKind::Sqlite: return u"QSQLITE"_s;
    case DatabaseKind::PostgreSql: return u"QPSQL"_s;
    case DatabaseKind::Unknown: break;
    }
    throw DatabaseError(u"Unknown database driver"_s);
}

// The ODBC handle behind a driver's or a result's handle(); null when it holds none. Qt hands it
// over as the SQLHANDLE type, which is a void pointer.
SQLHANDLE odbcHandle(const QVariant& handle)
{
    if (!handle.isValid() || handle.metaType() != QMetaType::fromType<SQLHANDLE>())
        return nullptr;
    return *static_cast<const SQLHANDLE*>(handle.constData());
}

// The database behind an ODBC data source, by the driver's own name for it.
QString odbcDatabaseName(const QSqlDatabase& db)
{
    SQLHANDLE connection = odbcHandle(db.driver()->handle());
    if (!connection)
        return {};
    SQLCHAR name[128] = {};
    SQLSMALLINT length = 0;
    if (!SQL_SUCCEEDED(SQLGetInfo(connection, SQL_DBMS_NAME, name, sizeof name, &length)))
        return {};
    return QString::fromLatin1(reinterpret_cast<const char*>(name));
}

// The server behind the connection, as far as it can be told: "PostgreSQL", "SQLite", or the
// name an ODBC driver gives its database.
QString serverName(DatabaseKind kind, const QSqlDatabase& db)
{
    switch (kind) {
    case DatabaseKind::Sqlite: return u"SQLite"_s;
    case DatabaseKind::PostgreSql: return u"PostgreSQL"_s;
    default: return odbcDatabaseName(db);
    }
}

QString firstRowClause(const QString& server)
{
    const bool hasLimit = server.contains(u"PostgreSQL"_s, Qt::CaseInsensitive) || server.contains(u"SQLite"_s, Qt::CaseInsensitive)
                       || server.contains(u"MySQL"_s, Qt::CaseInsensitive) || server.contains(u"MariaDB"_s, Qt::CaseInsensitive);
    return hasLimit ? u" LIMIT 1"_s : QString();
}

// Whether a failure lost an ODBC connection, which stays "open" for Qt: the driver calls the
// connection dead, or the call that failed last on the handle reports a connection exception
// (SQLSTATE class "08"). The PostgreSQL driver sets one or the other, by where the loss was met.
bool odbcConnectionLost(SQLHANDLE connection, SQLSMALLINT handleType, SQLHANDLE failed)
{
    SQLUINTEGER dead = SQL_CD_FALSE;
    if (connection && SQL_SUCCEEDED(SQLGetConnectAttr(connection, SQL_ATTR_CONNECTION_DEAD, &dead, 0, nullptr))
        && dead == SQL_CD_TRUE)
        return true;
    SQLCHAR state[6] = {};
    SQLINTEGER nativeError = 0;
    SQLCHAR message[1];
    SQLSMALLINT length = 0;
    return failed && SQL_SUCCEEDED(SQLGetDiagRec(handleType, failed, 1, state, &nativeError, message, sizeof message, &length))
        && state[0] == '0' && state[1] == '8';
}

// ODBC has no connection-wide query time-out; each statement gets its own.
void setOdbcQueryTimeout(QSqlQuery& query, int seconds)
{
    if (SQLHANDLE statement = odbcHandle(query.result()->handle()))
        SQLSetStmtAttr(statement, SQL_ATTR_QUERY_TIMEOUT, reinterpret_cast<SQLPOINTER>(SQLULEN(seconds)), 0);
}

}  // namespace

Database::Database(const ConnectionSettings& settings)
    : settings_(settings)
    , connectionName_(uniqueConnectionName(settings.environmentName))
{
}

std::unique_ptr<Database> Database::open(const ConnectionSettings& settings)
{
    leaveStatementFailuresToTheirCallers();
    std::unique_ptr<Database> database(new Database(settings));
    database->db_ = QSqlDatabase::addDatabase(qtDriverName(settings.kind), database->connectionName_);
    if (!database->db_.isValid())
        throw DatabaseError(u"The database driver is not installed"_s, database->db_.lastError());
    database->connect();
    return database;
}

void Database::connect()
{
    switch (settings_.kind) {
    case DatabaseKind::Odbc: configureOdbc(db_, settings_); break;
    case DatabaseKind::Sqlite: configureSqlite(db_, settings_); break;
    case DatabaseKind::PostgreSql: configurePostgreSql(db_, settings_); break;
    case DatabaseKind::Unknown: break;
    }
    if (!db_.open(settings_.user, settings_.password))
        throw DatabaseError(u"Opening the database"_s, db_.lastError());
    lost_ = false;
    const QString server = serverName(settings_.kind, db_);
    firstRowOnly_ = firstRowClause(server);
    postgreSqlServer_ = server.contains(u"PostgreSQL"_s, Qt::CaseInsensitive);
}

void Database::reconnectIfLost()
{
    QSqlQuery probe(db_);
    if (!connectionLost() && probe.exec(u"SELECT 1"_s))
        return;
    db_.close();
    connect();
}

bool Database::connectionLost() const
{
    return lost_ || !db_.isOpen();
}

void Database::requireConnection() const
{
    if (connectionLost())
        throw DatabaseError(kConnectionLost);
}

DatabaseError Database::failure(const QString& context, const QSqlError& error, const QSqlResult* statement)
{
    if (settings_.kind == DatabaseKind::Odbc) {
        SQLHANDLE connection = odbcHandle(db_.driver()->handle());
        lost_ = statement ? odbcConnectionLost(connection, SQL_HANDLE_STMT, odbcHandle(statement->handle()))
                          : odbcConnectionLost(connection, SQL_HANDLE_DBC, connection);
    }
    if (!connectionLost())
        return DatabaseError(context, error);
    const QString detail = error.text().trimmed();
    return DatabaseError(detail.isEmpty() ? kConnectionLost : kConnectionLost + u" ("_s + detail + u')');
}

Database::~Database()
{
    db_.close();
    db_ = QSqlDatabase();
    QSqlDatabase::removeDatabase(connectionName_);
}

QSqlQuery Database::run(const Sql& sql)
{
    // PostgreSQL cannot prepare DDL; a statement without values runs as it is.
    if (sql.values.isEmpty() && settings_.kind == DatabaseKind::PostgreSql) {
        requireConnection();
        QSqlQuery query(db_);
        query.setForwardOnly(true);
        if (!query.exec(sql.text))
            throw failure(u"Running "_s + sql.text, query.lastError(), query.result());
        return query;
    }
    QSqlQuery query = prepared(sql.text);
    for (const QVariant& value : sql.values)
        query.addBindValue(value);
    if (!query.exec())
        throw failure(u"Running "_s + sql.text, query.lastError(), query.result());
    return query;
}

QSqlQuery Database::prepared(const QString& text)
{
    requireConnection();
    QSqlQuery query(db_);
    query.setForwardOnly(true);
    if (!query.prepare(text))
        throw failure(u"Preparing "_s + text, query.lastError(), query.result());
    if (settings_.kind == DatabaseKind::Odbc)
        setOdbcQueryTimeout(query, settings_.queryTimeoutSeconds);
    return query;
}

PreparedStatement Database::prepare(const QString& text)
{
    return PreparedStatement(*this, prepared(text));
}

int PreparedStatement::execute(const QVariantList& values)
{
    for (qsizetype i = 0; i < values.size(); ++i)
        query_.bindValue(int(i), values[i]);
    if (!query_.exec())
        throw database_.failure(u"Running "_s + query_.lastQuery(), query_.lastError(), query_.result());
    return query_.numRowsAffected();
}

ResultSet Database::query(const Sql& sql)
{
    noRowsFlag_ = u'9';
    ResultSet rows(run(sql));
    noRowsFlag_ = rows.atEnd() ? u'9' : u'0';
    return rows;
}

UpdatableResultSet Database::queryForUpdate(const Sql& sql, const QString& table, const QStringList& keyColumns)
{
    return UpdatableResultSet(*this, query(sql), table, keyColumns);
}

int Database::execute(const Sql& sql)
{
    return run(sql).numRowsAffected();
}

void Database::begin()
{
    requireConnection();
    if (!db_.transaction())
        throw failure(u"Starting a transaction"_s, db_.lastError());
}

void Database::commit()
{
    requireConnection();
    if (!db_.commit())
        throw failure(u"Committing"_s, db_.lastError());
}

void Database::rollback()
{
    if (!connectionLost())
        db_.rollback();
}

UpdatableResultSet::UpdatableResultSet(Database& database, ResultSet&& rows, QString table, QStringList keyColumns)
    : database_(database)
    , rows_(std::move(rows))
    , table_(std::move(table))
    , keyColumns_(std::move(keyColumns))
{
}

void UpdatableResultSet::setValue(const QString& column, const QVariant& value)
{
    changes_.emplace_back(column, value);
}

void UpdatableResultSet::update()
{
    if (changes_.empty())
        return;
    Sql sql{u"UPDATE "_s + table_ + u" SET "_s, {}};
    QStringList assignments;
    for (const auto& [column, value] : changes_) {
        assignments << column + u" = ?"_s;
        sql.values << value;
    }
    QStringList conditions;
    for (const QString& key : keyColumns_) {
        conditions << key + u" = ?"_s;
        sql.values << rows_.value(key);
    }
    sql.text += assignments.join(u", "_s) + u" WHERE "_s + conditions.join(u" AND "_s);
    // A connection that still reads while it writes could only be refused at once by SQLite, were
    // another process waiting to write: the reading ends first.
    rows_.close();
    database_.execute(sql);
    changes_.clear();
}

}  // namespace edi
