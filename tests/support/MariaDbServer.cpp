#include "support/MariaDbServer.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSettings>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTextStream>

namespace {

const QString kAdmin = QStringLiteral("MariaDbServer_admin");

QString envFileValue(const QString& p_sFile, const QString& p_sKey) {
    QFile file(p_sFile);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return QString();
    while (!file.atEnd()) {
        const QString line = QString::fromUtf8(file.readLine()).trimmed();
        if (line.startsWith(p_sKey + QLatin1Char('=')))
            return line.mid(p_sKey.size() + 1);
    }
    return QString();
}

bool openRootConnection(const QString& p_sName, const QString& p_sSocket, const QString& p_sDatabase,
                        QString& p_sError) {
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QMYSQL"), p_sName);
    db.setHostName(QStringLiteral("localhost"));
    db.setUserName(QStringLiteral("root"));
    db.setDatabaseName(p_sDatabase);
    db.setConnectOptions(QStringLiteral("UNIX_SOCKET=") + p_sSocket);
    if (db.open())
        return true;
    p_sError = QStringLiteral("MariaDB at %1 does not answer: %2").arg(p_sSocket, db.lastError().text());
    return false;
}

} // namespace

MariaDbServer::MariaDbServer() {
    m_sSocket = qEnvironmentVariable("ZOVORDA_MARIADB_SOCKET");
    QString port = qEnvironmentVariable("ZOVORDA_MARIADB_PORT");
    if (m_sSocket.isEmpty()) {
        const QString dir =
            qEnvironmentVariable("ZOVORDA_MARIADB_DIR", QDir::tempPath() + "/zovorda-mariadb");
        m_sSocket = envFileValue(dir + "/server.env", QStringLiteral("ZOVORDA_MARIADB_SOCKET"));
        port = envFileValue(dir + "/server.env", QStringLiteral("ZOVORDA_MARIADB_PORT"));
    }
    m_nPort = port.toInt();
    if (m_sSocket.isEmpty()) {
        m_sError = QStringLiteral("no MariaDB server for this run (start one with tests/mariadb.sh start)");
        return;
    }
    // The client library reads these once, when the first MySQL connection is made.
    qputenv("MYSQL_UNIX_PORT", m_sSocket.toLocal8Bit());
    qputenv("MYSQL_TCP_PORT", QByteArray::number(m_nPort));
    if (openRootConnection(kAdmin, m_sSocket, QString(), m_sError))
        m_Connections << kAdmin;
}

MariaDbServer::~MariaDbServer() {
    for (const QString& name : qAsConst(m_Connections)) {
        if (name != kAdmin)
            QSqlDatabase::removeDatabase(name);
    }
    if (m_Connections.contains(kAdmin)) {
        {
            QSqlQuery drop(QSqlDatabase::database(kAdmin, false));
            for (const QString& database : qAsConst(m_Databases))
                drop.exec(QStringLiteral("DROP DATABASE IF EXISTS `%1`").arg(database));
        }
        QSqlDatabase::removeDatabase(kAdmin);
    }
}

QString MariaDbServer::createDatabase(QString& p_sError) {
    if (!isReady()) {
        p_sError = m_sError;
        return QString();
    }
    static int counter = 0;
    // Suites may run side by side against the one server: the process id keeps them apart.
    const QString name =
        QStringLiteral("zovorda_%1_%2").arg(QCoreApplication::applicationPid()).arg(++counter);
    QSqlQuery create(QSqlDatabase::database(kAdmin, false));
    if (!create.exec(QStringLiteral("CREATE DATABASE `%1` CHARACTER SET utf8mb4").arg(name))) {
        p_sError = create.lastError().text();
        return QString();
    }
    m_Databases << name;
    return name;
}

QString MariaDbServer::connectionName(const QString& p_sDatabase, QString& p_sError) {
    const QString name = kAdmin + QLatin1Char('_') + p_sDatabase;
    if (m_Connections.contains(name))
        return name;
    if (!openRootConnection(name, m_sSocket, p_sDatabase, p_sError))
        return QString();
    m_Connections << name;
    return name;
}

bool MariaDbServer::exec(const QString& p_sDatabase, const QStringList& p_Statements, QString& p_sError) {
    const QString name = connectionName(p_sDatabase, p_sError);
    if (name.isEmpty())
        return false;
    QSqlQuery query(QSqlDatabase::database(name, false));
    for (const QString& statement : p_Statements) {
        if (!query.exec(statement)) {
            p_sError = statement + QStringLiteral(": ") + query.lastError().text();
            return false;
        }
    }
    return true;
}

bool MariaDbServer::registerOdbcDriver(const QString& p_sName, QString& p_sError) {
    if (!isReady()) {
        p_sError = m_sError;
        return false;
    }
    // Debian's odbc-mariadb registers itself as "MariaDB Unicode" in the system file.
    QSettings system(QStringLiteral("/etc/odbcinst.ini"), QSettings::IniFormat);
    QString library;
    for (const QString& group : system.childGroups()) {
        if (group.contains(QStringLiteral("MariaDB"), Qt::CaseInsensitive))
            library = system.value(group + QStringLiteral("/Driver")).toString();
        if (!library.isEmpty())
            break;
    }
    if (library.isEmpty()) {
        p_sError = QStringLiteral("no MariaDB ODBC driver in /etc/odbcinst.ini (install odbc-mariadb)");
        return false;
    }
    QFile ini(m_odbcDir.filePath(QStringLiteral("odbcinst.ini")));
    if (!ini.open(QIODevice::WriteOnly | QIODevice::Text)) {
        p_sError = ini.errorString();
        return false;
    }
    ini.write(QStringLiteral("[%1]\nDriver=%2\n").arg(p_sName, library).toUtf8());
    ini.close();
    qputenv("ODBCSYSINI", m_odbcDir.path().toLocal8Bit());
    return true;
}

bool runSqlScript(const QString& p_sConnection, const QString& p_sFile, QString& p_sError) {
    QFile file(p_sFile);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        p_sError = p_sFile + QStringLiteral(": ") + file.errorString();
        return false;
    }
    QTextStream in(&file);
    in.setCodec("UTF-8");
    QSqlQuery query(QSqlDatabase::database(p_sConnection, false));
    QString statement;
    while (!in.atEnd()) {
        const QString line = in.readLine().trimmed();
        if (line.isEmpty() || line.startsWith(QStringLiteral("--")))
            continue;
        statement += line + QLatin1Char('\n');
        if (!line.endsWith(QLatin1Char(';')))
            continue;
        statement.chop(2);
        if (!query.exec(statement)) {
            p_sError =
                p_sFile + QStringLiteral(": ") + statement + QStringLiteral(": ") + query.lastError().text();
            return false;
        }
        statement.clear();
    }
    return true;
}
