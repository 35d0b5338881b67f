// The installer's check of a till: the exact report for a good till, for each of the
// usual set-up mistakes, for a sign-in on request, and the program's exit status.
#include "CrmSim.h"
#include "Doctor.h"
#include "support/MariaDbServer.h"
#include "support/WorkDir.h"

#include <QDirIterator>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QtTest>

using crmsim::Reply;

namespace {

const QByteArray kNobody = R"({"data":{"result_code":"1","memberinfo":[]}})";

// "file" leaves a settings file out; "file:key" leaves one key out.
using Till = QMap<QString, QVariantMap>;

Till goodTill(const QString& crm, const QString& dir) {
    const QString today = QDate::currentDate().toString("yyyy-MM-dd");
    return {{"ZoVORDA.ini",
             {{"Config/HttpAddress", crm},
              {"Config/company_id", "C001"},
              {"Config/token", "TK-1"},
              {"Config/TimeOut", "5"},
              {"Config/shop_id", "S01"},
              {"Config/password", "pw"},
              {"Config/SigninTime", today + " 08:00:00"},
              {"Config/dbname", dir + "/members.db"}}},
            {"RVX_Config.ini", {{"NAV/pointcode", "POS01"}}},
            {"config.ini", {{"DataBase/DbType", "SQLITE"}}}};
}

// Three members, two of them active; drop names indexes to leave out.
bool makeMemberTable(const QString& connection, const QStringList& drop, QString& error) {
    QSqlQuery q(QSqlDatabase::database(connection, false));
    const bool sqlite = QSqlDatabase::database(connection, false).driverName() == "QSQLITE";
    if (!runSqlScript(connection,
                      QStringLiteral(ZOVORDA_SOURCE_DIR "/db/t_member.") +
                          (sqlite ? "sqlite.sql" : "mariadb.sql"),
                      error))
        return false;
    QStringList statements{
        "insert into t_member(member_id,cardno,mobile,member_name,status) values"
        "('8800001','C1','13700000001','Zhang','1'),('8800002','C2','13700000002','Li','1'),"
        "('8800003','C3','13700000003','Wang','0')"};
    for (const QString& column : drop)
        statements.append(QString("DROP INDEX idx_t_member_%1").arg(column) + (sqlite ? "" : " ON t_member"));
    for (const QString& statement : statements) {
        if (!q.exec(statement)) {
            error = q.lastError().text();
            return false;
        }
    }
    return true;
}

// Every file under the working directory with its content: what the doctor must leave as it was.
QMap<QString, QByteArray> snapshot(const QString& dir) {
    QMap<QString, QByteArray> files;
    QDirIterator it(dir, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        QFile f(it.next());
        files.insert(it.filePath(), f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<dir>"));
    }
    return files;
}

} // namespace

class TestDoctor : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();
    void goodTillReportsEveryCheck();
    void settingsAndCrmMistakes_data();
    void settingsAndCrmMistakes();
    void databaseAndLogMistakes_data();
    void databaseAndLogMistakes();
    void signinOnRequest_data();
    void signinOnRequest();
    void mysqlIndexes_data();
    void mysqlIndexes();
    void programExitsWithOneOnAFailure();

private:
    // Writes the good till changed by drop and set ("file:key" → value), and the member file.
    void writeTill(const QStringList& drop = {}, const QVariantMap& set = {}, const QString& db = "good");
    QString expand(QString line) const;
    // One row of a mistake table: the report's problem lines and summary, the till untouched.
    void checkMistake();

    MariaDbServer* m_server = nullptr;
    crmsim::Server* m_crm = nullptr;
    WorkDir* m_dir = nullptr;
    QString m_url;
};

void TestDoctor::initTestCase() {
    // Before any MySQL connection of the process: it points the client library at the test server.
    m_server = new MariaDbServer;
}

void TestDoctor::cleanupTestCase() {
    delete m_server;
}

void TestDoctor::init() {
    m_crm = new crmsim::Server;
    QVERIFY(m_crm->start());
    m_url = m_crm->baseUrl();
    m_crm->setFallback([](const crmsim::Request& r) {
        return r.txcode == "pmb001" ? Reply::json(kNobody) : Reply::json("{}", 404);
    });
    m_dir = new WorkDir;
}

void TestDoctor::cleanup() {
    delete m_dir;
    delete m_crm;
}

