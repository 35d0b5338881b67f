#pragma once
#include "db/DbSettings.h"
#include "db/DbType.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QHash>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>

#include <optional>

// The till's local database: one named connection of the type config.ini names
// (SQLITE, MYSQL, SQLSERVER, ORACLE, ACCESS), made at the first open and kept open
// for later calls. Settings are read when the object is built, so a changed
// config.ini counts from the next load of the library. Every failure comes back as
// false plus a text; nothing is thrown.
//
// Keyed recordsets, stored procedures and record writing are companions built on
// this object (KeyedRecordsets, StoredProcedures, RecordStatements).
class PosDB {
    Q_DECLARE_TR_FUNCTIONS(PosDB)
public:
    PosDB();
    ~PosDB();
    PosDB(const PosDB&) = delete;
    PosDB& operator=(const PosDB&) = delete;

    // Makes sure the configured database is open; opens it when it is closed.
    bool openDB(QString& error);
    bool isOpen() const;
    void close();

    // Runs one SELECT and hands the query back before its first row (also on failure).
    bool openRecordset(const QString& sql, QSqlQuery& query, QString& error);
    // The same for a SELECT with one value: statement has a "?" where the value goes, sql
    // is the statement with the value written in its literal, which error texts name. On
    // SQLite the statement is prepared at its first use and kept while the connection
    // stays open (the same rows, the same error texts); the other databases run sql.
    bool openRecordset(const QString& sql, const QString& statement, const QString& value, QSqlQuery& query,
                       QString& error);
    bool execute(const QString& sql, QString& error);

    // False when the connection is closed or the driver knows no transactions.
    bool beginTransaction();
    bool commit();
    bool rollback();

    // The database server's clock; the till's own when the server cannot tell.
    QDateTime serverDateTime();

    // A text value made safe to stand between the quotes of a literal in this
    // connection's dialect: quotes doubled everywhere, and backslashes doubled for
    // MySQL/MariaDB, which read them as escapes. An ordinary value comes back unchanged.
    QString quoteText(const QString& text) const;

    QString connectionName() const { return m_connectionName; }
    // The type in upper case once the connection is made, else empty.
    QString typeName() const { return m_typeName; }
    std::optional<DbType> type() const { return m_type; }
    // Whether the last openDB failed to open.
    bool openFailed() const { return m_openFailed; }

    // For the companions: the connection (invalid until made), and the start of an
    // operation's error text "函数:<function>||执行:<what>||", false with
    // " DataBase is not opened!" appended when the connection is not open.
    QSqlDatabase database() const { return m_db; }
    bool startOperation(const QString& function, const QString& what, QString& error) const;
    // The same for a recordset, which first needs a connection at all.
    bool startRecordset(const QString& sql, QString& error) const;

private:
    bool createConnection(QString& error);
    bool openByType(QString& error);
    bool transactionStep(bool (QSqlDatabase::*step)());

    DbSettings m_settings;
    QSqlDatabase m_db;
    QString m_connectionName;
    QString m_typeName;
    std::optional<DbType> m_type;
    bool m_openFailed = false;
    QHash<QString, QSqlQuery> m_prepared; // by statement, SQLite only
};
