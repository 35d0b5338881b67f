// Looking a member up in the till's own member table while the CRM is away: the
// same member rows in a SQLite file, in the test run's MariaDB (tests/mariadb.sh),
// and in that MariaDB reached through ODBC as the "SQL SERVER" driver.
#include "core/ZoVORDACtl.h"
#include "support/MariaDbServer.h"
#include "support/WorkDir.h"

#include <QProcess>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QStandardPaths>
#include <QTextCodec>
#include <QtTest>

namespace {

const QString kSelect =
    QStringLiteral("select member_id,cardno,grade_level,grade_name,member_name,birthday,mobile,"
                   "address from t_member where ");
const QString kSqliteFixture = QStringLiteral("members_fixture");

QString statement(const QString& column, const QString& literal) {
    return kSelect + column + QStringLiteral("='") + literal + QStringLiteral("' and status='1'");
}

// member_id, cardno, grade_level, grade_name, member_name, birthday, mobile, address, status
// ("NULL" stands for a missing status).
const QList<QStringList> kMembers = {
    {"1000000000000001", "8001", "01", "金卡", "张三", "1980-01-02", "13800000001", "上海市人民路1号", "1"},
    {"1000000000000002", "8002", "02", "银卡", "李四", "1985-05-06", "13800000002", "", "1"},
    {"1000000000000003", "8003", "02", "银卡", "王五", "", "13800000002", "", "1"},
    {"1000000000000009", "8009", "01", "金卡", "赵六", "", "13800000009", "", "0"},
    {"1000000000000010", "8010", "01", "金卡", "赵六", "", "13800000010", "", "2"},
    {"1000000000000013", "8013", "01", "金卡", "Alice", "", "13800000013", "", "NULL"},
    {"1000000000000011", "100000000012", "02", "银卡", "O'Brien", "", "13800000011", "", "1"},
    {"1000000000000012", "12345678901", "02", "银卡", "Li\\", "", "13800000012", "", "1"},
};

bool fillMembers(const QString& connection, const QString& schema, QString& error) {
    if (!runSqlScript(connection, QStringLiteral(ZOVORDA_SOURCE_DIR "/db/") + schema, error))
        return false;
    QSqlQuery insert(QSqlDatabase::database(connection, false));
    insert.prepare(QStringLiteral("insert into t_member(member_id,cardno,grade_level,grade_name,member_name,"
                                  "birthday,mobile,address,status) values(?,?,?,?,?,?,?,?,?)"));
    for (const QStringList& member : kMembers) {
        for (int i = 0; i < member.size(); ++i)
            insert.bindValue(i, member.at(i) == QLatin1String("NULL") ? QVariant(QVariant::String)
                                                                      : member.at(i));
        if (!insert.exec()) {
            error = insert.lastError().text();
            return false;
        }
    }
    return true;
}

QStringList cardNumbers(const QList<MemberRec>& members) {
    QStringList codes;
    for (const MemberRec& member : members)
        codes << member.code;
    return codes;
}

} // namespace

class TestOfflineMemberQuery : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();

    void keyChoosesColumn_data();
    void keyChoosesColumn();
    void candidateCarriesMemberColumns_data();
    void candidateCarriesMemberColumns();
    void unusableDatabase_data();
    void unusableDatabase();
    void lookupsUseIndexes_data();
    void lookupsUseIndexes();
    void csvLoaderFillsTable_data();
    void csvLoaderFillsTable();

private:
    void addBackendRows(const char* what);
    bool useBackend(const WorkDir& dir, const QString& backend, QString& why, const QString& database = {});

    MariaDbServer* m_server = nullptr;
    QTemporaryDir m_fixtureDir;
    QString m_sSqliteFile;
    QString m_sMariaDb;
    QString m_sOdbcError;
};