void TestDoctor::writeTill(const QStringList& drop, const QVariantMap& set, const QString& db) {
    Till till = goodTill(m_url, m_dir->path());
    for (auto it = set.cbegin(); it != set.cend(); ++it)
        till[it.key().section(':', 0, 0)].insert(it.key().section(':', 1), expand(it.value().toString()));
    for (const QString& what : drop) {
        if (what.contains(':'))
            till[what.section(':', 0, 0)].remove(what.section(':', 1));
        else
            till.remove(what);
    }
    for (auto it = till.cbegin(); it != till.cend(); ++it)
        m_dir->writeIni(it.key(), it.value());

    if (db == "none")
        return;
    {
        QSqlDatabase conn = QSqlDatabase::addDatabase("QSQLITE", "doctor_fixture");
        conn.setDatabaseName(m_dir->filePath("members.db"));
        QVERIFY(conn.open());
        QString error;
        if (db == "no table")
            QVERIFY(QSqlQuery(conn).exec("create table t_other (x text)"));
        else
            QVERIFY2(makeMemberTable("doctor_fixture", db == "good" ? QStringList() : db.split(','), error),
                     qPrintable(error));
    }
    QSqlDatabase::removeDatabase("doctor_fixture");
}

QString TestDoctor::expand(QString line) const {
    return line.replace("%CRM%", m_url)
        .replace("%DIR%", m_dir->path())
        .replace("%TODAY%", QDate::currentDate().toString("yyyy-MM-dd"));
}

void TestDoctor::goodTillReportsEveryCheck() {
    writeTill();
    const QMap<QString, QByteArray> before = snapshot(m_dir->path());
    Doctor doctor;
    const QStringList expected{
        "OK   ZoVORDA.ini [Config] HttpAddress = %CRM%",
        "OK   ZoVORDA.ini [Config] company_id = C001",
        "OK   RVX_Config.ini [NAV] pointcode = POS01",
        "OK   ZoVORDA.ini [Config] TimeOut = 5 s",
        "OK   ZoVORDA.ini [Config] password is set",
        "OK   ZoVORDA.ini [Config] ExePath is not set (no companion program)",
        "OK   ZoVORDA.ini [Config] signed in: token set (4 characters), shop_id S01, SigninTime %TODAY% "
        "08:00:00 "
        "(today)",
        "OK   CRM at %CRM% answers: a member query is accepted",
        "OK   member database opens: SQLITE file %DIR%/members.db",
        "OK   t_member has 3 rows, 2 of them active (status '1')",
        "OK   t_member has an index for each lookup: mobile, member_id, cardno, member_name",
        "OK   log folder %DIR%/LOG does not exist yet; the plug-in can create it",
    };
    QStringList lines;
    for (const QString& line : expected)
        lines.append(expand(line));
    QCOMPARE(doctor.run(), lines);
    QCOMPARE(doctor.summary(), QStringLiteral("Summary: 12 OK, 0 WARN, 0 FAIL"));
    QCOMPARE(doctor.exitCode(), 0);
    // One harmless member query, as the till would send it, and the till untouched.
    QCOMPARE(m_crm->requestCount(), 1);
    const crmsim::Request probe = m_crm->requests().at(0);
    QCOMPARE(probe.body, QByteArray(R"({"cardno":"","shop_id":"S01"})"));
    QCOMPARE(probe.header("Token"), QByteArray("TK-1"));
    QCOMPARE(snapshot(m_dir->path()), before);
}

// The columns of both mistake tables.
static void mistakeColumns() {
    QTest::addColumn<QStringList>("drop");
    QTest::addColumn<QVariantMap>("set");
    QTest::addColumn<QString>("db");
    QTest::addColumn<QByteArray>("crmReply"); // empty: the CRM is down
    QTest::addColumn<bool>("logIsFile");
    QTest::addColumn<QStringList>("problems"); // every line but the OK ones, then the summary
}

