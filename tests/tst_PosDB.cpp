// The till's database layer against real databases: SQLite files, the private
// MariaDB server of the test run (tests/mariadb.sh), and ODBC through unixODBC.
#include "db/PosDB.h"
#include "support/MariaDbServer.h"
#include "support/WorkDir.h"

#include <QDir>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QtTest>

namespace {

const QString kPlaceholderDb = QStringLiteral("@db");

// What the process-wide registry holds for the connection a PosDB made.
struct Registered {
    QString driver, databaseName, host, user, password;
    int port = 0;
};

Registered registered(const PosDB& db) {
    const QSqlDatabase c = QSqlDatabase::database(db.connectionName(), false);
    return {c.driverName(), c.databaseName(), c.hostName(), c.userName(), c.password(), c.port()};
}

QString appFile(const QString& name) {
    return QCoreApplication::applicationDirPath() + QLatin1Char('/') + name;
}

void useSqlite(const WorkDir& dir) {
    dir.writeIni(QStringLiteral("config.ini"),
                 {{QStringLiteral("DataBase/DbType"), QStringLiteral("SQLITE")}});
    dir.writeIni(QStringLiteral("ZoVORDA.ini"), {{QStringLiteral("Config/dbname"), dir.filePath("pos.db")}});
}

} // namespace

class TestPosDB : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();

    void unconfiguredTypeRefuses();
    void unknownTypeRefuses();
    void sqliteDatabaseFile_data();
    void sqliteDatabaseFile();
    void sqliteOpenFailure();
    void connectionTakesFirstFreeNumber();
    void openConnectionIsNotReopened();
    void statementTexts_data();
    void statementTexts();
    void procedureRefusals();
    void oracleWithoutDriver();
    void odbcConnectionStrings_data();
    void odbcConnectionStrings();
    void mysqlOpen_data();
    void mysqlOpen();
    void sqlServerThroughOdbc();
    void keyedRecordsets_data();
    void keyedRecordsets();
    void transactionsAndBuilders_data();
    void transactionsAndBuilders();

private:
    // Points config.ini at the backend; false with a reason when it is not there.
    bool useBackend(const WorkDir& dir, const QString& backend, QString& why);

    MariaDbServer* m_server = nullptr;
    QString m_sDb;
    QString m_sOdbcError;
};

void TestPosDB::initTestCase() {
    m_server = new MariaDbServer;
    if (!m_server->isReady())
        return;
    QString error;
    m_sDb = m_server->createDatabase(error);
    QVERIFY2(!m_sDb.isEmpty(), qPrintable(error));
    // The MySQL driver comes through the socket ("localhost"), the ODBC driver over TCP.
    for (const QString& host : {QStringLiteral("localhost"), QStringLiteral("127.0.0.1")}) {
        QVERIFY2(m_server->exec(
                     m_sDb,
                     {QStringLiteral("CREATE OR REPLACE USER 'clerk'@'%1' IDENTIFIED BY 'pw-1'").arg(host),
                      QStringLiteral("GRANT ALL ON `%1`.* TO 'clerk'@'%2'").arg(m_sDb, host)},
                     error),
                 qPrintable(error));
    }
    if (!m_server->registerOdbcDriver(QStringLiteral("SQL SERVER"), m_sOdbcError))
        qWarning("ODBC checks against MariaDB are skipped: %s", qPrintable(m_sOdbcError));
}

void TestPosDB::cleanupTestCase() {
    if (m_server && m_server->isReady()) {
        QString error;
        m_server->exec(m_sDb,
                       {QStringLiteral("DROP USER IF EXISTS 'clerk'@'localhost'"),
                        QStringLiteral("DROP USER IF EXISTS 'clerk'@'127.0.0.1'")},
                       error);
    }
    delete m_server;
}

bool TestPosDB::useBackend(const WorkDir& dir, const QString& backend, QString& why) {
    if (backend == QLatin1String("sqlite")) {
        useSqlite(dir);
        return true;
    }
    if (!m_server->isReady()) {
        why = m_server->error();
        return false;
    }
    dir.writeIni(QStringLiteral("config.ini"),
                 {{QStringLiteral("DataBase/DbType"), QStringLiteral("MYSQL")}});
    dir.writeIni(QStringLiteral("ZoVORDA.ini"), {{QStringLiteral("Config/dbname"), m_sDb}});
    return true;
}

