#pragma once
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// The private MariaDB server that tests/mariadb.sh starts around the test run.
// It is found through ZOVORDA_MARIADB_SOCKET and ZOVORDA_MARIADB_PORT, or, when
// those are not set, through server.env in the script's state folder
// ($ZOVORDA_MARIADB_DIR, default ${TMPDIR:-/tmp}/zovorda-mariadb).
//
// Construct it before the first MySQL connection of the process: it points the
// client library's defaults (MYSQL_UNIX_PORT, MYSQL_TCP_PORT) at the server, because
// the plug-in connects to "localhost" without a port, as a till does.
class MariaDbServer {
public:
    MariaDbServer();
    // Drops the databases this object created.
    ~MariaDbServer();
    MariaDbServer(const MariaDbServer&) = delete;
    MariaDbServer& operator=(const MariaDbServer&) = delete;

    // False when no server was started for this run: the suites skip then. A server
    // that was announced but does not answer is a failure, not a skip.
    bool isConfigured() const { return !m_sSocket.isEmpty(); }
    bool isReady() const { return m_sError.isEmpty(); }
    QString error() const { return m_sError; }
    QString socket() const { return m_sSocket; }
    int port() const { return m_nPort; }

    // A new empty database (utf8mb4) with a name of its own; empty on failure.
    QString createDatabase(QString& p_sError);
    // Runs the statements as root on the named database.
    bool exec(const QString& p_sDatabase, const QStringList& p_Statements, QString& p_sError);
    // The name of a root connection to the database, for queries of a test's own.
    QString connectionName(const QString& p_sDatabase, QString& p_sError);

    // Registers the installed MariaDB ODBC driver under p_sName in a private
    // odbcinst.ini (ODBCSYSINI), so that "DRIVER={p_sName};SERVER=localhost;…" reaches
    // this server. The ODBC manager reads that file once per process: call this
    // before the process's first ODBC connection.
    bool registerOdbcDriver(const QString& p_sName, QString& p_sError);

private:
    QString m_sSocket;
    int m_nPort = 0;
    QString m_sError;
    QStringList m_Databases;
    QStringList m_Connections;
    QTemporaryDir m_odbcDir;
};

// Splits an SQL file into statements (";" at the end of a line, "--" comment lines
// dropped) and runs them on a connection of the registry.
bool runSqlScript(const QString& p_sConnection, const QString& p_sFile, QString& p_sError);
