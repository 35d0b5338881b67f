// The installer's check of a till: the exact report for a good till, the findings for
// each usual set-up mistake, a sign-in on request, and the program's exit status.
#include "CrmSim.h"
#include "Doctor.h"
#include "log/TenderJournal.h"
#include "support/MariaDbServer.h"
#include "support/MemberTable.h"
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
const QString kZo = QStringLiteral("ZoVORDA.ini");

// The good till but for what is said here.
struct Till {
    QString unset;            // a key of ZoVORDA.ini left out
    QByteArray crm = kNobody; // what the CRM answers
    bool memberFile = true;   // the SQLite member file, with t_member
    bool logIsFile = false;
    QString timeOut = QString(); // ZoVORDA.ini's TimeOut, when one is written
    qint64 minFreeMb = Doctor::kDefaultMinimumFreeMb;
};

// A petabyte: more than any disk here has free, so the disk counts as nearly full.
constexpr qint64 kPetabyteMb = qint64(1) << 30;

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

// One call of the tender journal; its day is 2026-12-05 unless said.
struct Call {
    const char* time;
    TenderJournal::Entry entry;
    TenderJournal::Outcome outcome;
    QString detail;
};

const QString kClosed = QStringLiteral("网络错误，请再次尝试或联系管理员处理。错误代码: 2 Connection closed");

QList<Call> journalled() {
    using O = TenderJournal::Outcome;
    const auto pay = [](const char* order, const char* type, const char* cash) {
        TenderJournal::Entry e("pmb020", order, "M1002", cash);
        e.request = QStringLiteral(R"({"member_id":"M1002","order_id":"%1","score_cash":"%2","type":"%3"})")
                        .arg(order, cash, type)
                        .toUtf8();
        return e;
    };
    TenderJournal::Entry settle("pmb021", "B1", "M1001", "88.5"), writeOff("pmb023", "B2", "M1002", "5");
    settle.request = R"({"order_id":"B1","value":"88.5"})";
    writeOff.request = R"({"coupon_list":[{"coupon_no":"Q1"}],"order_id":"B2"})";
    return {{"2026-12-05 10:00:01.250", pay("B0001", "1", "12.50"), O::Accepted, ""},
            {"2026-12-05 10:05:00.000", settle, O::Unknown, kClosed},
            {"2026-12-05 10:07:30.500", writeOff, O::Refused, "0 券已使用, 请核对"},
            {"2026-12-05 23:59:59.999", pay("B0", "-1", "10.00"), O::NotSent, "未配置VordaCRM地址"},
            {"2026-12-06 00:00:00.000", pay("B3", "1", "1.00"), O::Accepted, ""}};
}

} // namespace

Q_DECLARE_METATYPE(Till)

class TestDoctor : public QObject {
    Q_OBJECT

    MariaDbServer* m_server = nullptr;
    std::unique_ptr<crmsim::Server> m_crm;
    std::unique_ptr<WorkDir> m_dir;
    QString m_url; // the CRM's, also once it is stopped