void TestPosDB::unconfiguredTypeRefuses() {
    WorkDir dir;
    PosDB db;
    QString error = QStringLiteral("earlier text");
    QVERIFY(!db.openDB(error));
    QCOMPARE(error, QStringLiteral("未设置数据库类型"));
    QVERIFY(db.connectionName().isEmpty());

    QSqlQuery query;
    QVERIFY(!db.openRecordset(QStringLiteral("select 1"), query, error));
    QCOMPARE(error, QStringLiteral("Connection is not Created!"));
}

void TestPosDB::unknownTypeRefuses() {
    WorkDir dir;
    dir.writeIni(QStringLiteral("config.ini"),
                 {{QStringLiteral("DataBase/DbType"), QStringLiteral("FoxPro")}});
    PosDB db;
    QString error;
    QVERIFY(!db.openDB(error));
    QCOMPARE(error, QStringLiteral("不支持的数据库类型FoxPro，数据库打开失败！"));
    QVERIFY(db.openFailed());
    QVERIFY(db.connectionName().isEmpty());
}

void TestPosDB::sqliteDatabaseFile_data() {
    QTest::addColumn<QVariant>("dbname");
    QTest::addColumn<QString>("file");
    QTest::addColumn<bool>("inAppDir");

    QTest::newRow("no dbname: pelmun beside the host") << QVariant() << QStringLiteral("pelmun") << true;
    QTest::newRow("bare name, blanks trimmed") << QVariant(QStringLiteral("  tst_posdb_members.db "))
                                               << QStringLiteral("tst_posdb_members.db") << true;
    QTest::newRow("relative path used unchanged")
        << QVariant(QStringLiteral("data/m.db")) << QStringLiteral("data/m.db") << false;
    QTest::newRow("backslash path used unchanged")
        << QVariant(QStringLiteral("data\\m.db")) << QStringLiteral("data\\m.db") << false;
}

void TestPosDB::sqliteDatabaseFile() {
    QFETCH(QVariant, dbname);
    QFETCH(QString, file);
    QFETCH(bool, inAppDir);
    WorkDir dir;
    QDir().mkdir(QStringLiteral("data"));
    // Lower case on purpose: the type is compared in upper case.
    dir.writeIni(QStringLiteral("config.ini"),
                 {{QStringLiteral("DataBase/DbType"), QStringLiteral("sqlite")}});
    if (dbname.isValid())
        dir.writeIni(QStringLiteral("ZoVORDA.ini"), {{QStringLiteral("Config/dbname"), dbname}});
    const QString expected = inAppDir ? appFile(file) : file;
    const bool existed = QFile::exists(expected);

    {
        PosDB db;
        QString error;
        QVERIFY2(db.openDB(error), qPrintable(error));
        QCOMPARE(db.dbType(), QStringLiteral("SQLITE"));
        QCOMPARE(registered(db).driver, QStringLiteral("QSQLITE"));
        QCOMPARE(registered(db).databaseName, expected);
    }
    QVERIFY(QFile::exists(expected));
    if (!existed)
        QFile::remove(expected);
}

void TestPosDB::sqliteOpenFailure() {
    WorkDir dir;
    dir.writeIni(QStringLiteral("config.ini"),
                 {{QStringLiteral("DataBase/DbType"), QStringLiteral("SQLITE")}});
    dir.writeIni(QStringLiteral("ZoVORDA.ini"),
                 {{QStringLiteral("Config/dbname"), QStringLiteral("no/such/dir.db")}});
    PosDB db;
    QString error = QStringLiteral("earlier text");
    QVERIFY(!db.openDB(error));
    QCOMPARE(error, QStringLiteral("unable to open database file Error opening database数据库打开失败！"));
    QVERIFY(db.openFailed());

    QSqlQuery query;
    QVERIFY(!db.openRecordset(QStringLiteral("select 1"), query, error));
    QCOMPARE(error, QStringLiteral("函数:openRecordset||执行:select 1|| DataBase is not opened!"));

    // A second attempt fails the same way; the connection made by the first is reused.
    const QString name = db.connectionName();
    error.clear();
    QVERIFY(!db.openDB(error));
    QCOMPARE(error, QStringLiteral("unable to open database file Error opening database数据库打开失败！"));
    QCOMPARE(db.connectionName(), name);
}

