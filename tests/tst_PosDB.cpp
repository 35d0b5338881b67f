// The till's database layer against real databases: SQLite files, the private
// MariaDB server of the test run (tests/mariadb.sh), and that server reached through
// unixODBC under the "SQL SERVER" driver name.
#include "db/ConnectionRules.h"
#include "db/KeyedRecordsets.h"
#include "db/PosDB.h"
#include "db/RecordStatements.h"
#include "db/StoredProcedures.h"
#include "support/MariaDbServer.h"
#include "support/WorkDir.h"

#include <QDir>
#include <QSqlQuery>
#include <QtTest>

#include <functional>

namespace {

enum class Needs { Nothing, MariaDb, Odbc };

// What a row writes: config.ini's DataBase keys (null ones are left out) and
// ZoVORDA.ini's Config/dbname (not written when null).
struct DbConfig {
    QString type, server = {}, user = {}, password = {}, port = {}, dbname = {};

    void write(const WorkDir& dir) const {
        QVariantMap ini;
        const QString keys[] = {"DbType", "ServiceName", "UserName", "Password", "Port"};
        const QString values[] = {type, server, user, password, port};
        for (int i = 0; i < 5; ++i) {
            if (!values[i].isNull())
                ini.insert("DataBase/" + keys[i], values[i]);
        }
        dir.writeIni("config.ini", ini);
        if (!dbname.isNull())
            dir.writeIni("ZoVORDA.ini", {{"Config/dbname", dbname}});
    }
};

// The connection as Qt's registry holds it: driver, database name, host, user,
// password, port.
QStringList registered(const PosDB& db) {
    const QSqlDatabase c = QSqlDatabase::database(db.connectionName(), false);
    return {c.driverName(), c.databaseName(), c.hostName(),
            c.userName(),   c.password(),     QString::number(c.port())};
}

// The MariaDB ODBC driver puts its version and the server's in front of its texts
// ("[ma-3.1.15][10.11.6-MariaDB…]"); "[ma]" stands for them.
QString withoutVersion(QString text) {
    return text.replace(QRegularExpression("\\[ma-[0-9.]+\\](\\[[^]]*MariaDB[^]]*\\])?"), "[ma]");
}

// The database layer with its companions, in the order they must go.
struct Layer {
    PosDB db;
    KeyedRecordsets keyed{db};
    StoredProcedures procedures{db};
    RecordStatements records{db};
};
enum class Where { Open, Closed, SqlServer };
// One call of the layer; its result, and its error text in the variable given.
using Operation = std::function<bool(Layer&, QString&)>;

} // namespace

Q_DECLARE_METATYPE(Needs)

// No server for this run: skip; one announced that does not answer: fail.
#define NEED(needs)                                                                                          \
    do {                                                                                                     \
        const QString why = missing(needs);                                                                  \
        if (!why.isNull()) {                                                                                 \
            QVERIFY2(!m_server->isConfigured() || m_server->isReady(), qPrintable(why));                     \
            QSKIP(qPrintable(why));                                                                          \
        }                                                                                                    \
    } while (false)
Q_DECLARE_METATYPE(DbConfig)
Q_DECLARE_METATYPE(Operation)
Q_DECLARE_METATYPE(Where)

class TestPosDB : public QObject {
    Q_OBJECT

    MariaDbServer* m_server = nullptr;
    QString m_db;
    // Suites may run side by side against the one server: the process id keeps their users apart.
    const QString m_clerk = QString("clerk_%1").arg(QCoreApplication::applicationPid());
    QString m_odbcError;

    // Why the row cannot run here; null when it can.
    QString missing(Needs needs) const {
        if (needs == Needs::Nothing)
            return QString();
        if (!m_server->isReady())
            return m_server->error();
        return needs == Needs::Odbc && !m_odbcError.isEmpty() ? m_odbcError : QString();
    }

    static void backends() {
        QTest::addColumn<QString>("type");
        QTest::newRow("SQLite") << "SQLITE";
        QTest::newRow("MariaDB") << "MYSQL";
    }

