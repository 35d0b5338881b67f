// The till's database layer against real databases: SQLite files, the private
// MariaDB server of the test run (tests/mariadb.sh), and ODBC through unixODBC.
#include "db/PosDB.h"
#include "support/MariaDbServer.h"
#include "support/WorkDir.h"

#include <QDir>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QtTest>

using Calls = QList<QPair<QString, QString>>;

// No server configured: skip; one announced that does not answer: fail.
#define NEED_SERVER()                                                                                        \
    do {                                                                                                     \
        if (!m_server->isConfigured())                                                                       \
            QSKIP(qPrintable(m_server->error()));                                                            \
        QVERIFY2(m_server->isReady(), qPrintable(m_server->error()));                                        \
    } while (false)

namespace {

QString appFile(const QString& name) {
    return QCoreApplication::applicationDirPath() + '/' + name;
}

// config.ini's DataBase section as "type|server|user|password|port" (only the keys given
// are written), and ZoVORDA.ini's database name unless it is null.
void configure(const WorkDir& dir, const QString& config, const QString& dbname) {
    const QStringList keys{"DbType", "ServiceName", "UserName", "Password", "Port"},
        values = config.split('|');
    QVariantMap ini;
    for (int i = 0; i < values.size() && !config.isEmpty(); ++i)
        ini.insert("DataBase/" + keys[i], values[i]);
    dir.writeIni("config.ini", ini);
    if (!dbname.isNull())
        dir.writeIni("ZoVORDA.ini", {{"Config/dbname", dbname}});
}

// One call, written "excuteSQL:<statement>", and what came of it: "+" or "-", the text
// left in a variable that held "earlier text", and what a successful query read first.
// "keyed:" opens a recordset under a key; "exexProcWith1Arg:" passes one parameter;
// "close" answers whether the connection is still open; "state" the type, whether the
// last open failed and the connection's name; "registered" the connection's settings as
// "driver|database name|host|user|password|port".
QString call(PosDB& db, const QString& what) {
    const QString name = what.section(':', 0, 0), arg = what.section(':', 1);
    if (name == "registered") {
        const QSqlDatabase c = QSqlDatabase::database(db.connectionName(), false);
        return QStringList{c.driverName(), c.databaseName(), c.hostName(),
                           c.userName(),   c.password(),     QString::number(c.port())}
            .join('|');
    }
    if (name == "close") {
        db.close();
        return db.isOpen() ? "open" : "closed";
    }
    if (name == "state")
        return QString("%1|%2|%3").arg(db.dbType(), db.openFailed() ? "failed" : "ok", db.connectionName());
    QString error = "earlier text", read;
    bool ok = false;
    QSqlQuery query;
    QSqlQuery* handed = &query; // a refusal hands back no query
    QList<ProcParam> params;
    if (name == "exexProcWith1Arg")
        params.append(ProcParam{"shop", QSql::In, QVariant::Int, "12"});
    if (name == "openDB") {
        ok = db.openDB(error);
    } else if (name == "openRecordset") {
        ok = db.openRecordset(arg, query, error);
        if (ok && query.at() == QSql::BeforeFirstRow && query.next())
            read = " => " + query.value(0).toString();
    } else if (name == "keyed") {
        ok = db.openRecordset(3, arg, error);
        if (db.moveFirst(3))
            read = " => " + QString::number(db.getInt(3, "seven"));
    } else if (name == "excuteSQL") {
        ok = db.excuteSQL(arg, error);
    } else if (name == "exexProc") {
        ok = db.exexProc(arg, error, handed);
    } else {
        ok = db.exexProcWithArgs(arg, params, error, handed);
    }
    return (ok ? "+" : "-") + error + read + (handed ? "" : " (no query)");
}

} // namespace

class TestPosDB : public QObject {
    Q_OBJECT

    MariaDbServer* m_server = nullptr;
    QString m_sDb;
    QString m_sOdbcError;

private slots:
    void initTestCase() {
        m_server = new MariaDbServer;
        if (!m_server->isReady())
            return;
        QString error;
        m_sDb = m_server->createDatabase(error);
        QVERIFY2(!m_sDb.isEmpty(), qPrintable(error));
        // The MySQL driver comes through the socket ("localhost"), the ODBC driver over TCP.
        for (const QString host : {"localhost", "127.0.0.1"})
            QVERIFY2(
                m_server->exec(m_sDb,
                               {QString("CREATE OR REPLACE USER 'clerk'@'%1' IDENTIFIED BY 'pw-1'").arg(host),
                                QString("GRANT ALL ON `%1`.* TO 'clerk'@'%2'").arg(m_sDb, host)},
                               error),
                qPrintable(error));
        if (!m_server->registerOdbcDriver("SQL SERVER", m_sOdbcError))
            qWarning("ODBC checks against MariaDB are skipped: %s", qPrintable(m_sOdbcError));
    }