void TestPosDB::connectionTakesFirstFreeNumber() {
    WorkDir dir;
    useSqlite(dir);
    QString error;
    {
        PosDB first;
        PosDB second;
        QVERIFY(first.openDB(error));
        QVERIFY(second.openDB(error));
        QCOMPARE(first.connectionName(), QStringLiteral("MyDBProcessConn0"));
        QCOMPARE(second.connectionName(), QStringLiteral("MyDBProcessConn1"));
    }
    QVERIFY(!QSqlDatabase::contains(QStringLiteral("MyDBProcessConn0")));
    QVERIFY(!QSqlDatabase::contains(QStringLiteral("MyDBProcessConn1")));

    // The host holds number 0 already.
    QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("MyDBProcessConn0"));
    {
        PosDB db;
        QVERIFY(db.openDB(error));
        QCOMPARE(db.connectionName(), QStringLiteral("MyDBProcessConn1"));
    }
    QVERIFY(QSqlDatabase::contains(QStringLiteral("MyDBProcessConn0")));
    QSqlDatabase::removeDatabase(QStringLiteral("MyDBProcessConn0"));
}

void TestPosDB::openConnectionIsNotReopened() {
    WorkDir dir;
    useSqlite(dir);
    PosDB db;
    QString error;
    QVERIFY(db.openDB(error));
    // A temporary table lives exactly as long as the session that made it.
    QVERIFY2(db.excuteSQL(QStringLiteral("create temp table session_mark(x integer)"), error),
             qPrintable(error));
    error = QStringLiteral("kept");
    QVERIFY(db.openDB(error));
    QCOMPARE(error, QStringLiteral("kept"));
    QVERIFY(!db.openFailed());
    QVERIFY2(db.excuteSQL(QStringLiteral("insert into session_mark values(1)"), error), qPrintable(error));

    db.close();
    QVERIFY(!db.isOpen());
    QVERIFY(db.openDB(error));
    QVERIFY(!db.excuteSQL(QStringLiteral("insert into session_mark values(1)"), error));
}

void TestPosDB::statementTexts_data() {
    QTest::addColumn<QString>("call");
    QTest::addColumn<QString>("sql");
    QTest::addColumn<bool>("closed");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QString>("text");

    for (const QString& call : {QStringLiteral("openRecordset"), QStringLiteral("keyed openRecordset")}) {
        const QString prefix = QStringLiteral("函数:openRecordset||执行:");
        QTest::addRow("%s keeps its prefix on success", qPrintable(call))
            << call << QStringLiteral("select 7 as seven") << false << true
            << prefix + QStringLiteral("select 7 as seven||");
        QTest::addRow("%s of a missing table", qPrintable(call))
            << call << QStringLiteral("select cardno from t_nowhere") << false << false
            << prefix +
                   QStringLiteral("select cardno from t_nowhere||no such table: t_nowhere Unable to execute "
                                  "statement");
        QTest::addRow("%s on a closed connection", qPrintable(call))
            << call << QStringLiteral("select 7 as seven") << true << false
            << prefix + QStringLiteral("select 7 as seven|| DataBase is not opened!");
    }
    QTest::newRow("excuteSQL names only 30 characters")
        << QStringLiteral("excuteSQL") << QStringLiteral("create table t_member_copy(member_id text)")
        << false << true << QStringLiteral("函数:excuteSQL||执行:create table t_member_copy(mem||");
    QTest::newRow("excuteSQL failing")
        << QStringLiteral("excuteSQL") << QStringLiteral("drop table t_nowhere") << false << false
        << QStringLiteral(
               "函数:excuteSQL||执行:drop table t_nowhere||no such table: t_nowhere Unable to execute "
               "statement");
    QTest::newRow("excuteSQL on a closed connection")
        << QStringLiteral("excuteSQL") << QStringLiteral("delete from t_member") << true << false
        << QStringLiteral("函数:excuteSQL||执行:delete from t_member|| DataBase is not opened!");
}