    // The backend's database, open, with table kr holding three members' rows stamped a day apart.
    std::unique_ptr<Layer> openWithTable(const WorkDir& dir, const QString& type, const QDateTime& stamp,
                                         QString& error) const {
        DbConfig{type, {}, {}, {}, {}, type == "MYSQL" ? m_db : "./pos.db"}.write(dir);
        auto layer = std::make_unique<Layer>();
        bool ok =
            layer->db.openDB(error) && layer->db.execute("drop table if exists kr", error) &&
            layer->db.execute(
                "create table kr(id integer, name varchar(20), price double, stamp datetime, data blob)",
                error);
        for (int id = 1; ok && id <= 3; ++id)
            ok = layer->records.insert("kr", {"id", "name", "price", "stamp", "data"},
                                       {id, QString("会员%1").arg(id), id + 0.25, stamp.addDays(id),
                                        QByteArray("\x00\x01", 2) + char(id)},
                                       error);
        return ok ? std::move(layer) : nullptr;
    }

private slots:
    void initTestCase() {
        m_server = new MariaDbServer;
        if (!m_server->isReady())
            return;
        QString error;
        m_db = m_server->createDatabase(error);
        QVERIFY2(!m_db.isEmpty(), qPrintable(error));
        // The MySQL driver comes through the socket ("localhost"), the ODBC driver over TCP.
        for (const QString host : {"localhost", "127.0.0.1"})
            QVERIFY2(m_server->exec(
                         m_db,
                         {QString("CREATE OR REPLACE USER '%1'@'%2' IDENTIFIED BY 'pw-1'").arg(m_clerk, host),
                          QString("GRANT ALL ON `%1`.* TO '%2'@'%3'").arg(m_db, m_clerk, host)},
                         error),
                     qPrintable(error));
        if (!m_server->registerOdbcDriver("SQL SERVER", m_odbcError))
            qWarning("ODBC checks against MariaDB are skipped: %s", qPrintable(m_odbcError));
    }

    void cleanupTestCase() {
        QString error;
        if (m_server->isReady())
            m_server->exec(m_db, {QString("DROP USER '%1'@'localhost', '%1'@'127.0.0.1'").arg(m_clerk)},
                           error);
        delete m_server;
    }