    void cleanupTestCase() {
        QString error;
        if (m_server && m_server->isReady())
            m_server->exec(
                m_sDb, {"DROP USER IF EXISTS 'clerk'@'localhost'", "DROP USER IF EXISTS 'clerk'@'127.0.0.1'"},
                error);
        delete m_server;
    }

    // Opening with every kind of setting, and what the calls then say; see configure()
    // and call(). Database names: "@work" a file in the working directory, "@db" the
    // suite's MariaDB database, "@app/" the host's folder. An expected text starting
    // with "~" is a pattern.
    void calls_data() {
        QTest::addColumn<QString>("config");
        QTest::addColumn<QString>("dbname");
        QTest::addColumn<QByteArray>("link"); // pos.udl, the Access link file
        QTest::addColumn<Calls>("calls");
        const QString failed = "数据库打开失败！", notOpened = "|| DataBase is not opened!";
        const QString noFile = "-unable to open database file Error opening database" + failed;
        const QString recordset = "函数:openRecordset||执行:",
                      missing = "||no such table: t_nowhere Unable to execute statement";
        const QString noProc = "-不支持在数据库类型SQLITE执行存储过程", badProc = " 存储过程名称或参数错误!";
        const QString access =
            "QODBC|DRIVER={Microsoft Access Driver (*.mdb,*.accdb)};DBQ=%1;UID=%2;PWD=%3||||-1";
        // No Access driver is registered with unixODBC on a Linux till.
        const QString noAccess =
            "-[unixODBC][Driver Manager]Can't open lib 'Microsoft Access Driver (*.mdb,*.accdb)' : "
            "file not found QODBC3: Unable to connect" +
            failed;
        const QString udl =
            "[oledb]\r\n; Everything after this line is an OLE DB initstring\r\n"
            "Provider=Microsoft.Jet.OLEDB.4.0;Data Source= D:\\pos\\vip.mdb ;Persist Security Info=False\r\n";
        // As Windows saves it: UTF-16, little-endian (this host's order too).
        const QByteArray utf16(reinterpret_cast<const char*>(udl.utf16()), udl.size() * 2);
        const QString viaLink = "ACCESS|pos.udl|clerk|pw", vip = access.arg("D:\\pos\\vip.mdb", "sa", "");
        const auto row = [](const char* name, const QString& config, const QString& dbname,
                            const Calls& calls, const QByteArray& link = QByteArray()) {
            QTest::newRow(name) << config << dbname << link << calls;
        };
        row("no database type", "", QString(),
            {{"openDB", "-未设置数据库类型"},
             {"openRecordset:select 1", "-Connection is not Created!"},
             {"state", "|ok|"}});
        row("unknown type", "FoxPro", QString(),
            {{"openDB", "-不支持的数据库类型FoxPro，" + failed}, {"state", "|failed|"}});
        // Without the Oracle client the toolkit's driver is missing.
        row("Oracle without its driver", "Oracle|ora-srv", QString(),
            {{"openDB", "-Driver not loaded Driver not loaded" + failed},
             {"state", "ORACLE|failed|MyDBProcessConn0"}});
        // A second attempt fails the same way, on the connection the first one made.
        row("SQLite file that cannot be opened", "SQLITE", "no/such/dir.db",
            {{"openDB", noFile},
             {"openRecordset:select 1", "-" + recordset + "select 1" + notOpened},
             {"openDB", noFile},
             {"state", "SQLITE|failed|MyDBProcessConn0"}});
        // The type is compared in upper case.
        row("SQLite without a name: pelmun beside the host", "sqlite", QString(),
            {{"openDB", "+earlier text"},
             {"state", "SQLITE|ok|MyDBProcessConn0"},
             {"registered", "QSQLITE|@app/pelmun||||-1"}});
        row("SQLite bare name, blanks trimmed", "SQLITE", "  tst_posdb_members.db ",
            {{"openDB", "+earlier text"}, {"registered", "QSQLITE|@app/tst_posdb_members.db||||-1"}});
        row("SQLite relative path used unchanged", "SQLITE", "data/m.db",
            {{"openDB", "+earlier text"}, {"registered", "QSQLITE|data/m.db||||-1"}});
        row("SQLite backslash path used unchanged", "SQLITE", "data\\m.db",
            {{"openDB", "+earlier text"}, {"registered", "QSQLITE|data\\m.db||||-1"}});
        row("SQLite statements", "SQLITE", "@work",
            {{"openDB", "+earlier text"},
             {"openRecordset:select 7 as seven", "+" + recordset + "select 7 as seven|| => 7"},
             {"openRecordset:select cardno from t_nowhere",
              "-" + recordset + "select cardno from t_nowhere" + missing},
             {"keyed:select 7 as seven", "+" + recordset + "select 7 as seven|| => 7"},
             {"keyed:select cardno from t_nowhere",
              "-" + recordset + "select cardno from t_nowhere" + missing},
             // Only the first 30 characters of a statement are named.
             {"excuteSQL:create table t_member_copy(member_id text)",
              "+函数:excuteSQL||执行:create table t_member_copy(mem||"},
             {"excuteSQL:drop table t_nowhere", "-函数:excuteSQL||执行:drop table t_nowhere" + missing},
             {"exexProc:p_sync", noProc + " (no query)"},
             {"exexProcWithArgs:p_sync", "-函数:exexProcWithArgs||执行:p_sync||" + badProc + " (no query)"},
             {"exexProcWith1Arg:", "-函数:exexProcWithArgs||执行:||" + badProc + " (no query)"},
             {"exexProcWith1Arg:p_sync", noProc + " (no query)"}});
        row("SQLite, closed connection", "SQLITE", "@work",
            {{"openDB", "+earlier text"},
             {"close", "closed"},
             {"openRecordset:select 7 as seven", "-" + recordset + "select 7 as seven" + notOpened},
             {"keyed:select 7 as seven", "-" + recordset + "select 7 as seven" + notOpened},
             {"excuteSQL:delete from t_member", "-函数:excuteSQL||执行:delete from t_member" + notOpened},
             {"exexProc:p_sync", "-函数:exexProc||执行:p_sync" + notOpened + " (no query)"}});
        // A temporary table lives exactly as long as the session that made it.
        row("an open connection is not opened again", "SQLITE", "@work",
            {{"openDB", "+earlier text"},
             {"excuteSQL:create temp table session_mark(x integer)",
              "+函数:excuteSQL||执行:create temp table session_mark||"},
             {"openDB", "+earlier text"},
             {"excuteSQL:insert into session_mark values(1)",
              "+函数:excuteSQL||执行:insert into session_mark value||"},
             {"close", "closed"},
             {"openDB", "+earlier text"},
             {"excuteSQL:insert into session_mark values(1)",
              "-函数:excuteSQL||执行:insert into session_mark value||no such table: session_mark Unable to "
              "execute statement"},
             {"state", "SQLITE|ok|MyDBProcessConn0"}});
        row("SQL Server, default port 1433", "SQLSERVER|127.0.0.1|pos|pw", QString(),
            {{"openDB", "~^-"},
             {"registered", "QODBC|DRIVER={SQL SERVER};SERVER=127.0.0.1;DATABASE=pelmun||pos|pw|1433"}});
        row("SQL Server, configured port", "sqlserver|127.0.0.1\\POS|||2433", "shop_db",
            {{"openDB", "~^-"},
             {"registered", "QODBC|DRIVER={SQL SERVER};SERVER=127.0.0.1\\POS;DATABASE=shop_db||||2433"}});
        row("Access file beside the host, user sa", "ACCESS", "pelmun.mdb",
            {{"openDB", noAccess}, {"registered", access.arg("@app/pelmun.mdb", "sa", "")}});
        row("Access file with path, own user", "ACCESS||clerk|pw", "D:\\pos\\pelmun.mdb",
            {{"openDB", noAccess}, {"registered", access.arg("D:\\pos\\pelmun.mdb", "clerk", "pw")}});
        row("Access link file in UTF-8", viaLink, QString(), {{"openDB", noAccess}, {"registered", vip}},
            udl.toUtf8());
        row("Access link file in UTF-16 without mark", viaLink, QString(),
            {{"openDB", noAccess}, {"registered", vip}}, utf16);
        row("Access link file in UTF-16 with mark", viaLink, QString(),
            {{"openDB", noAccess}, {"registered", vip}}, "\xff\xfe" + utf16);
        row("Access link file missing: refused without a driver text", viaLink, QString(),
            {{"openDB", "-earlier text" + failed}, {"registered", "QODBC|||||-1"}});
        row("Access link to a bare file name", viaLink, QString(),
            {{"openDB", noAccess}, {"registered", access.arg("@app/vip.mdb", "sa", "")}},
            "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=vip.mdb");
        // The configured port is never used (port 1 would fail): the driver's default applies.
        const auto maria = [&](const char* name, const QString& config, const QString& dbname,
                               const QString& open, const QString& login) {
            Calls calls{{"openDB", open},
                        {"state", open.startsWith('+') ? "MYSQL|ok|MyDBProcessConn0"
                                                       : "MYSQL|failed|MyDBProcessConn0"},
                        {"registered", "QMYSQL|" + dbname + '|' + login + "|-1"}};
            if (open.startsWith('+'))
                calls.append({"openRecordset:select @@character_set_client",
                              "+" + recordset + "select @@character_set_client|| => utf8mb3"});
            row(name, config, dbname, calls);
        };
        maria("MariaDB: empty server and user, localhost as root", "mysql||||1", "@db", "+earlier text",
              "localhost|root|");
        maria("MariaDB: configured port is not used", "MYSQL|127.0.0.1|root||1", "@db", "+earlier text",
              "127.0.0.1|root|");
        maria("MariaDB: own user and password", "MYSQL|localhost|clerk|pw-1|1", "@db", "+earlier text",
              "localhost|clerk|pw-1");
        maria("MariaDB: wrong password", "MYSQL|localhost|clerk|pw-2|1", "@db",
              "-Access denied for user 'clerk'@'localhost' (using password: YES) QMYSQL: Unable to connect" +
                  failed,
              "localhost|clerk|pw-2");
        maria("MariaDB: unknown database", "MYSQL||||1", "nosuch_zovorda",
              "-Unknown database 'nosuch_zovorda' QMYSQL: Unable to connect" + failed, "localhost|root|");
        maria("MariaDB: empty database name, refused without a driver text", "MYSQL||||1", "",
              "-earlier text" + failed, "localhost|root|");
        // MariaDB stands in for the SQL Server behind the "SQL SERVER" ODBC driver name.
        row("SQL Server through ODBC", "SQLSERVER|localhost|clerk|pw-1", "@db",
            {{"openDB", "+earlier text"},
             {"openRecordset:select concat(database(), ' 会员')",
              "+" + recordset + "select concat(database(), ' 会员')|| => @db 会员"}});
        // The driver puts its version in front: "[ma-3.1.15]…".
        row("SQL Server through ODBC, unknown database", "SQLSERVER|localhost|clerk|pw-1", "nosuch_db",
            {{"openDB",
              "~^-\\[ma-[0-9.]+\\]Access denied for user 'clerk'@'127\\.0\\.0\\.1' to database 'nosuch_db' "
              "QODBC3: Unable to connect" +
                  failed + "$"}});
    }