void TestPosDB::statementTexts() {
    QFETCH(QString, call);
    QFETCH(QString, sql);
    QFETCH(bool, closed);
    QFETCH(bool, ok);
    QFETCH(QString, text);
    WorkDir dir;
    useSqlite(dir);
    PosDB db;
    QString error;
    QVERIFY(db.openDB(error));
    if (closed)
        db.close();

    if (call == QLatin1String("openRecordset")) {
        QSqlQuery query;
        QCOMPARE(db.openRecordset(sql, query, error), ok);
        QCOMPARE(error, text);
        if (ok) {
            QCOMPARE(query.at(), int(QSql::BeforeFirstRow));
            QVERIFY(query.next());
            QCOMPARE(query.value(QStringLiteral("seven")).toInt(), 7);
        }
    } else if (call == QLatin1String("keyed openRecordset")) {
        QCOMPARE(db.openRecordset(3, sql, error), ok);
        QCOMPARE(error, text);
        QCOMPARE(db.moveFirst(3), ok);
        QCOMPARE(db.getInt(3, QStringLiteral("seven")), ok ? 7 : 0);
    } else {
        QCOMPARE(db.excuteSQL(sql, error), ok);
        QCOMPARE(error, text);
    }
}

void TestPosDB::procedureRefusals() {
    WorkDir dir;
    useSqlite(dir);
    PosDB db;
    QString error;
    QVERIFY(db.openDB(error));
    QSqlQuery sentinel;
    QSqlQuery* query = &sentinel; // a refusal hands back no query
    QList<ProcParam> params;

    QVERIFY(!db.exexProc(QStringLiteral("p_sync"), error, query));
    QCOMPARE(error, QStringLiteral("不支持在数据库类型SQLITE执行存储过程"));
    QCOMPARE(query, nullptr);

    QVERIFY(!db.exexProcWithArgs(QStringLiteral("p_sync"), params, error, query));
    QCOMPARE(error, QStringLiteral("函数:exexProcWithArgs||执行:p_sync|| 存储过程名称或参数错误!"));
    params.append(ProcParam{QStringLiteral("shop"), QSql::In, QVariant::Int, QStringLiteral("12")});
    QVERIFY(!db.exexProcWithArgs(QString(), params, error, query));
    QCOMPARE(error, QStringLiteral("函数:exexProcWithArgs||执行:|| 存储过程名称或参数错误!"));
    QVERIFY(!db.exexProcWithArgs(QStringLiteral("p_sync"), params, error, query));
    QCOMPARE(error, QStringLiteral("不支持在数据库类型SQLITE执行存储过程"));

    db.close();
    QVERIFY(!db.exexProc(QStringLiteral("p_sync"), error, query));
    QCOMPARE(error, QStringLiteral("函数:exexProc||执行:p_sync|| DataBase is not opened!"));
}

void TestPosDB::oracleWithoutDriver() {
    // Without the Oracle client the toolkit's driver is missing; the connection it
    // registers then keeps none of the settings, so only the text can be checked here.
    WorkDir dir;
    dir.writeIni(QStringLiteral("config.ini"),
                 {{QStringLiteral("DataBase/DbType"), QStringLiteral("Oracle")},
                  {QStringLiteral("DataBase/ServiceName"), QStringLiteral("ora-srv")}});
    PosDB db;
    QString error;
    QTest::ignoreMessage(QtWarningMsg, "QSqlDatabase: QOCI driver not loaded");
    QTest::ignoreMessage(QtWarningMsg,
                         QRegularExpression(QStringLiteral("^QSqlDatabase: available drivers:")));
    QVERIFY(!db.openDB(error));
    QCOMPARE(error, QStringLiteral("Driver not loaded Driver not loaded数据库打开失败！"));
    QCOMPARE(db.dbType(), QStringLiteral("ORACLE"));
    QVERIFY(db.openFailed());
}