    // What opening says for every kind of setting, starting from an error variable that
    // held "earlier text" (a null text is not compared: the driver's words vary), and
    // how the connection was set up. A second open answers the same on the same connection.
    void opening_data() {
        QTest::addColumn<Needs>("needs");
        QTest::addColumn<DbConfig>("config");
        QTest::addColumn<QByteArray>("link"); // pos.udl, the Access link file
        QTest::addColumn<bool>("opens");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("connection");
        const QString failed = "数据库打开失败！", app = QCoreApplication::applicationDirPath() + '/';
        const QString noFile = "unable to open database file Error opening database" + failed;
        const QString access = "DRIVER={Microsoft Access Driver (*.mdb,*.accdb)};DBQ=%1;UID=%2;PWD=%3";
        // No Access driver is registered with unixODBC on a Linux till.
        const QString noAccess = "[unixODBC][Driver Manager]Can't open lib 'Microsoft Access Driver "
                                 "(*.mdb,*.accdb)' : file not found QODBC3: Unable to connect" +
                                 failed;
        const QString udl =
            "[oledb]\r\n; Everything after this line is an OLE DB initstring\r\n"
            "Provider=Microsoft.Jet.OLEDB.4.0;Data Source= D:\\pos\\vip.mdb ;Persist Security "
            "Info=False\r\n";
        // As Windows saves it: UTF-16, little-endian (this host's order too).
        const QByteArray utf16(reinterpret_cast<const char*>(udl.utf16()), udl.size() * 2);
        const DbConfig viaLink{"ACCESS", "pos.udl", "clerk", "pw", {}, {}};
        const QStringList vip{"QODBC", access.arg("D:\\pos\\vip.mdb", "sa", ""), "", "", "", "-1"};
        const auto row = [](const char* name, Needs needs, const DbConfig& config, bool opens,
                            const QString& text, const QStringList& connection, const QByteArray& link = {}) {
            QTest::newRow(name) << needs << config << link << opens << text << connection;
        };
        const Needs none = Needs::Nothing;
        row("no database type", none, {}, false, "未设置数据库类型", {"", "", "", "", "", "-1"});
        row("unknown type", none, {"FoxPro"}, false, "不支持的数据库类型FoxPro，" + failed,
            {"", "", "", "", "", "-1"});
        // Without the Oracle client the toolkit's driver is missing, and a connection
        // without its driver takes no settings.
        row("Oracle without its driver", none, {"Oracle", "ora-srv", "scott", "tiger"}, false,
            "Driver not loaded Driver not loaded" + failed, {"QOCI", "", "", "", "", "-1"});
        row("SQLite file that cannot be opened", none, {"SQLITE", {}, {}, {}, {}, "no/such/dir.db"}, false,
            noFile, {"QSQLITE", "no/such/dir.db", "", "", "", "-1"});
        // The type is compared in upper case.
        row("SQLite without a name: pelmun beside the host", none, {"sqlite"}, true, "earlier text",
            {"QSQLITE", app + "pelmun", "", "", "", "-1"});
        row("SQLite bare name, blanks trimmed", none, {"SQLITE", {}, {}, {}, {}, "  tst_posdb_members.db "},
            true, "earlier text", {"QSQLITE", app + "tst_posdb_members.db", "", "", "", "-1"});
        QStringList separated{"data/m.db", "data\\m.db"};
#ifndef Q_OS_WIN
        separated << "x:m.db"; // on Windows a drive, which a test machine does not have
#endif
        for (const QString& name : separated)
            row(qPrintable(QString("SQLite name with a separator used unchanged: %1").arg(name)), none,
                {"SQLITE", {}, {}, {}, {}, name}, true, "earlier text", {"QSQLITE", name, "", "", "", "-1"});
        row("SQL Server, default port 1433", none, {"SQLSERVER", "127.0.0.1", "pos", "pw"}, false, QString(),
            {"QODBC", "DRIVER={SQL SERVER};SERVER=127.0.0.1;DATABASE=pelmun", "", "pos", "pw", "1433"});
        row("SQL Server, configured port", none, {"sqlserver", "127.0.0.1\\POS", {}, {}, "2433", "shop_db"},
            false, QString(),
            {"QODBC", "DRIVER={SQL SERVER};SERVER=127.0.0.1\\POS;DATABASE=shop_db", "", "", "", "2433"});
        row("Access file beside the host, user sa", none, {"ACCESS", {}, {}, {}, {}, "pelmun.mdb"}, false,
            noAccess, {"QODBC", access.arg(app + "pelmun.mdb", "sa", ""), "", "", "", "-1"});
        row("Access file with path, own user", none, {"ACCESS", {}, "clerk", "pw", {}, "D:\\pos\\pelmun.mdb"},
            false, noAccess, {"QODBC", access.arg("D:\\pos\\pelmun.mdb", "clerk", "pw"), "", "", "", "-1"});
        row("Access link file in UTF-8", none, viaLink, false, noAccess, vip, udl.toUtf8());
        row("Access link file in UTF-16 without mark", none, viaLink, false, noAccess, vip, utf16);
        row("Access link file in UTF-16 with mark", none, viaLink, false, noAccess, vip, "\xff\xfe" + utf16);
        row("Access link file missing: refused without a driver text", none, viaLink, false,
            "earlier text" + failed, {"QODBC", "", "", "", "", "-1"});
        row("Access link to a bare file name", none, viaLink, false, noAccess,
            {"QODBC", access.arg(app + "vip.mdb", "sa", ""), "", "", "", "-1"},
            "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=vip.mdb");
        // The configured port is never used (port 1 would fail): the client library's default applies.
        const Needs maria = Needs::MariaDb;
        row("MariaDB: empty server and user, localhost as root", maria, {"mysql", "", "", "", "1", m_db},
            true, "earlier text", {"QMYSQL", m_db, "localhost", "root", "", "-1"});
        row("MariaDB: configured port is not used", maria, {"MYSQL", "127.0.0.1", "root", "", "1", m_db},
            true, "earlier text", {"QMYSQL", m_db, "127.0.0.1", "root", "", "-1"});
        row("MariaDB: own user and password", maria, {"MYSQL", "localhost", m_clerk, "pw-1", "1", m_db}, true,
            "earlier text", {"QMYSQL", m_db, "localhost", m_clerk, "pw-1", "-1"});
        row("MariaDB: wrong password", maria, {"MYSQL", "localhost", m_clerk, "pw-2", "1", m_db}, false,
            "Access denied for user '" + m_clerk +
                "'@'localhost' (using password: YES) QMYSQL: Unable to connect" + failed,
            {"QMYSQL", m_db, "localhost", m_clerk, "pw-2", "-1"});
        row("MariaDB: unknown database", maria, {"MYSQL", {}, {}, {}, {}, "nosuch_zovorda"}, false,
            "Unknown database 'nosuch_zovorda' QMYSQL: Unable to connect" + failed,
            {"QMYSQL", "nosuch_zovorda", "localhost", "root", "", "-1"});
        row("MariaDB: empty database name, refused without a driver text", maria,
            {"MYSQL", {}, {}, {}, {}, ""}, false, "earlier text" + failed,
            {"QMYSQL", "", "localhost", "root", "", "-1"});
        row("SQL Server through ODBC", Needs::Odbc, {"SQLSERVER", "localhost", m_clerk, "pw-1", {}, m_db},
            true, "earlier text",
            {"QODBC", "DRIVER={SQL SERVER};SERVER=localhost;DATABASE=" + m_db, "", m_clerk, "pw-1", "1433"});
        row("SQL Server through ODBC, unknown database", Needs::Odbc,
            {"SQLSERVER", "localhost", m_clerk, "pw-1", {}, "nosuch_db"}, false,
            "[ma]Access denied for user '" + m_clerk +
                "'@'127.0.0.1' to database 'nosuch_db' QODBC3: Unable to "
                "connect" +
                failed,
            {"QODBC", "DRIVER={SQL SERVER};SERVER=localhost;DATABASE=nosuch_db", "", m_clerk, "pw-1",
             "1433"});
    }

