#include "db/ConnectionRules.h"

#include "db/AccessLinkFile.h"
#include "db/DbSettings.h"

#include <QCoreApplication>
#include <QSqlDatabase>
#include <QString>

namespace {

const QString kPathSeparators = QStringLiteral(":/\\");

void applySqlite(QSqlDatabase& db, const DbSettings& s) {
    db.setDatabaseName(ConnectionRules::besideHost(s.name.trimmed(), kPathSeparators));
}

bool applyMySql(QSqlDatabase& db, const DbSettings& s) {
    db.setHostName(s.server.isEmpty() ? QStringLiteral("localhost") : s.server);
    db.setUserName(s.user.isEmpty() ? QStringLiteral("root") : s.user);
    if (s.name.isEmpty())
        return false;
    db.setDatabaseName(s.name);
    db.setPassword(s.password);
    // The port is left to the client library on purpose: a till reaches its server the
    // way the library's defaults say. The connection is opened once and kept; when the
    // server restarts (a nightly back-up, a power cut in the back office) the kept
    // connection is dead although it still counts as open, and without this every later
    // lookup would fail with "server has gone away" until the till program restarts.
    db.setConnectOptions(QStringLiteral("MYSQL_OPT_RECONNECT=1"));
    return true;
}

void applySqlServer(QSqlDatabase& db, const DbSettings& s) {
    db.setDatabaseName(QStringLiteral("DRIVER={SQL SERVER};SERVER=%1;DATABASE=%2").arg(s.server, s.name));
    db.setUserName(s.user);
    db.setPassword(s.password);
    db.setPort(s.port > 0 ? s.port : 1433);
}

void applyOracle(QSqlDatabase& db, const DbSettings& s) {
    db.setHostName(s.server);
    db.setDatabaseName(s.name);
    db.setUserName(s.user);
    db.setPassword(s.password);
    db.setPort(s.port > 0 ? s.port : 1521);
}

// With a link file configured as the server, the file names the database and the
// login is always "sa" without a password, whatever config.ini says.
bool applyAccess(QSqlDatabase& db, const DbSettings& s) {
    QString file;
    QString user = s.user.isEmpty() ? QStringLiteral("sa") : s.user;
    QString password = s.password;
    if (!s.server.isEmpty()) {
        if (!AccessLinkFile::readDataSource(s.server, file))
            return false;
        file = ConnectionRules::besideHost(file, QStringLiteral(":"));
        user = QStringLiteral("sa");
        password.clear();
    } else {
        file = ConnectionRules::besideHost(s.name.trimmed(), kPathSeparators);
    }
    db.setDatabaseName(QStringLiteral("DRIVER={Microsoft Access Driver (*.mdb,*.accdb)};DBQ=%1;UID=%2;PWD=%3")
                           .arg(file, user, password));
    return true;
}

} // namespace

bool ConnectionRules::apply(QSqlDatabase& db, DbType type, const DbSettings& settings) {
    switch (type) {
    case DbType::Sqlite:
        applySqlite(db, settings);
        return true;
    case DbType::MySql:
        return applyMySql(db, settings);
    case DbType::SqlServer:
        applySqlServer(db, settings);
        return true;
    case DbType::Oracle:
        applyOracle(db, settings);
        return true;
    case DbType::Access:
        return applyAccess(db, settings);
    }
    return false;
}

QString ConnectionRules::besideHost(const QString& file, const QString& separators) {
    for (const QChar c : separators) {
        if (file.contains(c))
            return file;
    }
    return QStringLiteral("%1/%2").arg(QCoreApplication::applicationDirPath(), file);
}