    void calls() {
        QFETCH(QString, config);
        QFETCH(QString, dbname);
        QFETCH(QByteArray, link);
        QFETCH(Calls, calls);
        const QString type = config.section('|', 0, 0).toUpper();
        if (type == "MYSQL" || config.startsWith("SQLSERVER|localhost")) {
            NEED_SERVER();
            if (type == "SQLSERVER" && !m_sOdbcError.isEmpty())
                QSKIP(qPrintable(m_sOdbcError));
        }
        WorkDir dir;
        QDir().mkdir("data");
        configure(dir, config, dbname == "@work" ? dir.filePath("pos.db") : dbname == "@db" ? m_sDb : dbname);
        if (!link.isEmpty())
            dir.writeFile("pos.udl", link);
        if (type == "ORACLE") {
            QTest::ignoreMessage(QtWarningMsg, "QSqlDatabase: QOCI driver not loaded");
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^QSqlDatabase: available drivers:"));
        }
        QStringList madeFiles;
        {
            PosDB db;
            for (const auto& c : calls) {
                const QString got = call(db, c.first);
                const QString expected =
                    QString(c.second).replace("@db", m_sDb).replace("@app/", appFile(""));
                if (expected.startsWith('~'))
                    QVERIFY2(QRegularExpression(expected.mid(1)).match(got).hasMatch(), qPrintable(got));
                else
                    QCOMPARE(got, expected);
                if (c.first == "registered" && got.startsWith("QSQLITE|"))
                    madeFiles << got.section('|', 1, 1);
            }
        }
        // The open makes the SQLite file; one beside the host is removed again.
        for (const QString& file : madeFiles) {
            QVERIFY2(QFile::exists(file), qPrintable(file));
            if (file.startsWith(appFile("")))
                QFile::remove(file);
        }
    }