    void opening() {
        QFETCH(Needs, needs);
        QFETCH(DbConfig, config);
        QFETCH(QByteArray, link);
        QFETCH(bool, opens);
        QFETCH(QString, text);
        QFETCH(QStringList, connection);
        NEED(needs);
        WorkDir dir;
        QDir().mkdir("data");
        config.write(dir);
        if (!link.isEmpty())
            dir.writeFile("pos.udl", link);
        if (config.type.toUpper() == "ORACLE") {
            QTest::ignoreMessage(QtWarningMsg, "QSqlDatabase: QOCI driver not loaded");
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^QSqlDatabase: available drivers:"));
        }
        PosDB db;
        for (int attempt = 0; attempt < 2; ++attempt) {
            QString error = "earlier text";
            QCOMPARE(db.openDB(error), opens);
            error = withoutVersion(error);
            if (!text.isNull())
                QCOMPARE(error, text);
            // Without any type nothing is tried, so nothing failed to open.
            QCOMPARE(db.openFailed(), !opens && !config.type.isEmpty());
            QCOMPARE(db.isOpen(), opens);
            QCOMPARE(db.connectionName(), connection.first().isEmpty() ? "" : "MyDBProcessConn0");
            QCOMPARE(db.typeName(), connection.first().isEmpty() ? "" : config.type.toUpper());
            QCOMPARE(registered(db), connection);
        }
        // The open makes a SQLite file; one beside the host is removed again.
        if (opens && connection.first() == "QSQLITE")
            QVERIFY(QFile::exists(connection.at(1)));
        if (connection.at(1).startsWith(QCoreApplication::applicationDirPath()))
            QFile::remove(connection.at(1));
    }