void TestDoctor::settingsAndCrmMistakes_data() {
    mistakeColumns();
    const QVariantMap none;
    const QString notAsked = "set HttpAddress, company_id and pointcode first (see above)";

    QTest::newRow("no address") << QStringList{"ZoVORDA.ini:Config/HttpAddress"} << none << "good" << kNobody
                                << false
                                << QStringList{
                                       "FAIL ZoVORDA.ini [Config] HttpAddress is not set → set the CRM's "
                                       "address, e.g. http://crm.example.com:8080",
                                       "FAIL CRM not asked: 未配置VordaCRM地址 → " + notAsked,
                                       "Summary: 10 OK, 0 WARN, 2 FAIL"};
    QTest::newRow("no company") << QStringList{"ZoVORDA.ini:Config/company_id"} << none << "good" << kNobody
                                << false
                                << QStringList{
                                       "FAIL ZoVORDA.ini [Config] company_id is not set → set the company "
                                       "id the CRM gave you",
                                       "FAIL CRM not asked: 请求未配置公司ID → " + notAsked,
                                       "Summary: 10 OK, 0 WARN, 2 FAIL"};
    QTest::newRow("no device, no RVX_Config.ini")
        << QStringList{"RVX_Config.ini"} << none << "good" << kNobody << false
        << QStringList{"FAIL RVX_Config.ini is not in %DIR% → run zovorda-doctor in the "
                       "folder the till program runs in, or create the file there",
                       "FAIL RVX_Config.ini [NAV] pointcode is not set → set the till's "
                       "device code as registered in the CRM",
                       "FAIL CRM not asked: 请求未配置设备编码 → " + notAsked,
                       "Summary: 10 OK, 0 WARN, 3 FAIL"};
    QTest::newRow("CRM unreachable")
        << QStringList() << none << "good" << QByteArray() << false
        << QStringList{"FAIL CRM at %CRM% does not answer: 网络错误，请再次尝试或联系管理员处理。错误代码: 1 "
                       "Connection refused → check that the CRM runs and that this till reaches it at that "
                       "address (port, proxy, firewall)",
                       "Summary: 11 OK, 0 WARN, 1 FAIL"};
    QTest::newRow("a web page, not the CRM")
        << QStringList() << none << "good" << QByteArray("<html>\n<b>Welcome</b>\n</html>") << false
        << QStringList{
               "FAIL CRM at %CRM% answers, but not as the Vorda CRM: the reply is not JSON: \"<html> "
               "<b>Welcome</b> </html>\" → HttpAddress must be the Vorda CRM's base address, the part "
               "before /txCtrl",
               "Summary: 11 OK, 0 WARN, 1 FAIL"};
    QTest::newRow("CRM refuses the token")
        << QStringList() << none << "good"
        << QByteArray(R"({"data":{"result_code":"0","result_msg":"token无效，请重新签到"}})") << false
        << QStringList{
               "WARN CRM at %CRM% answers, but refuses this till: 0 token无效，请重新签到 → when it is "
               "about the token, sign in: zovorda-doctor --signin STORE; otherwise check company_id and "
               "pointcode with the CRM",
               "Summary: 11 OK, 1 WARN, 0 FAIL"};
    QTest::newRow("never signed in, odd time-out, back-slashes")
        << QStringList{"ZoVORDA.ini:Config/token", "ZoVORDA.ini:Config/SigninTime"}
        << QVariantMap{{"ZoVORDA.ini:Config/TimeOut", "20s"},
                       {"ZoVORDA.ini:Config/ExePath", "C:\\Till\\a.exe"}}
        << "good" << kNobody << false
        << QStringList{
               "WARN ZoVORDA.ini [Config] TimeOut = 20s is not a whole number: 20 s apply → set the "
               "seconds the till waits for the CRM, e.g. TimeOut=20",
               "WARN ZoVORDA.ini [Config] ExePath = C:\\Till\\a.exe is written with back-slashes: the "
               "plug-in starts the program again at every member lookup → write the path with '/', e.g. "
               "C:/Till/Companion.exe",
               "WARN ZoVORDA.ini [Config] not signed in yet: token, SigninTime not set → the till signs "
               "in at its first member lookup; to try it now: zovorda-doctor --signin STORE",
               "Summary: 9 OK, 3 WARN, 0 FAIL"};
}