void TestPosDB::odbcConnectionStrings_data() {
    QTest::addColumn<QVariantMap>("config");
    QTest::addColumn<QVariant>("dbname");
    QTest::addColumn<QByteArray>("linkFile");
    QTest::addColumn<QString>("connection");
    QTest::addColumn<int>("port");

    const QString access =
        QStringLiteral("DRIVER={Microsoft Access Driver (*.mdb,*.accdb)};DBQ=%1;UID=%2;PWD=%3");
    const QString type = QStringLiteral("DataBase/DbType");
    const QString server = QStringLiteral("DataBase/ServiceName");
    const QString user = QStringLiteral("DataBase/UserName");
    const QString password = QStringLiteral("DataBase/Password");
    const QString portKey = QStringLiteral("DataBase/Port");

    QTest::newRow("SQL Server, default port 1433")
        << QVariantMap{{type, "SQLSERVER"}, {server, "127.0.0.1"}, {user, "pos"}, {password, "pw"}}
        << QVariant() << QByteArray()
        << QStringLiteral("DRIVER={SQL SERVER};SERVER=127.0.0.1;DATABASE=pelmun") << 1433;
    QTest::newRow("SQL Server, configured port")
        << QVariantMap{{type, "sqlserver"}, {server, "127.0.0.1\\POS"}, {portKey, "2433"}}
        << QVariant(QStringLiteral("shop_db")) << QByteArray()
        << QStringLiteral("DRIVER={SQL SERVER};SERVER=127.0.0.1\\POS;DATABASE=shop_db") << 2433;
    QTest::newRow("Access file beside the host, user sa")
        << QVariantMap{{type, "ACCESS"}} << QVariant(QStringLiteral("pelmun.mdb")) << QByteArray()
        << access.arg(appFile("pelmun.mdb"), "sa", "") << -1;
    QTest::newRow("Access file with path, own user")
        << QVariantMap{{type, "ACCESS"}, {user, "clerk"}, {password, "pw"}}
        << QVariant(QStringLiteral("D:\\pos\\pelmun.mdb")) << QByteArray()
        << access.arg("D:\\pos\\pelmun.mdb", "clerk", "pw") << -1;

    const QString udl = QStringLiteral("[oledb]\r\n; Everything after this line is an OLE DB initstring\r\n"
                                       "Provider=Microsoft.Jet.OLEDB.4.0;Data Source= D:\\pos\\vip.mdb ;"
                                       "Persist Security Info=False\r\n");
    // As Windows saves it: UTF-16, little-endian (this host's order too).
    const QByteArray utf16(reinterpret_cast<const char*>(udl.utf16()), udl.size() * 2);
    const QVariantMap viaLink{{type, "ACCESS"}, {server, "pos.udl"}, {user, "clerk"}, {password, "pw"}};
    QTest::newRow("Access link file in UTF-8")
        << viaLink << QVariant() << udl.toUtf8() << access.arg("D:\\pos\\vip.mdb", "sa", "") << -1;
    QTest::newRow("Access link file in UTF-16 without mark")
        << viaLink << QVariant() << utf16 << access.arg("D:\\pos\\vip.mdb", "sa", "") << -1;
    QTest::newRow("Access link file in UTF-16 with mark")
        << viaLink << QVariant() << QByteArray("\xff\xfe") + utf16 << access.arg("D:\\pos\\vip.mdb", "sa", "")
        << -1;
    QTest::newRow("Access link file missing: refused without a driver text")
        << viaLink << QVariant() << QByteArray() << QString() << -1;
    QTest::newRow("Access link to a bare file name")
        << viaLink << QVariant() << QByteArray("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=vip.mdb")
        << access.arg(appFile("vip.mdb"), "sa", "") << -1;
}

