#include "DatabaseCheck.h"

#include "Findings.h"
#include "config/IniFile.h"
#include "db/PosDB.h"
#include "log/Secrets.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>

namespace {

const QStringList kKnownTypes{QStringLiteral("SQLITE"), QStringLiteral("MYSQL"), QStringLiteral("SQLSERVER"),
                              QStringLiteral("ORACLE"), QStringLiteral("ACCESS")};
const QString kTypes = QStringLiteral("SQLITE, MYSQL, SQLSERVER, ORACLE or ACCESS");

// What the offline lookup reads, and the four columns it searches by.
const QStringList kMemberColumns{
    QStringLiteral("member_id"),  QStringLiteral("cardno"),      QStringLiteral("grade_level"),
    QStringLiteral("grade_name"), QStringLiteral("member_name"), QStringLiteral("birthday"),
    QStringLiteral("mobile"),     QStringLiteral("address"),     QStringLiteral("status")};
const QStringList kLookupColumns{QStringLiteral("mobile"), QStringLiteral("member_id"),
                                 QStringLiteral("cardno"), QStringLiteral("member_name")};

// The database as the plug-in's connection was set up to reach it.
QString describe(const QSqlDatabase& conn, const QString& type) {
    if (!conn.isValid())
        return type;
    if (type == QLatin1String("SQLITE"))
        return QStringLiteral("SQLITE file ") + conn.databaseName();
    QString text = type + QLatin1Char(' ') + Secrets::masked(conn.databaseName());
    if (!conn.hostName().isEmpty())
        text += QStringLiteral(" on ") + conn.hostName();
    if (conn.port() > 0)
        text += QLatin1Char(':') + QString::number(conn.port());
    if (!conn.userName().isEmpty())
        text += QStringLiteral(" as ") + conn.userName();
    return text;
}

QString createTableFix(const QString& type) {
    if (type == QLatin1String("SQLITE") || type == QLatin1String("MYSQL"))
        return QStringLiteral(
                   "create it with db/t_member.%1.sql and load the members with db/load_members.py")
            .arg(type == QLatin1String("SQLITE") ? QStringLiteral("sqlite") : QStringLiteral("mariadb"));
    return QStringLiteral("create it with the text columns ") + kMemberColumns.join(QStringLiteral(", "));
}

QString openFix(const QString& type, const QString& error) {
    if (!kKnownTypes.contains(type))
        return QStringLiteral("set config.ini [DataBase] DbType to ") + kTypes;
    if (error.contains(QLatin1String("Driver not loaded")))
        return QStringLiteral("install Qt's SQL driver for %1 (on Windows its DLL in sqldrivers/ beside the "
                              "till program, with the database's client library)")
            .arg(type);
    if (type == QLatin1String("SQLITE"))
        return QStringLiteral("check that the file is a SQLite database the till's user may read and write");
    if (type == QLatin1String("MYSQL"))
        return QStringLiteral("check that the server runs, config.ini [DataBase] ServiceName, UserName, "
                              "Password and ZoVORDA.ini [Config] dbname (MySQL is reached on its standard "
                              "port; Port is not read)");
    return QStringLiteral("check that the server runs, config.ini [DataBase] ServiceName, UserName, "
                          "Password, Port and ZoVORDA.ini [Config] dbname");
}

// The database type config.ini names, upper case; empty, with a warning, when there is none.
QString databaseType(Findings& f) {
    const QString problem = QStringLiteral(": members cannot be found while the CRM is down");
    if (!QFileInfo::exists(QStringLiteral("config.ini"))) {
        f.warn(QStringLiteral("config.ini is not in %1").arg(QDir::currentPath()) + problem,
               QStringLiteral("create config.ini with [DataBase] DbType=") + kTypes);
        return QString();
    }
    const QString type =
        IniFile(QStringLiteral("config.ini")).value(QStringLiteral("DataBase/DbType")).toUpper();
    if (type.isEmpty())
        f.warn(QStringLiteral("config.ini [DataBase] DbType is not set") + problem,
               QStringLiteral("set DbType=") + kTypes);
    return type;
}

// Opening a missing SQLite file would leave an empty one behind. A bare name is the
// plug-in's way of saying "beside the program that loaded me".
bool sqliteFileExists(Findings& f) {
    const QString name = IniFile(QStringLiteral("ZoVORDA.ini"))
                             .value(QStringLiteral("Config/dbname"), QStringLiteral("pelmun"))
                             .trimmed();
    const bool bare = !name.contains(QLatin1Char(':')) && !name.contains(QLatin1Char('/')) &&
                      !name.contains(QLatin1Char('\\'));
    const QString file = bare ? QCoreApplication::applicationDirPath() + QLatin1Char('/') + name : name;
    if (QFileInfo(file).isFile())
        return true;
    f.fail(QStringLiteral("member database file %1 does not exist").arg(file),
           bare ? QStringLiteral("a bare ZoVORDA.ini [Config] dbname is a file beside the program that loads "
                                 "the plug-in; set dbname to the member file's full path")
                : QStringLiteral("correct ZoVORDA.ini [Config] dbname, or put the member file there"));
    return false;
}

qlonglong countRows(PosDB& db, const QString& sql) {
    QSqlQuery query;
    QString error;
    db.openRecordset(sql, query, error);
    return query.next() ? query.value(0).toLongLong() : 0;
}

// Whether t_member is there with the columns the lookup reads, and how many of its rows are active.
bool checkRows(Findings& f, PosDB& db, const QSqlDatabase& conn, const QString& type) {
    QSqlQuery total;
    QString error;
    if (!db.openRecordset(QStringLiteral("select count(*) from t_member"), total, error)) {
        f.fail(QStringLiteral("t_member cannot be read: ") + total.lastError().text(), createTableFix(type));
        return false;
    }
    const qlonglong rows = total.next() ? total.value(0).toLongLong() : 0;
    const QSqlRecord columns = conn.record(QStringLiteral("t_member"));
    QStringList missing;
    for (const QString& column : kMemberColumns) {
        if (!columns.isEmpty() && !columns.contains(column))
            missing.append(column);
    }
    if (!missing.isEmpty()) {
        f.fail(QStringLiteral("t_member lacks the columns %1, which the offline lookup reads")
                   .arg(missing.join(QStringLiteral(", "))),
               createTableFix(type));
        return false;
    }
    const qlonglong members = countRows(db, QStringLiteral("select count(*) from t_member where status='1'"));
    if (rows == 0)
        f.warn(QStringLiteral("t_member is empty: members cannot be found while the CRM is down"),
               QStringLiteral("load them with db/load_members.py"));
    else if (members == 0)
        f.warn(QStringLiteral("t_member has %1 rows, none of them active (status '1'): the offline lookup "
                              "finds nobody")
                   .arg(rows),
               QStringLiteral("load the members again with db/load_members.py"));
    else
        f.ok(QStringLiteral("t_member has %1 rows, %2 of them active (status '1')").arg(rows).arg(members));
    return true;
}

// The values of one column of a statement's rows where another column has a value.
bool columnWhere(PosDB& db, const QString& sql, const QString& column, const QString& where, int value,
                 QStringList& out) {
    QSqlQuery query;
    QString error;
    if (!db.openRecordset(sql, query, error))
        return false;
    while (query.next()) {
        if (where.isEmpty() || query.value(where).toInt() == value)
            out.append(query.value(column).toString());
    }
    return true;
}

// The leading column of every index on t_member: an index serves a lookup by the
// column it starts with. False where we cannot tell.
bool indexedColumns(PosDB& db, const QString& type, QStringList& leading) {
    if (type == QLatin1String("MYSQL"))
        return columnWhere(db, QStringLiteral("SHOW INDEX FROM t_member"), QStringLiteral("Column_name"),
                           QStringLiteral("Seq_in_index"), 1, leading);
    if (type != QLatin1String("SQLITE"))
        return false;
    QStringList names;
    if (!columnWhere(db, QStringLiteral("PRAGMA index_list(t_member)"), QStringLiteral("name"), QString(), 0,
                     names))
        return false;
    for (QString name : names) {
        name.replace(QLatin1Char('\''), QStringLiteral("''"));
        if (!columnWhere(db, QStringLiteral("PRAGMA index_info('%1')").arg(name), QStringLiteral("name"),
                         QStringLiteral("seqno"), 0, leading))
            return false;
    }
    return true;
}

// Without an index each offline lookup reads the whole table, while the cashier waits.
void checkIndexes(Findings& f, PosDB& db, const QString& type) {
    QStringList indexed;
    if (!indexedColumns(db, type, indexed))
        return;
    QStringList unindexed;
    QStringList statements;
    for (const QString& column : kLookupColumns) {
        if (!indexed.contains(column, Qt::CaseInsensitive)) {
            unindexed.append(column);
            statements.append(
                QStringLiteral("CREATE INDEX idx_t_member_%1 ON t_member (%1, status)").arg(column));
        }
    }
    if (unindexed.isEmpty())
        f.ok(QStringLiteral("t_member has an index for each lookup: ") +
             kLookupColumns.join(QStringLiteral(", ")));
    else
        f.warn(QStringLiteral(
                   "t_member has no index for the lookup by %1: each such lookup reads the whole table")
                   .arg(unindexed.join(QStringLiteral(", "))),
               statements.join(QStringLiteral("; ")));
}

} // namespace

namespace DatabaseCheck {

void check(Findings& f) {
    const QString type = databaseType(f);
    if (type.isEmpty() || (type == QLatin1String("SQLITE") && !sqliteFileExists(f)))
        return;
    PosDB db;
    QString error;
    const bool open = db.openDB(error);
    // Declared after the database object, so that it lets go of the connection first.
    const QSqlDatabase conn = QSqlDatabase::database(db.connectionName(), false);
    if (!open) {
        f.fail(QStringLiteral("member database %1 does not open: %2").arg(describe(conn, type), error),
               openFix(type, error));
        return;
    }
    f.ok(QStringLiteral("member database opens: ") + describe(conn, type));
    if (checkRows(f, db, conn, type))
        checkIndexes(f, db, type);
}

} // namespace DatabaseCheck