void TestOfflineMemberQuery::initTestCase() {
    // The log file and the MySQL driver both follow the process's code page; pin it so
    // that the Chinese in the records and the member rows does not depend on the
    // machine's locale.
    QTextCodec::setCodecForLocale(QTextCodec::codecForName("UTF-8"));

    QString error;
    m_sSqliteFile = m_fixtureDir.filePath(QStringLiteral("members.db"));
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), kSqliteFixture);
        db.setDatabaseName(m_sSqliteFile);
        QVERIFY(db.open());
    }
    QVERIFY2(fillMembers(kSqliteFixture, QStringLiteral("t_member.sqlite.sql"), error), qPrintable(error));

    m_server = new MariaDbServer;
    if (!m_server->isReady())
        return;
    m_sMariaDb = m_server->createDatabase(error);
    QVERIFY2(!m_sMariaDb.isEmpty(), qPrintable(error));
    const QString connection = m_server->connectionName(m_sMariaDb, error);
    QVERIFY2(!connection.isEmpty(), qPrintable(error));
    QVERIFY2(fillMembers(connection, QStringLiteral("t_member.mariadb.sql"), error), qPrintable(error));
    m_server->registerOdbcDriver(QStringLiteral("SQL SERVER"), m_sOdbcError);
}

void TestOfflineMemberQuery::cleanupTestCase() {
    QSqlDatabase::removeDatabase(kSqliteFixture);
    delete m_server;
}

void TestOfflineMemberQuery::addBackendRows(const char* what) {
    QTest::addColumn<QString>("backend");
    for (const char* backend : {"sqlite", "mariadb", "odbc"})
        QTest::addRow("%s: %s", backend, what) << QString::fromLatin1(backend);
}

bool TestOfflineMemberQuery::useBackend(const WorkDir& dir, const QString& backend, QString& why,
                                        const QString& database) {
    if (backend == QLatin1String("sqlite")) {
        dir.writeIni(QStringLiteral("config.ini"),
                     {{QStringLiteral("DataBase/DbType"), QStringLiteral("SQLITE")}});
        dir.writeIni(QStringLiteral("ZoVORDA.ini"),
                     {{QStringLiteral("Config/dbname"), database.isEmpty() ? m_sSqliteFile : database}});
        return true;
    }
    if (!m_server->isReady()) {
        why = m_server->error();
        return false;
    }
    if (backend == QLatin1String("odbc")) {
        if (!m_sOdbcError.isEmpty()) {
            why = m_sOdbcError;
            return false;
        }
        dir.writeIni(QStringLiteral("config.ini"),
                     {{QStringLiteral("DataBase/DbType"), QStringLiteral("SQLSERVER")},
                      {QStringLiteral("DataBase/ServiceName"), QStringLiteral("localhost")},
                      {QStringLiteral("DataBase/UserName"), QStringLiteral("root")}});
    } else {
        // Empty server and user: "localhost" as "root", through the server's socket.
        dir.writeIni(QStringLiteral("config.ini"),
                     {{QStringLiteral("DataBase/DbType"), QStringLiteral("MYSQL")}});
    }
    dir.writeIni(QStringLiteral("ZoVORDA.ini"),
                 {{QStringLiteral("Config/dbname"), database.isEmpty() ? m_sMariaDb : database}});
    return true;
}

// An announced server that does not answer fails the test; no server at all skips it.
#define USE_BACKEND(dir, backend, database)                                                                  \
    do {                                                                                                     \
        QString why;                                                                                         \
        if (!useBackend(dir, backend, why, database)) {                                                      \
            QVERIFY2(!m_server->isConfigured() || m_server->isReady(), qPrintable(why));                     \
            QSKIP(qPrintable(why));                                                                          \
        }                                                                                                    \
    } while (false)