    // The texts each operation leaves, on a SQLite file that is open or was closed, or on
    // "SQL SERVER" (MariaDB behind ODBC, "[ma]" its version): mostly the function and
    // statement in front, then what went wrong; after a recordset that ran, the value it read first.
    void operations_data() {
        QTest::addColumn<Operation>("operation");
        QTest::addColumn<Where>("where");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<QString>("text");
        const QString missing = "no such table: t_nowhere Unable to execute statement",
                      notOpened = " DataBase is not opened!", recordset = "函数:openRecordset||执行:";
        const QString procedures = "不支持在数据库类型SQLITE执行存储过程",
                      badProc = " 存储过程名称或参数错误!";
        const auto row = [](const char* name, Where where, bool ok, const QString& text,
                            Operation operation) { QTest::newRow(name) << operation << where << ok << text; };
        const auto select = [](const QString& sql) {
            return [sql](Layer& l, QString& error) {
                QSqlQuery query;
                const bool ok = l.db.openRecordset(sql, query, error);
                error += query.next() ? query.value(0).toString() : "";
                return ok;
            };
        };
        const auto keyed = [](const QString& sql) {
            return [sql](Layer& l, QString& error) {
                const bool ok = l.keyed.open(1, sql, error);
                error += l.keyed.moveFirst(1) ? l.keyed.stringValue(1, "seven") : "";
                return ok;
            };
        };
        const auto execute = [](const QString& sql) {
            return [sql](Layer& l, QString& error) { return l.db.execute(sql, error); };
        };
        const auto procedure = [](const QString& name, QList<ProcParam> params) {
            return [name, params](Layer& l, QString& error) mutable {
                auto handed = std::make_unique<QSqlQuery>(); // what the caller held before
                const bool ok = params.isEmpty() ? l.procedures.run(name, error, handed)
                                                 : l.procedures.run(name, params, error, handed);
                // A call refused before it reached the database hands back no query; one
                // that reached it hands back its statement.
                if (handed)
                    error += " (handed: " + handed->lastQuery() + ')';
                return ok;
            };
        };
        const QList<ProcParam> shop{{"shop", QSql::In, QVariant::Int, "12"}};
        const QStringList columns{"id", "name"};
        row("recordset", Where::Open, true, recordset + "select 7 as seven||7", select("select 7 as seven"));
        row("recordset of a missing table", Where::Open, false,
            recordset + "select x from t_nowhere||" + missing, select("select x from t_nowhere"));
        row("recordset, closed", Where::Closed, false, recordset + "select 7 as seven||" + notOpened,
            select("select 7 as seven"));
        row("keyed recordset", Where::Open, true, recordset + "select 7 as seven||7",
            keyed("select 7 as seven"));
        row("keyed recordset of a missing table", Where::Open, false,
            recordset + "select x from t_nowhere||" + missing, keyed("select x from t_nowhere"));
        row("keyed recordset, closed", Where::Closed, false, recordset + "select 7 as seven||" + notOpened,
            keyed("select 7 as seven"));
        // Only the first 30 characters of a statement are named.
        row("execute", Where::Open, true, "函数:excuteSQL||执行:create table t_member_copy(mem||",
            execute("create table t_member_copy(member_id text)"));
        row("execute on a missing table", Where::Open, false,
            "函数:excuteSQL||执行:drop table t_nowhere||" + missing, execute("drop table t_nowhere"));
        row("execute, closed", Where::Closed, false,
            "函数:excuteSQL||执行:delete from t_member||" + notOpened, execute("delete from t_member"));
        row("procedure on SQLite", Where::Open, false, procedures, procedure("p_sync", {}));
        row("procedure, closed", Where::Closed, false, "函数:exexProc||执行:p_sync||" + notOpened,
            procedure("p_sync", {}));
        row("procedure with parameters on SQLite", Where::Open, false, procedures, procedure("p_sync", shop));
        row("procedure with parameters without a name", Where::Open, false,
            "函数:exexProcWithArgs||执行:||" + badProc, procedure("", shop));
        row("procedure with parameters, closed", Where::Closed, false,
            "函数:exexProcWithArgs||执行:p_sync||" + notOpened, procedure("p_sync", shop));
        row("insert, closed", Where::Closed, false,
            "函数:insertRecord||执行:INSERT INTO kr(id,name) VALUES (:id,:name)||" + notOpened,
            [columns](Layer& l, QString& error) {
                return l.records.insert("kr", columns, {1, "a"}, error);
            });
        row("update, closed", Where::Closed, false,
            "函数:updateRecord||执行:UPDATE kr SET id=:id,name=:name WHERE id=1||" + notOpened,
            [columns](Layer& l, QString& error) {
                return l.records.update("kr", columns, {1, "a"}, "id=1", error);
            });
        row("insert into a missing table", Where::Open, false,
            "函数:insertRecord||执行:INSERT INTO t_nowhere(id,name) VALUES (:id,:name)||" + missing,
            [columns](Layer& l, QString& error) {
                return l.records.insert("t_nowhere", columns, {1, "a"}, error);
            });
        row("insert with a value missing", Where::Open, false,
            "函数:insertRecord||执行:kr||字段与值的个数不符",
            [columns](Layer& l, QString& error) { return l.records.insert("kr", columns, {1}, error); });
        row("update with a value missing", Where::Open, false,
            "函数:updateRecord||执行:kr||字段与值的个数不符",
            [columns](Layer& l, QString& error) { return l.records.update("kr", columns, {1}, "", error); });
        // SQLite knows no "exec": the statement is refused as it was built.
        row("call with arguments", Where::Open, false,
            "函数:exexCall||执行:exec p_sync ?,?||near \"exec\": syntax error Unable to execute statement",
            [](Layer& l, QString& error) {
                return l.records.execWithArgs("p_sync", {1, "a"}, error);
            });
        // Where the database has procedures the statement reaches it, and its text replaces ours.
        const QString syntax =
            "[ma]You have an error in your SQL syntax; check the manual that corresponds to your "
            "MariaDB server version for the right syntax to use near '%1' at line 1 QODBC3: "
            "Unable to %2 statement";
        row("procedure on SQL Server", Where::SqlServer, false,
            syntax.arg("exec p_sync", "execute") + " (handed: exec p_sync )", procedure("p_sync", {}));
        row("procedure with a parameter that is no number", Where::SqlServer, false,
            "函数:exexProcWithArgs||执行:p_sync||参数shop类型转换错误 (handed: exec p_sync ?,?)",
            procedure("p_sync", {{"name", QSql::In, QVariant::String, "x"},
                                 {"shop", QSql::In, QVariant::ULongLong, "12a"}}));
        // The driver cannot prepare "exec" with markers, so the statement fails unrun.
        row("procedure with an output parameter on SQL Server", Where::SqlServer, false,
            "函数:exexProcWithArgs||执行:p_sync||[unixODBC][Driver Manager]Function sequence error QODBC3: "
            "Unable "
            "to execute statement (handed: exec p_sync ?,? output )",
            procedure("p_sync", {shop.first(), {"total", QSql::Out, QVariant::Int, ""}}));
        row("call with arguments on SQL Server", Where::SqlServer, false,
            "函数:exexCall||执行:exec p_sync ?,?||" + syntax.arg("exec p_sync ?,?", "prepare"),
            [](Layer& l, QString& error) {
                return l.records.execWithArgs("p_sync", {1, "a"}, error);
            });
    }

