// The installer's check of a till: the exact report for a good till, the findings for
// each usual set-up mistake, a sign-in on request, and the program's exit status.
#include "CrmSim.h"
#include "Doctor.h"
#include "support/MariaDbServer.h"
#include "support/MemberTable.h"
#include "support/WorkDir.h"

#include <QDirIterator>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QtTest>

using crmsim::Reply;

namespace {

const QByteArray kNobody = R"({"data":{"result_code":"1","memberinfo":[]}})";
const QString kZo = QStringLiteral("ZoVORDA.ini");

} // namespace

// One change to the good till's settings: a key set to a value, or left out when the
// value is invalid; the whole file left out when the key is empty.
struct Edit {
    QString file, key;
    QVariant value;
};
enum class Members { Table, NoTable, NoFile };
struct Till {
    Till(const QList<Edit>& e = {}, const QByteArray& c = kNobody, Members m = Members::Table,
         const QStringList& u = {}, bool log = false)
        : edits(e), crm(c), members(m), unindexed(u), logIsFile(log) {}
    QList<Edit> edits;
    QByteArray crm; // what the CRM answers; empty: it is down
    Members members;
    QStringList unindexed; // t_member's lookup columns left without an index
    bool logIsFile;
};

Q_DECLARE_METATYPE(Till)