void TestOfflineMemberQuery::keyChoosesColumn_data() {
    QTest::addColumn<QString>("backend");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("column");
    QTest::addColumn<QString>("literal");
    QTest::addColumn<QString>("mariaLiteral"); // where MariaDB's literal differs
    QTest::addColumn<QStringList>("cards");

    struct Case {
        const char* name;
        QString key, column, literal, mariaLiteral;
        QStringList cards;
    };
    const QList<Case> cases = {
        {"11 digits: mobile", "13800000001", "mobile", {}, {}, {"8001"}},
        {"two members share a mobile", "13800000002", "mobile", {}, {}, {"8002", "8003"}},
        {"16 digits: member id", "1000000000000002", "member_id", {}, {}, {"8002"}},
        {"4 digits: card", "8001", "cardno", {}, {}, {"8001"}},
        {"12 digits: card", "100000000012", "cardno", {}, {}, {"100000000012"}},
        {"11-digit card number is taken for a mobile", "12345678901", "mobile", {}, {}, {}},
        {"Chinese name", "张三", "member_name", {}, {}, {"8001"}},
        {"digits with a trailing blank", "13800000001 ", "member_name", {}, {}, {}},
        {"digits with a blank inside", "1380000 0001", "member_name", {}, {}, {}},
        {"digits with a letter", "8001a", "member_name", {}, {}, {}},
        {"digits with a scanner's line feed", "13800000001\n", "member_name", {}, {}, {}},
        {"full-width digits", "１３８００００００01", "member_name", {}, {}, {}},
        {"empty key", "", "member_name", {}, {}, {}},
        {"inactive members only", "赵六", "member_name", {}, {}, {}},
        {"member without status", "Alice", "member_name", {}, {}, {}},
        {"mobile of an inactive member", "13800000009", "mobile", {}, {}, {}},
        {"name with a quote", "O'Brien", "member_name", "O''Brien", {}, {"100000000012"}},
        {"quote cannot widen the search", "x' or '1'='1", "member_name", "x'' or ''1''=''1", {}, {}},
        {"name ending in a backslash", "Li\\", "member_name", {}, "Li\\\\", {"12345678901"}},
        {"backslash cannot end the literal",
         "\\' or 1=1 -- ",
         "member_name",
         "\\'' or 1=1 -- ",
         "\\\\'' or 1=1 -- ",
         {}},
    };
    for (const char* backend : {"sqlite", "mariadb", "odbc"}) {
        for (const Case& c : cases) {
            // Behind the "SQL SERVER" name sits MariaDB, which reads backslashes as
            // escapes where a real SQL Server would not.
            if (QLatin1String(backend) == QLatin1String("odbc") && c.key.contains(QLatin1Char('\\')))
                continue;
            const QString literal = c.literal.isNull() ? c.key : c.literal;
            QTest::addRow("%s: %s", backend, c.name)
                << QString::fromLatin1(backend) << c.key << c.column << literal
                << (c.mariaLiteral.isNull() ? literal : c.mariaLiteral) << c.cards;
        }
    }
}

void TestOfflineMemberQuery::keyChoosesColumn() {
    QFETCH(QString, backend);
    QFETCH(QString, key);
    QFETCH(QString, column);
    QFETCH(QString, literal);
    QFETCH(QString, mariaLiteral);
    QFETCH(QStringList, cards);
    WorkDir dir;
    USE_BACKEND(dir, backend, QString());
    ZoVORDACtl ctl;
    QList<MemberRec> found{MemberRec()};
    QString error;
    QVERIFY2(ctl.QueryMemberOffline(key, found, error), qPrintable(error));
    QCOMPARE(cardNumbers(found), cards);

    const QList<LogRecord> log = dir.logRecords();
    QVERIFY(log.size() >= 2);
    const LogRecord& query = log.at(log.size() - 2);
    const LogRecord& done = log.last();
    QCOMPARE(query.source, QStringLiteral("ZoVORDA动态库"));
    QCOMPARE(query.step, QStringLiteral("执行离线查询会员"));
    QCOMPARE(query.text, statement(column, backend == QLatin1String("mariadb") ? mariaLiteral : literal));
    QCOMPARE(done.source, QStringLiteral("ZoVORDA动态库"));
    QCOMPARE(done.step, QStringLiteral("查询结束"));
    QCOMPARE(done.text, QStringLiteral("查询结果：%1条").arg(cards.size()));
}

void TestOfflineMemberQuery::candidateCarriesMemberColumns_data() {
    addBackendRows("member by mobile");
}