void TestPosDB::odbcConnectionStrings() {
    QFETCH(QVariantMap, config);
    QFETCH(QVariant, dbname);
    QFETCH(QByteArray, linkFile);
    QFETCH(QString, connection);
    QFETCH(int, port);
    WorkDir dir;
    dir.writeIni(QStringLiteral("config.ini"), config);
    if (dbname.isValid())
        dir.writeIni(QStringLiteral("ZoVORDA.ini"), {{QStringLiteral("Config/dbname"), dbname}});
    if (!linkFile.isEmpty())
        dir.writeFile(QStringLiteral("pos.udl"), linkFile);
    PosDB db;
    QString error;
    const bool opened = db.openDB(error);
    const Registered c = registered(db);
    QCOMPARE(c.driver, QStringLiteral("QODBC"));
    QCOMPARE(c.databaseName, connection);
    QCOMPARE(c.port, port);
    if (db.dbType() == QLatin1String("ACCESS")) {
        // No Access driver is registered with unixODBC on a Linux till.
        QVERIFY(!opened);
        if (connection.isEmpty())
            QCOMPARE(error, QStringLiteral("数据库打开失败！"));
        else
            QCOMPARE(error,
                     QStringLiteral(
                         "[unixODBC][Driver Manager]Can't open lib 'Microsoft Access Driver "
                         "(*.mdb,*.accdb)' : file not found QODBC3: Unable to connect数据库打开失败！"));
    } else {
        QCOMPARE(c.user, config.value(QStringLiteral("DataBase/UserName")).toString());
        QCOMPARE(c.password, config.value(QStringLiteral("DataBase/Password")).toString());
    }
}

void TestPosDB::mysqlOpen_data() {
    QTest::addColumn<QString>("server");
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("dbname");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("host");
    QTest::addColumn<QString>("login");

    struct Row {
        const char* name;
        QString server, user, password, dbname;
        bool ok;
        QString text, host, login;
    };
    const QList<Row> rows = {
        {"empty server and user: localhost as root", "", "", "", kPlaceholderDb, true, "before:", "localhost",
         "root"},
        // Port 1 would fail; the driver's default (the test server's) applies instead.
        {"configured port is not used", "127.0.0.1", "root", "", kPlaceholderDb, true, "before:", "127.0.0.1",
         "root"},
        {"own user and password", "localhost", "clerk", "pw-1", kPlaceholderDb, true, "before:", "localhost",
         "clerk"},
        {"wrong password", "localhost", "clerk", "pw-2", kPlaceholderDb, false,
         "Access denied for user 'clerk'@'localhost' (using password: YES) QMYSQL: Unable to "
         "connect数据库打开失败！",
         "localhost", "clerk"},
        {"unknown database", "", "", "", "nosuch_zovorda", false,
         "Unknown database 'nosuch_zovorda' QMYSQL: Unable to connect数据库打开失败！", "localhost", "root"},
        {"empty database name: refused without a driver text", "", "", "", "", false,
         "before:数据库打开失败！", "localhost", "root"},
    };
    for (const Row& r : rows)
        QTest::newRow(r.name) << r.server << r.user << r.password << r.dbname << r.ok << r.text << r.host
                              << r.login;
}

void TestPosDB::mysqlOpen() {
    QFETCH(QString, server);
    QFETCH(QString, user);
    QFETCH(QString, password);
    QFETCH(QString, dbname);
    QFETCH(bool, ok);
    QFETCH(QString, text);
    QFETCH(QString, host);
    QFETCH(QString, login);
    if (!m_server->isConfigured())
        QSKIP(qPrintable(m_server->error()));
    QVERIFY2(m_server->isReady(), qPrintable(m_server->error()));
    WorkDir dir;
    dir.writeIni(QStringLiteral("config.ini"), {{QStringLiteral("DataBase/DbType"), QStringLiteral("mysql")},
                                                {QStringLiteral("DataBase/ServiceName"), server},
                                                {QStringLiteral("DataBase/UserName"), user},
                                                {QStringLiteral("DataBase/Password"), password},
                                                {QStringLiteral("DataBase/Port"), QStringLiteral("1")}});
    dir.writeIni(QStringLiteral("ZoVORDA.ini"),
                 {{QStringLiteral("Config/dbname"), dbname == kPlaceholderDb ? m_sDb : dbname}});
    PosDB db;
    QString error = QStringLiteral("before:");
    QCOMPARE(db.openDB(error), ok);
    QCOMPARE(error, text);
    QCOMPARE(db.openFailed(), !ok);
    const Registered c = registered(db);
    QCOMPARE(c.driver, QStringLiteral("QMYSQL"));
    QCOMPARE(c.host, host);
    QCOMPARE(c.user, login);
    QCOMPARE(c.port, -1);
    if (ok) {
        QSqlQuery query;
        QVERIFY(db.openRecordset(QStringLiteral("select @@character_set_client as cs"), query, error));
        QVERIFY(query.next());
        QCOMPARE(query.value(QStringLiteral("cs")).toString(), QStringLiteral("utf8mb3"));
    }
}