namespace {

// The members of the database suites, an index for each lookup but the unindexed ones.
bool makeMemberTable(const QString& connection, const QStringList& unindexed, QString& error) {
    QSqlQuery q(QSqlDatabase::database(connection, false));
    const bool sqlite = q.driver()->dbmsType() == QSqlDriver::SQLite;
    if (!MemberTable::fill(connection, sqlite ? "t_member.sqlite.sql" : "t_member.mariadb.sql", error))
        return false;
    for (const QString& column : unindexed) {
        if (!q.exec(QString("DROP INDEX idx_t_member_%1").arg(column) + (sqlite ? "" : " ON t_member"))) {
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

void settingsAndCrmMistakes() {
    const QString notAsked = "set HttpAddress, company_id and pointcode first (see above)";
    const QVariant left;
    QTest::newRow("no address")
        << Till{{{kZo, "Config/HttpAddress", left}}}
        << QStringList{"FAIL ZoVORDA.ini [Config] HttpAddress is not set → set the CRM's address, e.g. "
                       "http://crm.example.com:8080",
                       "FAIL CRM not asked: 未配置VordaCRM地址 → " + notAsked,
                       "Summary: 10 OK, 0 WARN, 2 FAIL"};
    QTest::newRow("no company")
        << Till{{{kZo, "Config/company_id", left}}}
        << QStringList{
               "FAIL ZoVORDA.ini [Config] company_id is not set → set the company id the CRM gave you",
               "FAIL CRM not asked: 请求未配置公司ID → " + notAsked, "Summary: 10 OK, 0 WARN, 2 FAIL"};
    QTest::newRow("no device, no RVX_Config.ini")
        << Till{{{"RVX_Config.ini", QString(), left}}}
        << QStringList{"FAIL RVX_Config.ini is not in %DIR% → run zovorda-doctor in the folder the till "
                       "program runs in, or create the file there",
                       "FAIL RVX_Config.ini [NAV] pointcode is not set → set the till's device code as "
                       "registered in the CRM",
                       "FAIL CRM not asked: 请求未配置设备编码 → " + notAsked,
                       "Summary: 10 OK, 0 WARN, 3 FAIL"};
    QTest::newRow("CRM unreachable")
        << Till{{}, QByteArray()}
        << QStringList{"FAIL CRM at %CRM% does not answer: 网络错误，请再次尝试或联系管理员处理。错误代码: 1 "
                       "Connection refused → check that the CRM runs and that this till reaches it at that "
                       "address (port, proxy, firewall)",
                       "Summary: 11 OK, 0 WARN, 1 FAIL"};
    QTest::newRow("a web page, not the CRM")
        << Till{{}, "<html>\n<b>Welcome</b>\n</html>"}
        << QStringList{"FAIL CRM at %CRM% answers, but not as the Vorda CRM: the reply is not JSON: \"<html> "
                       "<b>Welcome</b> </html>\" → HttpAddress must be the Vorda CRM's base address, the "
                       "part before /txCtrl",
                       "Summary: 11 OK, 0 WARN, 1 FAIL"};
    QTest::newRow("CRM refuses the token")
        << Till{{}, R"({"data":{"result_code":"0","result_msg":"token无效，请重新签到"}})"}
        << QStringList{
               "WARN CRM at %CRM% answers, but refuses this till: 0 token无效，请重新签到 → when it is "
               "about the token, sign in: zovorda-doctor --signin STORE; otherwise check company_id "
               "and pointcode with the CRM",
               "Summary: 11 OK, 1 WARN, 0 FAIL"};
    QTest::newRow("never signed in, odd time-out, back-slashes")
        << Till{{{kZo, "Config/token", left},
                 {kZo, "Config/SigninTime", left},
                 {kZo, "Config/TimeOut", "20s"},
                 {kZo, "Config/ExePath", "C:\\Till\\a.exe"}}}
        << QStringList{
               "WARN ZoVORDA.ini [Config] TimeOut = 20s is not a whole number: 20 s apply → set the "
               "seconds the till waits for the CRM, e.g. TimeOut=20",
               "WARN ZoVORDA.ini [Config] ExePath = C:\\Till\\a.exe is written with back-slashes: the "
               "plug-in starts the program again at every member lookup → write the path with '/', "
               "e.g. C:/Till/Companion.exe",
               "WARN ZoVORDA.ini [Config] not signed in yet: token, SigninTime not set → the till "
               "signs in at its first member lookup; to try it now: zovorda-doctor --signin STORE",
               "Summary: 9 OK, 3 WARN, 0 FAIL"};
}

// Below 1 s the time-out ended at once or never, beyond 300 s it overflowed.
void timeOutMistakes() {
    for (const char* seconds : {"-1", "3000000"})
        QTest::newRow(qPrintable(QString("a time-out of %1 s").arg(seconds)))
            << Till{{{kZo, "Config/TimeOut", seconds}}}
            << QStringList{QString("WARN ZoVORDA.ini [Config] TimeOut = %1 is outside 1 to 300 seconds: 20 s "
                                   "apply → set the seconds the till waits for the CRM, e.g. TimeOut=20")
                               .arg(seconds),
                           "Summary: 11 OK, 1 WARN, 0 FAIL"};
}

void databaseAndLogMistakes() {
    QTest::newRow("database type missing")
        << Till{{{"config.ini", "DataBase/DbType", ""}}}
        << QStringList{"WARN config.ini [DataBase] DbType is not set: members cannot be found while the CRM "
                       "is down → set DbType=SQLITE, MYSQL, SQLSERVER, ORACLE or ACCESS",
                       "Summary: 9 OK, 1 WARN, 0 FAIL"};
    QTest::newRow("database type unknown")
        << Till{{{"config.ini", "DataBase/DbType", "Postgres"}}}
        << QStringList{"FAIL member database POSTGRES does not open: "
                       "不支持的数据库类型Postgres，数据库打开失败！ "
                       "→ set config.ini [DataBase] DbType to SQLITE, MYSQL, SQLSERVER, ORACLE or ACCESS",
                       "Summary: 9 OK, 0 WARN, 1 FAIL"};
    // The file is not created by looking for it.
    QTest::newRow("member file missing")
        << Till{{}, kNobody, Members::NoFile}
        << QStringList{"FAIL member database file %DIR%/members.db does not exist → correct ZoVORDA.ini "
                       "[Config] dbname, or put the member file there",
                       "Summary: 9 OK, 0 WARN, 1 FAIL"};
    QTest::newRow("t_member missing")
        << Till{{}, kNobody, Members::NoTable}
        << QStringList{"FAIL t_member cannot be read: no such table: t_member Unable to execute statement → "
                       "create it with db/t_member.sqlite.sql and load the members with db/load_members.py",
                       "Summary: 10 OK, 0 WARN, 1 FAIL"};
    QTest::newRow("t_member without two indexes")
        << Till{{}, kNobody, Members::Table, {"cardno", "member_name"}}
        << QStringList{"WARN t_member has no index for the lookup by cardno, member_name: each such lookup "
                       "reads the whole table → CREATE INDEX idx_t_member_cardno ON t_member (cardno, "
                       "status); CREATE INDEX idx_t_member_member_name ON t_member (member_name, status)",
                       "Summary: 11 OK, 1 WARN, 0 FAIL"};
    QTest::newRow("LOG is a plain file")
        << Till{{}, kNobody, Members::Table, {}, true}
        << QStringList{"FAIL %DIR%/LOG is a file, not a folder: the plug-in writes no log → remove or rename "
                       "that file; the plug-in creates the folder with its next record",
                       "Summary: 11 OK, 0 WARN, 1 FAIL"};
}

} // namespace

class TestDoctor : public QObject {
    Q_OBJECT

    MariaDbServer* m_server = nullptr;
    std::unique_ptr<crmsim::Server> m_crm;
    std::unique_ptr<WorkDir> m_dir;
    QString m_url; // the CRM's, also once it is stopped

    // The good till changed by the edits, its member file as asked.
    void writeTill(const Till& till) {
        m_dir->configureTill(m_url);
        m_dir->writeIni(kZo, {{"Config/dbname", m_dir->filePath("members.db")}});
        m_dir->writeIni("config.ini", {{"DataBase/DbType", "SQLITE"}});
        for (const Edit& e : till.edits) {
            if (e.key.isEmpty())
                QFile::remove(m_dir->filePath(e.file));
            else if (e.value.isValid())
                m_dir->writeIni(e.file, {{e.key, e.value}});
            else
                QSettings(m_dir->filePath(e.file), QSettings::IniFormat).remove(e.key);
        }
        if (till.logIsFile)
            m_dir->writeFile("LOG", "not a folder");
        if (till.members != Members::NoFile)
            writeMembers(till);
    }
    void writeMembers(const Till& till) {
        {
            QSqlDatabase conn = QSqlDatabase::addDatabase("QSQLITE", "doctor_fixture");
            conn.setDatabaseName(m_dir->filePath("members.db"));
            QVERIFY(conn.open());
            QString error;
            if (till.members == Members::NoTable)
                QVERIFY(QSqlQuery(conn).exec("create table t_other (x text)"));
            else
                QVERIFY2(makeMemberTable("doctor_fixture", till.unindexed, error), qPrintable(error));
        }
        QSqlDatabase::removeDatabase("doctor_fixture");
    }
    void answer(const QByteArray& reply) {
        m_crm->setFallback([reply](const crmsim::Request&) { return Reply::json(reply); });
    }
    QStringList expand(QStringList lines) const {
        for (QString& line : lines)
            line.replace("%CRM%", m_url)
                .replace("%DIR%", m_dir->path())
                .replace("%TODAY%", QDate::currentDate().toString("yyyy-MM-dd"));
        return lines;
    }

private slots:
    // Before any MySQL connection of the process: it points the client library at the test server.
    void initTestCase() { m_server = new MariaDbServer; }
    void cleanupTestCase() { delete m_server; }
    void init() {
        m_crm = std::make_unique<crmsim::Server>();
        QVERIFY(m_crm->start());
        m_url = m_crm->baseUrl();
        answer(kNobody);
        m_dir = std::make_unique<WorkDir>();
    }
    void cleanup() {
        m_dir.reset();
        m_crm.reset();
    }

    void goodTillReportsEveryCheck() {
        writeTill({});
        const QMap<QString, QByteArray> before = snapshot(m_dir->path());
        Doctor doctor;
        QCOMPARE(
            doctor.run(),
            expand({"OK   ZoVORDA.ini [Config] HttpAddress = %CRM%",
                    "OK   ZoVORDA.ini [Config] company_id = C001",
                    "OK   RVX_Config.ini [NAV] pointcode = POS01", "OK   ZoVORDA.ini [Config] TimeOut = 5 s",
                    "OK   ZoVORDA.ini [Config] password is set",
                    "OK   ZoVORDA.ini [Config] ExePath is not set (no companion program)",
                    "OK   ZoVORDA.ini [Config] signed in: token set (4 characters), shop_id S01, "
                    "SigninTime %TODAY% 08:00:00 (today)",
                    "OK   CRM at %CRM% answers: a member query is accepted",
                    "OK   member database opens: SQLITE file %DIR%/members.db",
                    "OK   t_member has 9 rows, 6 of them active (status '1')",
                    "OK   t_member has an index for each lookup: mobile, member_id, cardno, member_name",
                    "OK   log folder %DIR%/LOG does not exist yet; the plug-in can create it"}));
        QCOMPARE(doctor.summary(), QStringLiteral("Summary: 12 OK, 0 WARN, 0 FAIL"));
        QCOMPARE(doctor.exitCode(), 0);
        // One harmless member query, as the till would send it, and the till untouched.
        QCOMPARE(m_crm->requestCount(), 1);
        QCOMPARE(m_crm->requests().at(0).body, QByteArray(R"({"cardno":"","shop_id":"S01"})"));
        QCOMPARE(m_crm->requests().at(0).header("Token"), QByteArray("TK-1"));
        QCOMPARE(snapshot(m_dir->path()), before);
    }

    void mistakes_data() {
        QTest::addColumn<Till>("till");
        QTest::addColumn<QStringList>("findings"); // every line but the OK ones, then the summary
        settingsAndCrmMistakes();
        timeOutMistakes();
        databaseAndLogMistakes();
    }
    // The report's findings and summary, the exit status that goes with them, the till untouched.
    void mistakes() {
        QFETCH(Till, till);
        QFETCH(QStringList, findings);
        writeTill(till);
        if (till.crm.isEmpty())
            m_crm->stop();
        answer(till.crm);
        const QMap<QString, QByteArray> before = snapshot(m_dir->path());
        Doctor doctor;
        QStringList report;
        for (const QString& line : doctor.run()) {
            if (!line.startsWith("OK   "))
                report.append(line);
        }
        QCOMPARE(report << doctor.summary(), expand(findings));
        QCOMPARE(doctor.exitCode(), findings.constLast().endsWith(" 0 FAIL") ? 0 : 1);
        QCOMPARE(snapshot(m_dir->path()), before);
    }

    void signinOnRequest_data() {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<QStringList>("lines"); // the sign-in, the state it leaves, the CRM
        QTest::addColumn<QByteArray>("tokenAfter");
        QTest::newRow("accepted")
            << QByteArray(
                   R"({"data":{"result_code":"1","status":"1","token":"TOKEN-0123456789","shop_id":"S77"}})")
            << QStringList{"OK   sign-in as store 0101 accepted: shop_id S77 and token TO…89 (16 characters) "
                           "written to ZoVORDA.ini",
                           "OK   ZoVORDA.ini [Config] signed in: token TO…89 (16 characters), shop_id S77, "
                           "SigninTime %SIGNIN% (today)",
                           "OK   CRM at %CRM% answers: a member query is accepted"}
            << QByteArray("TOKEN-0123456789");
        QTest::newRow("refused")
            << QByteArray(R"({"data":{"result_code":"0","result_msg":"签到密码错误"}})")
            << QStringList{"FAIL sign-in as store 0101 failed: "
                           "签到失败，签到密码错误，请再次尝试或联系管理员处理 → "
                           "check the store number, ZoVORDA.ini [Config] password and RVX_Config.ini [NAV] "
                           "pointcode against the CRM's records for this till",
                           "OK   ZoVORDA.ini [Config] signed in: token set (4 characters), shop_id S01, "
                           "SigninTime %TODAY% 08:00:00 (today)",
                           "OK   CRM at %CRM% answers: a member query is accepted"}
            << QByteArray("TK-1");
    }
    void signinOnRequest() {
        QFETCH(QByteArray, reply);
        QFETCH(QStringList, lines);
        QFETCH(QByteArray, tokenAfter);
        writeTill({});
        m_crm->enqueue("sig999", Reply::json(reply));
        const QStringList report = Doctor("0101").run();
        const QString signinTime = m_dir->readIni(kZo, "Config/SigninTime").toString();
        QCOMPARE(report.mid(6, 3), expand(lines).replaceInStrings("%SIGNIN%", signinTime));
        QCOMPARE(m_crm->requests().value(0).body,
                 QByteArray(R"({"device_id":"POS01","entry_pwd":"pw","serial_num":"0101"})"));
        // The member query after the sign-in carries the token the till is left with.
        QCOMPARE(m_crm->requests().value(1).header("Token"), tokenAfter);
        QCOMPARE(m_dir->readIni(kZo, "Config/token").toByteArray(), tokenAfter);
    }

    // On MySQL the indexes are found in another way: three of four here.
    void mysqlIndexes() {
        if (!m_server->isConfigured())
            QSKIP("no MariaDB server for this run (start one with tests/mariadb.sh start)");
        QVERIFY2(m_server->isReady(), qPrintable(m_server->error()));
        QString error;
        const QString database = m_server->createDatabase(error);
        QVERIFY2(!database.isEmpty(), qPrintable(error));
        QVERIFY2(makeMemberTable(m_server->connectionName(database, error), {"mobile"}, error),
                 qPrintable(error));
        writeTill({{{"config.ini", "DataBase/DbType", "MYSQL"}, {kZo, "Config/dbname", database}},
                   kNobody,
                   Members::NoFile});
        QCOMPARE(
            Doctor().run().mid(8, 3),
            (QStringList{"OK   member database opens: MYSQL " + database + " on localhost as root",
                         "OK   t_member has 9 rows, 6 of them active (status '1')",
                         "WARN t_member has no index for the lookup by mobile: each such lookup reads the "
                         "whole table → CREATE INDEX idx_t_member_mobile ON t_member (mobile, status)"}));
    }

    // The program itself: its report on standard output and its exit status, without a display.
    void programExitsWithOneOnAFailure() {
        // The program sits beside the plug-in's build, under tools/doctor.
        const QString program =
            QFileInfo(ZOVORDA_PLUGIN_PATH).absolutePath() + "/tools/doctor/zovorda-doctor";
        if (!QFileInfo(program).isExecutable())
            QSKIP("zovorda-doctor is not built (ZOVORDA_TOOLS=OFF)");
        writeTill({});
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
};

QTEST_MAIN(TestDoctor)
#include "tst_Doctor.moc"