void TestOfflineMemberQuery::candidateCarriesMemberColumns() {
    QFETCH(QString, backend);
    WorkDir dir;
    USE_BACKEND(dir, backend, QString());
    ZoVORDACtl ctl;
    QList<MemberRec> found;
    QString error;
    QVERIFY2(ctl.QueryMemberOffline(QStringLiteral("13800000001"), found, error), qPrintable(error));
    QCOMPARE(found.size(), 1);
    const MemberRec& m = found.first();
    QCOMPARE(m.vipcardid, QStringLiteral("1000000000000001"));
    QCOMPARE(m.code, QStringLiteral("8001"));
    QCOMPARE(m.type_code, QStringLiteral("01"));
    QCOMPARE(m.type_name, QStringLiteral("金卡"));
    QCOMPARE(m.name, QStringLiteral("张三"));
    QCOMPARE(m.birthday, QStringLiteral("1980-01-02"));
    QCOMPARE(m.phone, QStringLiteral("13800000001"));
    QCOMPARE(m.address, QStringLiteral("上海市人民路1号"));
    // The local table knows no points: empty, not "0".
    QCOMPARE(m.score, QString());
    QCOMPARE(m.balance, QString());
    QVERIFY(m.jfRecords.isEmpty());
    QVERIFY(m.store_id.isEmpty() && m.inputCode.isEmpty() && m.inputCardId.isEmpty());
}

void TestOfflineMemberQuery::unusableDatabase_data() {
    QTest::addColumn<QString>("backend");
    QTest::addColumn<QString>("database");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("queried");

    const QString prefix = QStringLiteral("本地查询会员信息失败：");
    QTest::newRow("no database type")
        << QString() << QString() << prefix + QStringLiteral("未设置数据库类型") << false;
    QTest::newRow("SQLite file cannot be opened")
        << QStringLiteral("sqlite") << QStringLiteral("no/such/dir.db")
        << prefix + QStringLiteral("unable to open database file Error opening database数据库打开失败！")
        << false;
    QTest::newRow("SQLite file without a member table")
        << QStringLiteral("sqlite") << QStringLiteral("./empty.db")
        << prefix + QStringLiteral("函数:openRecordset||执行:") + statement("cardno", "8001") +
               QStringLiteral("||no such table: t_member Unable to execute statement")
        << true;
    QTest::newRow("MariaDB database missing")
        << QStringLiteral("mariadb") << QStringLiteral("nosuch_zovorda")
        << prefix +
               QStringLiteral("Unknown database 'nosuch_zovorda' QMYSQL: Unable to connect数据库打开失败！")
        << false;
}

void TestOfflineMemberQuery::unusableDatabase() {
    QFETCH(QString, backend);
    QFETCH(QString, database);
    QFETCH(QString, text);
    QFETCH(bool, queried);
    WorkDir dir;
    if (!backend.isEmpty())
        USE_BACKEND(dir, backend, database);
    ZoVORDACtl ctl;
    QList<MemberRec> found{MemberRec()};
    QString error = QStringLiteral("earlier text");
    QVERIFY(!ctl.QueryMemberOffline(QStringLiteral("8001"), found, error));
    QCOMPARE(error, text);
    QVERIFY(found.isEmpty());
    const QStringList steps = dir.logSteps();
    QCOMPARE(steps.contains(QStringLiteral("执行离线查询会员")), queried);
    QVERIFY(!steps.contains(QStringLiteral("查询结束")));
}

void TestOfflineMemberQuery::lookupsUseIndexes_data() {
    QTest::addColumn<QString>("backend");
    QTest::addColumn<QString>("column");
    QTest::addColumn<QString>("key");
    const QList<QPair<QString, QString>> lookups = {{"mobile", "13800000001"},
                                                    {"member_id", "1000000000000001"},
                                                    {"cardno", "8001"},
                                                    {"member_name", "张三"}};
    for (const char* backend : {"sqlite", "mariadb"}) {
        for (const auto& lookup : lookups)
            QTest::addRow("%s: %s", backend, qPrintable(lookup.first))
                << QString::fromLatin1(backend) << lookup.first << lookup.second;
    }
}