void TestPosDB::sqlServerThroughOdbc() {
    if (!m_server->isConfigured())
        QSKIP(qPrintable(m_server->error()));
    QVERIFY2(m_server->isReady(), qPrintable(m_server->error()));
    if (!m_sOdbcError.isEmpty())
        QSKIP(qPrintable(m_sOdbcError));
    // MariaDB stands in for the SQL Server behind the "SQL SERVER" ODBC driver name.
    WorkDir dir;
    dir.writeIni(QStringLiteral("config.ini"),
                 {{QStringLiteral("DataBase/DbType"), QStringLiteral("SQLSERVER")},
                  {QStringLiteral("DataBase/ServiceName"), QStringLiteral("localhost")},
                  {QStringLiteral("DataBase/UserName"), QStringLiteral("clerk")},
                  {QStringLiteral("DataBase/Password"), QStringLiteral("pw-1")}});
    dir.writeIni(QStringLiteral("ZoVORDA.ini"), {{QStringLiteral("Config/dbname"), m_sDb}});
    {
        PosDB db;
        QString error;
        QVERIFY2(db.openDB(error), qPrintable(error));
        QSqlQuery query;
        QVERIFY2(db.openRecordset(QStringLiteral("select database() as db, '会员' as word"), query, error),
                 qPrintable(error));
        QVERIFY(query.next());
        QCOMPARE(query.value(QStringLiteral("db")).toString(), m_sDb);
        QCOMPARE(query.value(QStringLiteral("word")).toString(), QStringLiteral("会员"));
    }
    dir.writeIni(QStringLiteral("ZoVORDA.ini"),
                 {{QStringLiteral("Config/dbname"), QStringLiteral("nosuch_db")}});
    PosDB db;
    QString error;
    QVERIFY(!db.openDB(error));
    // The driver puts its version in front: "[ma-3.1.15]…".
    const QString expected =
        QStringLiteral("]Access denied for user 'clerk'@'127.0.0.1' to database 'nosuch_db' "
                       "QODBC3: Unable to connect数据库打开失败！");
    QVERIFY2(error.startsWith(QStringLiteral("[ma-")) && error.endsWith(expected), qPrintable(error));
}

void TestPosDB::keyedRecordsets_data() {
    QTest::addColumn<QString>("backend");
    QTest::newRow("SQLite counts by walking") << QStringLiteral("sqlite");
    QTest::newRow("MariaDB reports the size") << QStringLiteral("mysql");
}