void TestDoctor::databaseAndLogMistakes_data() {
    mistakeColumns();
    const QVariantMap none;
    QTest::newRow("database type missing")
        << QStringList() << QVariantMap{{"config.ini:DataBase/DbType", ""}} << "good" << kNobody << false
        << QStringList{
               "WARN config.ini [DataBase] DbType is not set: members cannot be found while the CRM is "
               "down → set DbType=SQLITE, MYSQL, SQLSERVER, ORACLE or ACCESS",
               "Summary: 9 OK, 1 WARN, 0 FAIL"};
    QTest::newRow("database type unknown")
        << QStringList() << QVariantMap{{"config.ini:DataBase/DbType", "Postgres"}} << "good" << kNobody
        << false
        << QStringList{
               "FAIL member database POSTGRES does not open: 不支持的数据库类型Postgres，数据库打开失败！ "
               "→ set config.ini [DataBase] DbType to SQLITE, MYSQL, SQLSERVER, ORACLE or ACCESS",
               "Summary: 9 OK, 0 WARN, 1 FAIL"};
    // The file is not created by looking for it.
    QTest::newRow("member file missing")
        << QStringList() << none << "none" << kNobody << false
        << QStringList{
               "FAIL member database file %DIR%/members.db does not exist → correct ZoVORDA.ini [Config] "
               "dbname, or put the member file there",
               "Summary: 9 OK, 0 WARN, 1 FAIL"};
    QTest::newRow("t_member missing")
        << QStringList() << none << "no table" << kNobody << false
        << QStringList{"FAIL t_member cannot be read: no such table: t_member Unable to execute statement → "
                       "create it with db/t_member.sqlite.sql and load the members with db/load_members.py",
                       "Summary: 10 OK, 0 WARN, 1 FAIL"};
    QTest::newRow("t_member without two indexes")
        << QStringList() << none << "cardno,member_name" << kNobody << false
        << QStringList{
               "WARN t_member has no index for the lookup by cardno, member_name: each such lookup reads "
               "the whole table → CREATE INDEX idx_t_member_cardno ON t_member (cardno, status); CREATE "
               "INDEX idx_t_member_member_name ON t_member (member_name, status)",
               "Summary: 11 OK, 1 WARN, 0 FAIL"};
    QTest::newRow("LOG is a plain file")
        << QStringList() << none << "good" << kNobody << true
        << QStringList{
               "FAIL %DIR%/LOG is a file, not a folder: the plug-in writes no log → remove or rename that "
               "file; the plug-in creates the folder with its next record",
               "Summary: 11 OK, 0 WARN, 1 FAIL"};
}

void TestDoctor::settingsAndCrmMistakes() {
    checkMistake();
}

void TestDoctor::databaseAndLogMistakes() {
    checkMistake();
}

void TestDoctor::checkMistake() {
    QFETCH(QStringList, drop);
    QFETCH(QVariantMap, set);
    QFETCH(QString, db);
    QFETCH(QByteArray, crmReply);
    QFETCH(bool, logIsFile);
    QFETCH(QStringList, problems);
    writeTill(drop, set, db);
    if (logIsFile)
        m_dir->writeFile("LOG", "not a folder");
    if (crmReply.isEmpty())
        m_crm->stop();
    else
        m_crm->setFallback([crmReply](const crmsim::Request&) { return Reply::json(crmReply); });
    const QMap<QString, QByteArray> before = snapshot(m_dir->path());

    Doctor doctor;
    QStringList report;
    for (const QString& line : doctor.run()) {
        if (!line.startsWith("OK   "))
            report.append(line);
    }
    report.append(doctor.summary());
    QStringList expected;
    for (const QString& line : problems)
        expected.append(expand(line));
    QCOMPARE(report, expected);
    QCOMPARE(doctor.exitCode(), problems.constLast().endsWith(" 0 FAIL") ? 0 : 1);
    QCOMPARE(snapshot(m_dir->path()), before);
}

void TestDoctor::signinOnRequest_data() {
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QStringList>("lines"); // the sign-in, the state it leaves, the CRM
    QTest::addColumn<QByteArray>("tokenAfter");
    QTest::newRow("accepted")
        << QByteArray(
               R"({"data":{"result_code":"1","status":"1","token":"TOKEN-0123456789","shop_id":"S77"}})")
        << QStringList{"OK   sign-in as store 0101 accepted: shop_id S77 and token TO…89 (16 characters) "
                       "written to "
                       "ZoVORDA.ini",
                       "OK   ZoVORDA.ini [Config] signed in: token TO…89 (16 characters), shop_id S77, "
                       "SigninTime "
                       "%SIGNIN% (today)",
                       "OK   CRM at %CRM% answers: a member query is accepted"}
        << QByteArray("TOKEN-0123456789");
    QTest::newRow("refused") << QByteArray(R"({"data":{"result_code":"0","result_msg":"签到密码错误"}})")
                             << QStringList{"FAIL sign-in as store 0101 failed: "
                                            "签到失败，签到密码错误，请再次尝试或联系管理员处理 → "
                                            "check the store number, ZoVORDA.ini [Config] password and "
                                            "RVX_Config.ini [NAV] pointcode "
                                            "against the CRM's records for this till",
                                            "OK   ZoVORDA.ini [Config] signed in: token set (4 characters), "
                                            "shop_id S01, SigninTime "
                                            "%TODAY% 08:00:00 (today)",
                                            "OK   CRM at %CRM% answers: a member query is accepted"}
                             << QByteArray("TK-1");
}