void TestOfflineMemberQuery::lookupsUseIndexes() {
    QFETCH(QString, backend);
    QFETCH(QString, column);
    QFETCH(QString, key);
    const QString index = QStringLiteral("idx_t_member_") + column;
    QString error;
    if (backend == QLatin1String("sqlite")) {
        QSqlQuery plan(QSqlDatabase::database(kSqliteFixture, false));
        QVERIFY(plan.exec(QStringLiteral("EXPLAIN QUERY PLAN ") + statement(column, key)));
        QVERIFY(plan.next());
        const QString detail = plan.value(QStringLiteral("detail")).toString();
        QVERIFY2(detail.contains(QStringLiteral("USING INDEX %1 (%2=? AND status=?)").arg(index, column)),
                 qPrintable(detail));
        return;
    }
    if (!m_server->isConfigured())
        QSKIP(qPrintable(m_server->error()));
    QVERIFY2(m_server->isReady(), qPrintable(m_server->error()));
    QSqlQuery plan(QSqlDatabase::database(m_server->connectionName(m_sMariaDb, error), false));
    QVERIFY(plan.exec(QStringLiteral("EXPLAIN ") + statement(column, key)));
    QVERIFY(plan.next());
    QCOMPARE(plan.value(QStringLiteral("key")).toString(), index);
    QCOMPARE(plan.value(QStringLiteral("type")).toString(), QStringLiteral("ref"));
}

void TestOfflineMemberQuery::csvLoaderFillsTable_data() {
    QTest::addColumn<QString>("backend");
    QTest::newRow("into a SQLite file") << QStringLiteral("sqlite");
    QTest::newRow("into MariaDB through its client") << QStringLiteral("mariadb");
}

void TestOfflineMemberQuery::csvLoaderFillsTable() {
    QFETCH(QString, backend);
    const QString python = QStandardPaths::findExecutable(QStringLiteral("python3"));
    if (python.isEmpty())
        QSKIP("python3 is not installed");
    WorkDir dir;
    dir.writeFile(QStringLiteral("members.csv"),
                  QStringLiteral(
                      "\xfeff"
                      "member_id,cardno,member_name,mobile,grade_level,grade_name,birthday,address,status\r\n"
                      "2000000000000001,9001,陈七,13900000001,03,钻石卡,1990-03-04,\"北京市, 东城区\",\r\n"
                      "2000000000000002,9002,周八,13900000002,03,钻石卡,,,0\r\n")
                      .toUtf8());
    QStringList args{QStringLiteral(ZOVORDA_SOURCE_DIR "/db/load_members.py")};
    QString database;
    if (backend == QLatin1String("sqlite")) {
        database = dir.filePath(QStringLiteral("loaded.db"));
        args << QStringLiteral("--sqlite") << database;
    } else {
        if (!m_server->isConfigured())
            QSKIP(qPrintable(m_server->error()));
        QVERIFY2(m_server->isReady(), qPrintable(m_server->error()));
        if (QStandardPaths::findExecutable(QStringLiteral("mariadb")).isEmpty() &&
            QStandardPaths::findExecutable(QStringLiteral("mysql")).isEmpty())
            QSKIP("no mariadb client installed");
        QString error;
        database = m_server->createDatabase(error);
        QVERIFY2(!database.isEmpty(), qPrintable(error));
        args << QStringLiteral("--mariadb") << database << QStringLiteral("--socket") << m_server->socket();
    }
    args << dir.filePath(QStringLiteral("members.csv"));
    QProcess loader;
    loader.start(python, args);
    QVERIFY(loader.waitForFinished(60000));
    QVERIFY2(loader.exitCode() == 0, loader.readAllStandardError().constData());
    QCOMPARE(loader.readAllStandardOutput(), QByteArray("load_members: 2 members loaded\n"));

    USE_BACKEND(dir, backend, database);
    ZoVORDACtl ctl;
    QList<MemberRec> found;
    QString error;
    QVERIFY2(ctl.QueryMemberOffline(QStringLiteral("13900000001"), found, error), qPrintable(error));
    QCOMPARE(found.size(), 1);
    QCOMPARE(found.first().vipcardid, QStringLiteral("2000000000000001"));
    QCOMPARE(found.first().name, QStringLiteral("陈七"));
    QCOMPARE(found.first().type_name, QStringLiteral("钻石卡"));
    QCOMPARE(found.first().address, QStringLiteral("北京市, 东城区"));
    QVERIFY(ctl.QueryMemberOffline(QStringLiteral("周八"), found, error));
    QVERIFY(found.isEmpty());
}

QTEST_MAIN(TestOfflineMemberQuery)
#include "tst_OfflineMemberQuery.moc"