void TestPosDB::keyedRecordsets() {
    QFETCH(QString, backend);
    WorkDir dir;
    QString error;
    if (!useBackend(dir, backend, error))
        QSKIP(qPrintable(error));
    PosDB db;
    QVERIFY2(db.openDB(error), qPrintable(error));
    const QDateTime stamp(QDate(2024, 1, 31), QTime(10, 11, 12));
    QVERIFY2(db.excuteSQL(QStringLiteral("drop table if exists kr"), error), qPrintable(error));
    QVERIFY2(db.excuteSQL(QStringLiteral("create table kr(id integer, name varchar(20), price double, stamp "
                                         "datetime, data blob)"),
                          error),
             qPrintable(error));
    const QStringList columns{"id", "name", "price", "stamp", "data"};
    for (int id = 1; id <= 3; ++id) {
        QVERIFY2(db.insertRecord(QStringLiteral("kr"), columns,
                                 {id, QStringLiteral("会员%1").arg(id), id + 0.25, stamp.addDays(id),
                                  QByteArray("\x00\x01", 2) + char(id)},
                                 error),
                 qPrintable(error));
    }
    QVERIFY2(db.openRecordset(7, QStringLiteral("select * from kr order by id"), error), qPrintable(error));
    QCOMPARE(db.recordCount(7), 3);
    QCOMPARE(db.currentRow(7), int(QSql::BeforeFirstRow));
    QVERIFY(db.moveFirst(7));
    QCOMPARE(db.getInt(7, "id"), 1);
    QCOMPARE(db.getString(7, "name"), QStringLiteral("会员1"));
    QCOMPARE(db.getDouble(7, "price"), 1.25);
    QCOMPARE(db.getDateTime(7, "stamp"), stamp.addDays(1));
    QCOMPARE(db.getBytes(7, "data"), QByteArray("\x00\x01\x01", 3));
    QVERIFY(db.moveNext(7));
    QCOMPARE(db.getInt(7, "id"), 2);
    QVERIFY(db.movePrevious(7));
    QCOMPARE(db.getInt(7, "id"), 1);
    QVERIFY(db.moveLast(7));
    QCOMPARE(db.getInt(7, "id"), 3);
    QVERIFY(db.moveTo(7, 1));
    QCOMPARE(db.recordCount(7), 3);
    QCOMPARE(db.currentRow(7), 1);
    QCOMPARE(db.getInt(7, "id"), 2);

    QVERIFY(!db.moveFirst(8));
    QCOMPARE(db.recordCount(8), 0);
    QCOMPARE(db.getString(8, "name"), QString());

    // Opening under a key in use replaces its recordset.
    QVERIFY(db.openRecordset(7, QStringLiteral("select id from kr where id=3"), error));
    QCOMPARE(db.recordCount(7), 1);
    QVERIFY(db.closeRecordset(7));
    QVERIFY(!db.closeRecordset(7));
    QVERIFY(!db.moveFirst(7));

    QVERIFY(db.openRecordset(9, QStringLiteral("select id from kr"), error));
    db.close();
    QVERIFY(!db.moveFirst(9));
    QCOMPARE(db.recordCount(9), 0);
}

void TestPosDB::transactionsAndBuilders_data() {
    QTest::addColumn<QString>("backend");
    QTest::newRow("SQLite") << QStringLiteral("sqlite");
    QTest::newRow("MariaDB") << QStringLiteral("mysql");
}

void TestPosDB::transactionsAndBuilders() {
    QFETCH(QString, backend);
    WorkDir dir;
    QString error;
    if (!useBackend(dir, backend, error))
        QSKIP(qPrintable(error));
    PosDB db;
    QVERIFY2(db.openDB(error), qPrintable(error));
    QVERIFY(db.excuteSQL(QStringLiteral("drop table if exists tb"), error));
    QVERIFY2(db.excuteSQL(QStringLiteral("create table tb(id integer, name varchar(20))"), error),
             qPrintable(error));
    auto nameOf = [&db](int id) {
        QString error;
        db.openRecordset(1, QStringLiteral("select name from tb where id=%1").arg(id), error);
        return db.moveFirst(1) ? db.getString(1, QStringLiteral("name")) : QStringLiteral("<no row>");
    };

    QVERIFY2(db.insertRecord("tb", {"id", "name"}, {10, QStringLiteral("O'Brien")}, error),
             qPrintable(error));
    QVERIFY(db.beginTrans());
    QVERIFY2(db.updateRecord("tb", {"name"}, {QStringLiteral("王五")}, "id=10", error), qPrintable(error));
    QVERIFY(db.rollbackTrans());
    QCOMPARE(nameOf(10), QStringLiteral("O'Brien"));
    QVERIFY(db.beginTrans());
    QVERIFY(db.updateRecord("tb", {"name"}, {QStringLiteral("王五")}, "id=10", error));
    QVERIFY(db.commitTrans());
    QCOMPARE(nameOf(10), QStringLiteral("王五"));

    QVERIFY(!db.insertRecord("tb", {"id", "name"}, {11}, error));
    QCOMPARE(error, QStringLiteral("函数:insertRecord||执行:tb||字段与值的个数不符"));

    const QString insert = PosDB::insertText("tb", {"id", "name"}, {"11", "It's"});
    QCOMPARE(insert, QStringLiteral("insert into tb(id,name) values('11','It''s');"));
    QVERIFY2(db.excuteSQL(insert, error), qPrintable(error));
    QCOMPARE(nameOf(11), QStringLiteral("It's"));
}

QTEST_MAIN(TestPosDB)
#include "tst_PosDB.moc"