void TestDoctor::signinOnRequest() {
    QFETCH(QByteArray, reply);
    QFETCH(QStringList, lines);
    QFETCH(QByteArray, tokenAfter);
    writeTill();
    m_crm->enqueue("sig999", Reply::json(reply));
    Doctor doctor("0101");
    const QStringList report = doctor.run();
    const QString signinTime = m_dir->readIni("ZoVORDA.ini", "Config/SigninTime").toString();
    QStringList expected;
    for (const QString& line : lines)
        expected.append(expand(line).replace("%SIGNIN%", signinTime));
    QCOMPARE(report.mid(6, 3), expected);
    QCOMPARE(m_crm->requests().value(0).body,
             QByteArray(R"({"device_id":"POS01","entry_pwd":"pw","serial_num":"0101"})"));
    // The member query after the sign-in carries the token the till is left with.
    QCOMPARE(m_crm->requests().value(1).header("Token"), tokenAfter);
    QCOMPARE(m_dir->readIni("ZoVORDA.ini", "Config/token").toByteArray(), tokenAfter);
}

void TestDoctor::mysqlIndexes_data() {
    QTest::addColumn<QStringList>("drop");
    QTest::addColumn<QString>("indexLine");
    QTest::newRow("all four")
        << QStringList()
        << "OK   t_member has an index for each lookup: mobile, member_id, cardno, member_name";
    QTest::newRow("no mobile index")
        << QStringList{"mobile"}
        << "WARN t_member has no index for the lookup by mobile: each such lookup "
           "reads the whole table → CREATE INDEX idx_t_member_mobile ON t_member "
           "(mobile, status)";
}

void TestDoctor::mysqlIndexes() {
    QFETCH(QStringList, drop);
    QFETCH(QString, indexLine);
    if (!m_server->isConfigured())
        QSKIP("no MariaDB server for this run (start one with tests/mariadb.sh start)");
    QVERIFY2(m_server->isReady(), qPrintable(m_server->error()));
    QString error;
    const QString database = m_server->createDatabase(error);
    QVERIFY2(!database.isEmpty(), qPrintable(error));
    QVERIFY2(makeMemberTable(m_server->connectionName(database, error), drop, error), qPrintable(error));
    writeTill({}, {{"config.ini:DataBase/DbType", "MYSQL"}, {"ZoVORDA.ini:Config/dbname", database}}, "none");

    const QStringList report = Doctor().run();
    QCOMPARE(report.mid(8, 3),
             (QStringList{"OK   member database opens: MYSQL " + database + " on localhost as root",
                          "OK   t_member has 3 rows, 2 of them active (status '1')", indexLine}));
}

// The program itself: its report on standard output and its exit status, without a display.
void TestDoctor::programExitsWithOneOnAFailure() {
    // The program sits beside the plug-in's build, under tools/doctor.
    const QString program = QFileInfo(ZOVORDA_PLUGIN_PATH).absolutePath() + "/tools/doctor/zovorda-doctor";
    if (!QFileInfo(program).isExecutable())
        QSKIP("zovorda-doctor is not built (ZOVORDA_TOOLS=OFF)");
    writeTill();
    m_crm->stop();
    QProcess doctor;
    doctor.setWorkingDirectory(m_dir->path());
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        env.remove(name);
    doctor.setProcessEnvironment(env);
    doctor.start(program, QStringList());
    QVERIFY(doctor.waitForFinished(30000));
    const QByteArray out = doctor.readAllStandardOutput();
    QCOMPARE(doctor.exitStatus(), QProcess::NormalExit);
    QCOMPARE(doctor.exitCode(), 1);
    QCOMPARE(out.count('\n'), 13);
    QVERIFY2(out.endsWith("Summary: 11 OK, 0 WARN, 1 FAIL\n"), out.constData());
}

QTEST_MAIN(TestDoctor)
#include "tst_Doctor.moc"