    void operations() {
        QFETCH(Operation, operation);
        QFETCH(Where, where);
        QFETCH(bool, ok);
        QFETCH(QString, text);
        NEED(where == Where::SqlServer ? Needs::Odbc : Needs::Nothing);
        WorkDir dir;
        if (where == Where::SqlServer)
            DbConfig{"SQLSERVER", "localhost", m_clerk, "pw-1", {}, m_db}.write(dir);
        else
            DbConfig{"SQLITE", {}, {}, {}, {}, "./pos.db"}.write(dir);
        Layer layer;
        QString error;
        QVERIFY2(layer.db.openDB(error), qPrintable(error));
        if (where == Where::Closed)
            layer.db.close();
        error = "earlier text";
        QCOMPARE(operation(layer, error), ok);
        QCOMPARE(withoutVersion(error), text);
    }

    // No Oracle client here, and a connection without its driver takes no settings: the
    // rules are applied to a connection whose driver is loaded.
    void oracleSettings_data() {
        QTest::addColumn<QString>("port");
        QTest::addColumn<int>("used");
        QTest::newRow("no port: 1521") << QString() << 1521;
        QTest::newRow("port 0: 1521") << "0" << 1521;
        QTest::newRow("configured port") << "1522" << 1522;
    }

    void oracleSettings() {
        QFETCH(QString, port);
        QFETCH(int, used);
        WorkDir dir;
        DbConfig{"ORACLE", "ora-srv", "scott", "tiger", port, "shop"}.write(dir);
        {
            QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "oracle_rules");
            QVERIFY(ConnectionRules::apply(db, DbType::Oracle, DbSettings::fromIniFiles()));
            QCOMPARE(QStringList({db.databaseName(), db.hostName(), db.userName(), db.password()}),
                     QStringList({"shop", "ora-srv", "scott", "tiger"}));
            QCOMPARE(db.port(), used);
        }
        QSqlDatabase::removeDatabase("oracle_rules");
    }

    void connectionTakesFirstFreeNumber() {
        WorkDir dir;
        DbConfig{"SQLITE", {}, {}, {}, {}, "./pos.db"}.write(dir);
        QString error;
        {
            PosDB first, second;
            QVERIFY(first.openDB(error) && second.openDB(error));
            QCOMPARE(first.connectionName() + ' ' + second.connectionName(),
                     "MyDBProcessConn0 MyDBProcessConn1");
        }
        QVERIFY(!QSqlDatabase::contains("MyDBProcessConn0") && !QSqlDatabase::contains("MyDBProcessConn1"));
        QSqlDatabase::addDatabase("QSQLITE", "MyDBProcessConn0"); // the host holds number 0 already
        {
            PosDB db;
            QVERIFY(db.openDB(error));
            QCOMPARE(db.connectionName(), "MyDBProcessConn1");
        }
        QVERIFY(QSqlDatabase::contains("MyDBProcessConn0"));
        QSqlDatabase::removeDatabase("MyDBProcessConn0");
    }

    // A temporary table lives exactly as long as the session that made it.
    void openConnectionIsKept() {
        WorkDir dir;
        DbConfig{"SQLITE", {}, {}, {}, {}, "./pos.db"}.write(dir);
        PosDB db;
        QString error;
        QVERIFY(db.openDB(error) && db.execute("create temp table session_mark(x integer)", error));
        QVERIFY(db.openDB(error) && db.execute("insert into session_mark values(1)", error));
        db.close();
        QVERIFY(!db.isOpen());
        QVERIFY(db.openDB(error));
        QVERIFY(!db.execute("insert into session_mark values(1)", error));
        QCOMPARE(error,
                 "函数:excuteSQL||执行:insert into session_mark value||no such table: session_mark Unable to "
                 "execute statement");
    }

    // SQLite counts a recordset by walking it, MariaDB reports its size.
    void keyedRecordsets_data() {
        backends();
    }

    void keyedRecordsets() {
        QFETCH(QString, type);
        NEED(type == "MYSQL" ? Needs::MariaDb : Needs::Nothing);
        WorkDir dir;
        const QDateTime stamp(QDate(2024, 1, 31), QTime(10, 11, 12));
        QString error;
        const std::unique_ptr<Layer> layer = openWithTable(dir, type, stamp, error);
        QVERIFY2(layer, qPrintable(error));
        KeyedRecordsets& keyed = layer->keyed;
        QVERIFY2(keyed.open(7, "select * from kr order by id", error), qPrintable(error));
        QCOMPARE(keyed.recordCount(7), 3);
        QCOMPARE(keyed.currentRow(7), int(QSql::BeforeFirstRow));
        QVERIFY(keyed.moveFirst(7));
        QCOMPARE(keyed.intValue(7, "id"), 1);
        QCOMPARE(keyed.stringValue(7, "name"), "会员1");
        QCOMPARE(keyed.doubleValue(7, "price"), 1.25);
        QCOMPARE(keyed.dateTimeValue(7, "stamp"), stamp.addDays(1));
        QCOMPARE(keyed.bytesValue(7, "data"), QByteArray("\x00\x01\x01", 3));
        QVERIFY(keyed.moveNext(7) && keyed.intValue(7, "id") == 2);
        QVERIFY(keyed.movePrevious(7) && keyed.intValue(7, "id") == 1);
        QVERIFY(keyed.moveLast(7) && keyed.intValue(7, "id") == 3);
        QVERIFY(keyed.moveTo(7, 1));
        QCOMPARE(QList<int>({keyed.recordCount(7), keyed.currentRow(7), keyed.intValue(7, "id")}),
                 QList<int>({3, 1, 2}));
        // Counting past the end leaves the recordset past the end.
        QVERIFY(keyed.moveLast(7) && !keyed.moveNext(7));
        QCOMPARE(keyed.recordCount(7), 3);
        QCOMPARE(keyed.currentRow(7), int(QSql::AfterLastRow));
        QVERIFY(!keyed.moveFirst(8));
        QCOMPARE(keyed.recordCount(8), 0);
        QCOMPARE(keyed.stringValue(8, "name"), QString());
        // Opening under a key in use replaces its recordset.
        QVERIFY(keyed.open(7, "select id from kr where id=3", error));
        QCOMPARE(keyed.recordCount(7), 1);
        QVERIFY(keyed.close(7) && !keyed.close(7) && !keyed.moveFirst(7));
        QVERIFY(keyed.open(9, "select id from kr", error));
        layer->db.close();
        QVERIFY(!keyed.moveFirst(9));
        QCOMPARE(keyed.recordCount(9), 0);
    }

    void recordsAndTransactions_data() {
        backends();
    }

    void recordsAndTransactions() {
        QFETCH(QString, type);
        NEED(type == "MYSQL" ? Needs::MariaDb : Needs::Nothing);
        WorkDir dir;
        QString error;
        const std::unique_ptr<Layer> layer = openWithTable(dir, type, QDateTime::currentDateTime(), error);
        QVERIFY2(layer, qPrintable(error));
        PosDB& db = layer->db;
        RecordStatements& records = layer->records;
        KeyedRecordsets& keyed = layer->keyed;
        const auto nameOf = [&keyed](int id) {
            QString error;
            keyed.open(1, QString("select name from kr where id=%1").arg(id), error);
            return keyed.moveFirst(1) ? keyed.stringValue(1, "name") : "<no row>";
        };
        QVERIFY2(records.insert("kr", {"id", "name"}, {10, "O'Brien"}, error), qPrintable(error));
        QVERIFY(db.beginTransaction());
        QVERIFY2(records.update("kr", {"name"}, {"王五"}, "id=10", error), qPrintable(error));
        QVERIFY(db.rollback());
        QCOMPARE(nameOf(10), "O'Brien");
        QVERIFY(db.beginTransaction());
        QVERIFY(records.update("kr", {"name"}, {"王五"}, "id=10", error));
        QVERIFY(db.commit());
        QCOMPARE(nameOf(10), "王五");
        // Without a condition every row changes.
        QVERIFY(records.update("kr", {"price"}, {9.5}, "", error));
        QVERIFY(keyed.open(2, "select count(*) as n from kr where price=9.5", error));
        QVERIFY(keyed.moveFirst(2));
        QCOMPARE(keyed.intValue(2, "n"), 4);
        const QString insert = RecordStatements::insertText("kr", {"id", "name"}, {"11", "It's"});
        QCOMPARE(insert, "insert into kr(id,name) values('11','It''s');");
        QVERIFY2(db.execute(insert, error), qPrintable(error));
        QCOMPARE(nameOf(11), "It's");
        // The session speaks UTF-8 (MariaDB's three-byte kind) with the till.
        if (type == "MYSQL") {
            QVERIFY(keyed.open(3, "select @@character_set_client as cs", error));
            QVERIFY(keyed.moveFirst(3));
            QCOMPARE(keyed.stringValue(3, "cs"), "utf8mb3");
        }
        db.close();
        QVERIFY(!db.beginTransaction() && !db.commit() && !db.rollback());
    }

    // The server's clock, read as the server writes it: SQLite's is in UTC, so with the
    // till in Shanghai it is eight hours behind the till's; a closed connection gives the till's.
    void serverDateTime() {
        qputenv("TZ", "Asia/Shanghai");
        WorkDir dir;
        DbConfig{"SQLITE", {}, {}, {}, {}, "./pos.db"}.write(dir);
        PosDB db;
        QString error;
        QVERIFY(db.openDB(error));
        // SQLite's clock is UTC. (Windows takes no time zone from TZ: there the offset is
        // the machine's own.)
        const QDateTime server = db.serverDateTime(), till = QDateTime::currentDateTime();
        QVERIFY2(qAbs(server.secsTo(till) - till.offsetFromUtc()) < 60,
                 qPrintable(server.toString(Qt::ISODate)));
        db.close();
        QVERIFY(qAbs(db.serverDateTime().secsTo(QDateTime::currentDateTime())) < 60);
        qunsetenv("TZ");
    }
};

QTEST_MAIN(TestPosDB)
#include "tst_PosDB.moc"