    void writeTill(const Till& till) {
        m_dir->configureTill(m_url);
        m_dir->writeIni(kZo, {{"Config/dbname", m_dir->filePath("members.db")}});
        m_dir->writeIni("config.ini", {{"DataBase/DbType", "SQLITE"}});
        if (!till.unset.isEmpty())
            QSettings(m_dir->filePath(kZo), QSettings::IniFormat).remove(till.unset);
        if (!till.timeOut.isEmpty())
            m_dir->writeIni(kZo, {{"Config/TimeOut", till.timeOut}});
        if (till.logIsFile)
            m_dir->writeFile("LOG", "not a folder");
        if (till.memberFile)
            writeMembers();
    }
    void writeMembers() {
        {
            QSqlDatabase conn = QSqlDatabase::addDatabase("QSQLITE", "doctor_fixture");
            conn.setDatabaseName(m_dir->filePath("members.db"));
            QVERIFY(conn.open());
            QString error;
            QVERIFY2(MemberTable::fill("doctor_fixture", "t_member.sqlite.sql", error), qPrintable(error));
        }
        QSqlDatabase::removeDatabase("doctor_fixture");
    }
    void answer(const QByteArray& reply) {
        m_crm->setFallback([reply](const crmsim::Request&) { return Reply::json(reply); });
    }
    // The free megabytes differ from run to run: "only N MB free".
    static QStringList withoutFreeFigure(QStringList lines) {
        for (QString& line : lines)
            line.replace(QRegularExpression("^WARN only \\d+ MB free"), "WARN only N MB free");
        return lines;
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
                    "OK   log folder %DIR%/LOG does not exist yet; the plug-in can create it",
                    "OK   disk of %DIR% has at least 100 MB free"}));
        QCOMPARE(doctor.summary(), QStringLiteral("Summary: 13 OK, 0 WARN, 0 FAIL"));
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
        QTest::newRow("settings: no address")
            << Till{"Config/HttpAddress"}
            << QStringList{"FAIL ZoVORDA.ini [Config] HttpAddress is not set → set the CRM's address, e.g. "
                           "http://crm.example.com:8080",
                           "FAIL CRM not asked: 未配置VordaCRM地址 → set HttpAddress, company_id and "
                           "pointcode first (see above)",
                           "Summary: 11 OK, 0 WARN, 2 FAIL"};
        QTest::newRow("CRM refuses the token")
            << Till{{}, R"({"data":{"result_code":"0","result_msg":"token无效，请重新签到"}})"}
            << QStringList{"WARN CRM at %CRM% answers, but refuses this till: 0 token无效，请重新签到 → "
                           "when it is about the token, sign in: zovorda-doctor --signin STORE; otherwise "
                           "check company_id and pointcode with the CRM",
                           "Summary: 12 OK, 1 WARN, 0 FAIL"};
        // Below 1 s the time-out ended at once or never, beyond 300 s it overflowed.
        for (const char* seconds : {"-1", "3000000"})
            QTest::newRow(qPrintable(QString("a time-out of %1 s").arg(seconds)))
                << Till{{}, kNobody, true, false, seconds}
                << QStringList{
                       QString("WARN ZoVORDA.ini [Config] TimeOut = %1 is outside 1 to 300 seconds: 20 s "
                               "apply → set the seconds the till waits for the CRM, e.g. TimeOut=20")
                           .arg(seconds),
                       "Summary: 12 OK, 1 WARN, 0 FAIL"};
        // The file is not created by looking for it.
        QTest::newRow("member file missing")
            << Till{{}, kNobody, false}
            << QStringList{"FAIL member database file %DIR%/members.db does not exist → correct ZoVORDA.ini "
                           "[Config] dbname, or put the member file there",
                           "Summary: 10 OK, 0 WARN, 1 FAIL"};
        QTest::newRow("LOG is a plain file")
            << Till{{}, kNobody, true, true}
            << QStringList{"FAIL %DIR%/LOG is a file, not a folder: the plug-in writes no log → remove or "
                           "rename that file; the plug-in creates the folder with its next record",
                           "Summary: 12 OK, 0 WARN, 1 FAIL"};
        // A full disk makes the log lose records without a word.
        QTest::newRow("disk nearly full")
            << Till{{}, kNobody, true, false, QString(), kPetabyteMb}
            << QStringList{
                   "WARN only N MB free on the disk of %DIR% (less than 1073741824 MB): once it is full "
                   "the daily log loses records without a word → free space on that disk, e.g. "
                   "archive old LOG/PayLog*.txt files",
                   "Summary: 12 OK, 1 WARN, 0 FAIL"};
    }
    // The report's findings and summary, the exit status that goes with them, the till untouched.
    void mistakes() {
        QFETCH(Till, till);
        QFETCH(QStringList, findings);
        writeTill(till);
        answer(till.crm);
        const QMap<QString, QByteArray> before = snapshot(m_dir->path());
        Doctor doctor;
        doctor.setMinimumFreeMb(till.minFreeMb);
        QStringList report;
        for (const QString& line : doctor.run()) {
            if (!line.startsWith("OK   "))
                report.append(line);
        }
        QCOMPARE(withoutFreeFigure(report) << doctor.summary(), expand(findings));
        QCOMPARE(doctor.exitCode(), findings.constLast().endsWith(" 0 FAIL") ? 0 : 1);
        QCOMPARE(snapshot(m_dir->path()), before);
    }

    // A sign-in on request: its line, the state it leaves, and the member query with the new token.
    void signinOnRequest() {
        writeTill({});
        const QByteArray installersLines = "\n; 门店\n[Till]\nshop_name=一号店\nExePath=/opt/会员/同步程序\n";
        m_dir->writeFile(kZo, m_dir->readFile(kZo) + installersLines);
        m_crm->enqueue("sig999", Reply::json(R"({"data":{"result_code":"1","status":"1",)"
                                             R"("token":"TOKEN-0123456789","shop_id":"S77"}})"));
        const QStringList report = Doctor("0101").run();
        const QString signinTime = m_dir->readIni(kZo, "Config/SigninTime").toString();
        QCOMPARE(report.mid(6, 3),
                 expand({"OK   sign-in as store 0101 accepted: shop_id S77 and token TO…89 (16 characters) "
                         "written to ZoVORDA.ini",
                         "OK   ZoVORDA.ini [Config] signed in: token TO…89 (16 characters), shop_id S77, "
                         "SigninTime " +
                             signinTime + " (today)",
                         "OK   CRM at %CRM% answers: a member query is accepted"}));
        QCOMPARE(m_crm->requests().value(0).body,
                 QByteArray(R"({"device_id":"POS01","entry_pwd":"pw","serial_num":"0101"})"));
        QCOMPARE(m_crm->requests().value(1).header("Token"), QByteArray("TOKEN-0123456789"));
        QCOMPARE(m_dir->readIni(kZo, "Config/token").toByteArray(), QByteArray("TOKEN-0123456789"));
        QVERIFY(m_dir->readFile(kZo).endsWith(installersLines));
    }

    // On MySQL the indexes are found in another way: three of four here.
    void mysqlIndexes() {
        if (!m_server->isConfigured())
            QSKIP("no MariaDB server for this run (start one with tests/mariadb.sh start)");
        QVERIFY2(m_server->isReady(), qPrintable(m_server->error()));
        QString error;
        const QString database = m_server->createDatabase(error);
        QVERIFY2(!database.isEmpty(), qPrintable(error));
        const QString connection = m_server->connectionName(database, error);
        QVERIFY2(MemberTable::fill(connection, "t_member.mariadb.sql", error), qPrintable(error));
        QSqlQuery q(QSqlDatabase::database(connection, false));
        QVERIFY2(q.exec("DROP INDEX idx_t_member_mobile ON t_member"), qPrintable(q.lastError().text()));
        writeTill({{}, kNobody, false});
        m_dir->writeIni("config.ini", {{"DataBase/DbType", "MYSQL"}});
        m_dir->writeIni(kZo, {{"Config/dbname", database}});
        QCOMPARE(
            Doctor().run().mid(8, 3),
            (QStringList{"OK   member database opens: MYSQL " + database + " on localhost as root",
                         "OK   t_member has 9 rows, 6 of them active (status '1')",
                         "WARN t_member has no index for the lookup by mobile: each such lookup reads the "
                         "whole table → CREATE INDEX idx_t_member_mobile ON t_member (mobile, status)"}));
    }

    // The journal of one day through the program, as a table for support and as CSV for the back office.
    void journal_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QByteArray>("out");
        QTest::addColumn<int>("status");
        QTest::addColumn<bool>("written"); // the journal file there at all
        const QString heading = "Tender journal %DIR%/LOG/journal.db, ";
        QTest::newRow("a day as a table")
            << QStringList{"--journal", "2026-12-05"}
            << QStringList{heading + "2026-12-05: 4 money-moving calls",
                           "time      call              order  member  amount  outcome   detail",
                           "10:00:01  points payment    B0001  M1002   12.50   accepted",
                           "10:05:00  settlement        B1     M1001   88.5    unknown   " + kClosed,
                           "10:07:30  coupon write-off  B2     M1002   5       refused   0 券已使用, 请核对",
                           "23:59:59  points refund     B0     M1002   10.00   not sent  未配置VordaCRM地址",
                           "UNKNOWN 10:05:00 settlement of order B1, member M1001, amount 88.5 → ask the CRM "
                           "whether it applied it before the sale is taken again",
                           "Summary: 1 accepted, 1 refused, 1 unknown, 1 not sent",
                           ""}
                   .join('\n')
                   .toUtf8()
            << 0 << true;
        QTest::newRow("a day as CSV")
            << QStringList{"--journal", "2026-12-06", "--csv"}
            << QByteArray("\xEF\xBB\xBFtime,txcode,call,order_id,member_id,amount,outcome,detail,request\r\n"
                          "2026-12-06 00:00:00.000,pmb020,points payment,B3,M1002,1.00,accepted,,"
                          R"("{""member_id"":""M1002"",""order_id"":""B3"",""score_cash"":""1.00"",)"
                          R"(""type"":""1""}")"
                          "\r\n")
            << 0 << true;
        QTest::newRow("a day without calls")
            << QStringList{"--journal", "2026-12-07"}
            << (heading + "2026-12-07: no money-moving calls\n").toUtf8() << 0 << true;
        QTest::newRow("a till that has moved no money yet")
            << QStringList{"--journal", "2026-12-07"}
            << (heading + "2026-12-07: no money-moving calls\n").toUtf8() << 0 << false;
        QTest::newRow("a date that is none")
            << QStringList{"--journal", "2026-13-01"} << QByteArray() << 2 << true;
    }
    void journal() {
        QFETCH(QStringList, args);
        QFETCH(QByteArray, out);
        QFETCH(bool, written);
        if (written) {
            TenderJournal journal(m_dir->filePath("LOG"));
            for (Call c : journalled()) {
                c.entry.at = QDateTime::fromString(c.time, "yyyy-MM-dd hh:mm:ss.zzz");
                QVERIFY2(journal.end(journal.begin(c.entry), c.outcome, c.detail),
                         qPrintable(journal.error()));
            }
        }
        QProcess doctor;
        doctor.setWorkingDirectory(m_dir->path());
        doctor.start(ZOVORDA_DOCTOR_PATH, args);
        QVERIFY(doctor.waitForFinished(30000));
        QCOMPARE(doctor.readAllStandardOutput(), out.replace("%DIR%", m_dir->path().toUtf8()));
        QTEST(doctor.exitCode(), "status");
    }

    // The program itself, without a display: its report on standard output, ending here with
    // the CRM it cannot reach and, asked for a petabyte, a disk too full, and its exit status.
    void programExitsWithOneOnAFailure() {
        writeTill({});
        m_crm->stop();
        QProcess doctor;
        doctor.setWorkingDirectory(m_dir->path());
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            env.remove(name);
        doctor.setProcessEnvironment(env);
        doctor.start(ZOVORDA_DOCTOR_PATH, {"--min-free-mb", QString::number(kPetabyteMb)});
        QVERIFY(doctor.waitForFinished(30000));
        const QByteArray out = doctor.readAllStandardOutput();
        QCOMPARE(doctor.exitStatus(), QProcess::NormalExit);
        QCOMPARE(doctor.exitCode(), 1);
        const QStringList lines = QString::fromUtf8(out).split('\n');
        QCOMPARE(lines.size(), 15); // thirteen checks, the summary, and the last line's end
        QCOMPARE(
            withoutFreeFigure({lines.at(7), lines.at(12), lines.at(13)}),
            expand({"FAIL CRM at %CRM% does not answer: 网络错误，请再次尝试或联系管理员处理。错误代码: 1 "
                    "Connection refused → check that the CRM runs and that this till reaches it at "
                    "that address (port, proxy, firewall)",
                    "WARN only N MB free on the disk of %DIR% (less than 1073741824 MB): once it is full "
                    "the daily log loses records without a word → free space on that disk, e.g. archive "
                    "old LOG/PayLog*.txt files",
                    "Summary: 11 OK, 1 WARN, 1 FAIL"}));
    }
};

QTEST_MAIN(TestDoctor)
#include "tst_Doctor.moc"