    void connectionTakesFirstFreeNumber() {
        WorkDir dir;
        configure(dir, "SQLITE", dir.filePath("pos.db"));
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

    // SQLite counts a recordset by walking it, MariaDB reports its size.
    void recordsetsAndTransactions_data() {
        QTest::addColumn<QString>("backend");
        QTest::newRow("SQLite") << "SQLITE";
        QTest::newRow("MariaDB") << "MYSQL";
    }

    void recordsetsAndTransactions() {
        QFETCH(QString, backend);
        if (backend == "MYSQL")
            NEED_SERVER();
        WorkDir dir;
        configure(dir, backend, backend == "MYSQL" ? m_sDb : dir.filePath("pos.db"));
        PosDB db;
        QString error;
        QVERIFY2(db.openDB(error), qPrintable(error));
        const QDateTime stamp(QDate(2024, 1, 31), QTime(10, 11, 12));
        QVERIFY(db.excuteSQL("drop table if exists kr", error));
        QVERIFY2(db.excuteSQL(
                     "create table kr(id integer, name varchar(20), price double, stamp datetime, data blob)",
                     error),
                 qPrintable(error));
        for (int id = 1; id <= 3; ++id)
            QVERIFY2(db.insertRecord("kr", {"id", "name", "price", "stamp", "data"},
                                     {id, QString("会员%1").arg(id), id + 0.25, stamp.addDays(id),
                                      QByteArray("\x00\x01", 2) + char(id)},
                                     error),
                     qPrintable(error));
        QVERIFY2(db.openRecordset(7, "select * from kr order by id", error), qPrintable(error));
        QCOMPARE(db.recordCount(7), 3);
        QCOMPARE(db.currentRow(7), int(QSql::BeforeFirstRow));
        QVERIFY(db.moveFirst(7));
        QCOMPARE(db.getInt(7, "id"), 1);
        QCOMPARE(db.getString(7, "name"), "会员1");
        QCOMPARE(db.getDouble(7, "price"), 1.25);
        QCOMPARE(db.getDateTime(7, "stamp"), stamp.addDays(1));
        QCOMPARE(db.getBytes(7, "data"), QByteArray("\x00\x01\x01", 3));
        QVERIFY(db.moveNext(7) && db.getInt(7, "id") == 2);
        QVERIFY(db.movePrevious(7) && db.getInt(7, "id") == 1);
        QVERIFY(db.moveLast(7) && db.getInt(7, "id") == 3);
        QVERIFY(db.moveTo(7, 1));
        QCOMPARE(QList<int>({db.recordCount(7), db.currentRow(7), db.getInt(7, "id")}),
                 QList<int>({3, 1, 2}));
        QVERIFY(!db.moveFirst(8));
        QCOMPARE(db.recordCount(8), 0);
        QCOMPARE(db.getString(8, "name"), QString());
        // Opening under a key in use replaces its recordset.
        QVERIFY(db.openRecordset(7, "select id from kr where id=3", error));
        QCOMPARE(db.recordCount(7), 1);
        QVERIFY(db.closeRecordset(7) && !db.closeRecordset(7) && !db.moveFirst(7));

        const auto nameOf = [&db](int id) {
            QString error;
            db.openRecordset(1, QString("select name from kr where id=%1").arg(id), error);
            return db.moveFirst(1) ? db.getString(1, "name") : "<no row>";
        };
        QVERIFY2(db.insertRecord("kr", {"id", "name"}, {10, "O'Brien"}, error), qPrintable(error));
        QVERIFY(db.beginTrans());
        QVERIFY2(db.updateRecord("kr", {"name"}, {"王五"}, "id=10", error), qPrintable(error));
        QVERIFY(db.rollbackTrans());
        QCOMPARE(nameOf(10), "O'Brien");
        QVERIFY(db.beginTrans());
        QVERIFY(db.updateRecord("kr", {"name"}, {"王五"}, "id=10", error));
        QVERIFY(db.commitTrans());
        QCOMPARE(nameOf(10), "王五");
        QVERIFY(!db.insertRecord("kr", {"id", "name"}, {11}, error));
        QCOMPARE(error, "函数:insertRecord||执行:kr||字段与值的个数不符");
        const QString insert = PosDB::insertText("kr", {"id", "name"}, {"11", "It's"});
        QCOMPARE(insert, "insert into kr(id,name) values('11','It''s');");
        QVERIFY2(db.excuteSQL(insert, error), qPrintable(error));
        QCOMPARE(nameOf(11), "It's");

        QVERIFY(db.openRecordset(9, "select id from kr", error));
        db.close();
        QVERIFY(!db.moveFirst(9));
        QCOMPARE(db.recordCount(9), 0);
    }
};

QTEST_MAIN(TestPosDB)
#include "tst_PosDB.moc"
