// The till's own member table when things go wrong: the MariaDB server not there or
// dying in the middle of a lookup, the SQLite file locked by another program or
// damaged, and keys that try to break out of the statement. Every case ends in
// "本地查询会员信息失败：…" or in an honest (possibly empty) result; the statement is
// never changed by what the cashier typed.
#include "core/ZoVORDACtl.h"
#include "support/MariaDbServer.h"
#include "support/WorkDir.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlField>
#include <QSqlQuery>
#include <QTextCodec>
#include <QtTest>

#include <csignal>
#include <thread>

namespace {

const QString kFailed = QStringLiteral("本地查询会员信息失败：");
const QString kSelect =
    QStringLiteral("select member_id,cardno,grade_level,grade_name,member_name,birthday,mobile,"
                   "address from t_member where ");

QString statement(const QString& column, const QString& literal) {
    return kSelect + column + QStringLiteral("='") + literal + QStringLiteral("' and status='1'");
}

// member_id, cardno, member_name, mobile; all active.
const QList<QStringList> kMembers = {
    {"1000000000000001", "8001", "张三", "13800000001"},
    {"1000000000000011", "8011", "O'Brien", "13800000011"},
    {"1000000000000012", "8012", "Li\\", "13800000012"},
    {"1000000000000013", "8013", "😀会员", "13800000013"},
};

// The rows go in as literals quoted by the driver itself, so that names with quotes
// and backslashes are stored exactly as the back office would store them.
bool fillMembers(const QString& connection, const QString& schema, QString& error) {
    if (!runSqlScript(connection, QStringLiteral(ZOVORDA_SOURCE_DIR "/db/") + schema, error))
        return false;
    QSqlDatabase db = QSqlDatabase::database(connection, false);
    QSqlQuery insert(db);
    for (const QStringList& m : kMembers) {
        QStringList values;
        for (const QString& v : m) {
            QSqlField field(QString(), QVariant::String);
            field.setValue(v);
            values << db.driver()->formatValue(field);
        }
        if (!insert.exec(
                "insert into t_member(member_id,cardno,member_name,mobile,grade_level,grade_name,status) "
                "values(" +
                values.join(',') + ",'01','金卡','1')")) {
            error = insert.lastError().text();
            return false;
        }
    }
    return true;
}

// A SQLite member file as the till's back office would leave it.
bool makeSqliteFile(const QString& file, QString& error) {
    const QString name = QStringLiteral("fixture_") + file;
    bool ok = false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(file);
        ok = db.open() && fillMembers(name, QStringLiteral("t_member.sqlite.sql"), error);
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
    return ok;
}

void useSqlite(const WorkDir& dir, const QString& file) {
    dir.writeIni("config.ini", {{"DataBase/DbType", "SQLITE"}});
    dir.writeIni("ZoVORDA.ini", {{"Config/dbname", file}});
}

void useMariaDb(const WorkDir& dir, const QString& database) {
    dir.writeIni("config.ini", {{"DataBase/DbType", "MYSQL"}});
    dir.writeIni("ZoVORDA.ini", {{"Config/dbname", database}});
}

QStringList cardNumbers(const QList<MemberRec>& members) {
    QStringList codes;
    for (const MemberRec& m : members)
        codes << m.code;
    return codes;
}

// A MariaDB server of this suite alone, so that it can be stopped and killed without
// disturbing the server the other suites share. It lives under its own state folder
// and answers on <state>/mysqld.sock, which is where the plug-in's client library
// looks for "localhost" in this process.
class PrivateMariaDb {
public:
    QString socket() const { return m_state.path() + QStringLiteral("/mysqld.sock"); }

    bool script(const QString& command, QString& why) {
        QProcess sh;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("ZOVORDA_MARIADB_DIR"), m_state.path());
        sh.setProcessEnvironment(env);
        sh.start(QStringLiteral("sh"), {QStringLiteral(ZOVORDA_SOURCE_DIR "/tests/mariadb.sh"), command});
        if (!sh.waitForFinished(120000) || sh.exitCode() != 0) {
            why = QString::fromLocal8Bit(sh.readAllStandardError());
            return false;
        }
        m_running = command == QLatin1String("start");
        return true;
    }

    bool isRunning() const { return m_running; }

    // The server's end without any goodbye, as when the machine behind it fails.
    void kill() {
        QFile pidFile(m_state.path() + QStringLiteral("/mariadbd.pid"));
        if (pidFile.open(QIODevice::ReadOnly)) {
            const int pid = pidFile.readAll().trimmed().toInt();
            if (pid > 0)
                ::kill(pid, SIGKILL);
        }
    }

    // A database with the member table filled, reached by a connection of our own.
    bool createMembers(const QString& database, QString& why) {
        const QString name = QStringLiteral("faults_admin");
        bool ok = false;
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QMYSQL"), name);
            db.setHostName(QStringLiteral("localhost"));
            db.setUserName(QStringLiteral("root"));
            db.setConnectOptions(QStringLiteral("UNIX_SOCKET=") + socket());
            ok =
                db.open() &&
                QSqlQuery(db).exec(
                    QStringLiteral("CREATE DATABASE IF NOT EXISTS %1 CHARACTER SET utf8mb4").arg(database)) &&
                QSqlQuery(db).exec(QStringLiteral("USE ") + database) &&
                QSqlQuery(db).exec(QStringLiteral("SET NAMES utf8mb4")) &&
                fillMembers(name, QStringLiteral("t_member.mariadb.sql"), why);
            if (!ok && why.isEmpty())
                why = db.lastError().text();
        }
        QSqlDatabase::removeDatabase(name);
        return ok;
    }

private:
    QTemporaryDir m_state;
    bool m_running = false;
};

} // namespace

class TestDatabaseFaults : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void mariaDbNotRunning();
    void damagedSqliteFile_data();
    void damagedSqliteFile();
    void keysKeepTheStatement_data();
    void keysKeepTheStatement();
    void mariaDbDiesDuringLookup();

private:
    bool ensureMariaDb(QString& why);
    PrivateMariaDb m_db;
    bool m_bMembers = false;
};

void TestDatabaseFaults::initTestCase() {
    // The log and the MySQL driver follow the process's code page; pin it.
    QTextCodec::setCodecForLocale(QTextCodec::codecForName("UTF-8"));
    // Read once by the client library, at the process's first MySQL connection.
    qputenv("MYSQL_UNIX_PORT", m_db.socket().toLocal8Bit());
}

void TestDatabaseFaults::cleanupTestCase() {
    QString why;
    if (m_db.isRunning())
        m_db.script(QStringLiteral("stop"), why);
}

// False only when no server can be started here (no MariaDB installed): the cases
// skip then. A server that runs but cannot be filled fails them.
bool TestDatabaseFaults::ensureMariaDb(QString& why) {
    if (!QSqlDatabase::isDriverAvailable(QStringLiteral("QMYSQL"))) {
        why = QStringLiteral("the Qt MySQL driver is not installed");
        return false;
    }
    if (!m_db.isRunning()) {
        m_bMembers = false;
        if (!m_db.script(QStringLiteral("start"), why))
            return false;
    }
    if (!m_bMembers)
        m_bMembers = m_db.createMembers(QStringLiteral("zovorda_faults"), why);
    return true;
}

void TestDatabaseFaults::mariaDbNotRunning() {
    if (!QSqlDatabase::isDriverAvailable(QStringLiteral("QMYSQL")))
        QSKIP("the Qt MySQL driver is not installed");
    QString why;
    if (m_db.isRunning())
        QVERIFY2(m_db.script(QStringLiteral("stop"), why), qPrintable(why));
    WorkDir dir; // no CRM address: member verification goes straight to the local table
    useMariaDb(dir, "zovorda_faults");
    ZoVORDACtl ctl;
    ctl.memberRec.name = QStringLiteral("上一位会员");
    QString error;
    QElapsedTimer clock;
    clock.start();
    QVERIFY(!ctl.VerifyMember("13800000001", error));
    qInfo("no server: %lld ms", clock.elapsed());
    QCOMPARE(error, kFailed + "Can't connect to local server through socket '" + m_db.socket() +
                        "' (2) QMYSQL: Unable to connect数据库打开失败！");
    QCOMPARE(ctl.memberRec.name, QStringLiteral("上一位会员"));
    QCOMPARE(dir.lastLogText("执行离线查询会员"), QString()); // no statement without a database

    // Asked again, the till gives the same answer rather than a stale connection.
    QString again;
    QVERIFY(!ctl.VerifyMember("13800000001", again));
    QCOMPARE(again, error);
}

void TestDatabaseFaults::damagedSqliteFile_data() {
    QTest::addColumn<QString>("damage");
    QTest::addColumn<QString>("error"); // "%1" stands for the statement
    QTest::newRow("locked by another program")
        << "locked"
        << kFailed + "函数:openRecordset||执行:%1||database is locked Unable to execute statement";
    QTest::newRow("garbage bytes") << "garbage"
                                   << kFailed +
                                          "函数:openRecordset||执行:%1||file is not a database Unable to "
                                          "execute statement";
    QTest::newRow("no member table") << "empty"
                                     << kFailed +
                                            "函数:openRecordset||执行:%1||no such table: t_member Unable to "
                                            "execute statement";
    QTest::newRow("a folder in its place")
        << "folder" << kFailed + "unable to open database file Error opening database数据库打开失败！";
}

void TestDatabaseFaults::damagedSqliteFile() {
    QFETCH(QString, damage);
    QFETCH(QString, error);
    WorkDir dir;
    const QString file = dir.filePath("members.db");
    QString why;
    const QString locker = QStringLiteral("another_program");
    if (damage == "locked" || damage == "garbage")
        QVERIFY2(makeSqliteFile(file, why), qPrintable(why));
    if (damage == "garbage")
        dir.writeFile("members.db", QByteArray("SQLite format 2\0", 16) + QByteArray(8192, '\xA5'));
    if (damage == "empty")
        dir.writeFile("members.db", QByteArray());
    if (damage == "folder")
        QVERIFY(QDir(dir.path()).mkdir("members.db"));
    if (damage == "locked") {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), locker);
        db.setDatabaseName(file);
        QVERIFY(db.open());
        QSqlQuery q(db);
        QVERIFY(q.exec("PRAGMA locking_mode=EXCLUSIVE"));
        QVERIFY(q.exec("BEGIN EXCLUSIVE"));
    }
    useSqlite(dir, file);

    ZoVORDACtl ctl;
    ctl.memberRec.name = QStringLiteral("上一位会员");
    QString message;
    QElapsedTimer clock;
    clock.start();
    QVERIFY(!ctl.VerifyMember("13800000001", message));
    qInfo("%s: %lld ms %s", qPrintable(damage), clock.elapsed(), qPrintable(message));
    const QString sql = statement("mobile", "13800000001");
    QCOMPARE(message, error.contains("%1") ? error.arg(sql) : error);
    QCOMPARE(ctl.memberRec.name, QStringLiteral("上一位会员"));
    QCOMPARE(dir.lastLogText("执行离线查询会员"), error.contains("%1") ? sql : QString());

    if (damage == "locked") {
        // Once the other program lets go, the same till finds the member.
        QSqlDatabase::database(locker).rollback();
        QSqlDatabase::database(locker).close();
        QSqlDatabase::removeDatabase(locker);
        QList<MemberRec> found;
        QVERIFY2(ctl.QueryMemberOffline("13800000001", found, message), qPrintable(message));
        QCOMPARE(cardNumbers(found), QStringList{"8001"});
    }
}

void TestDatabaseFaults::keysKeepTheStatement_data() {
    QTest::addColumn<QString>("backend");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("column");
    QTest::addColumn<QStringList>("found");
    QTest::addColumn<QString>("error"); // "%1" stands for the statement
    struct KeyCase {
        const char* what;
        QString key;
        const char* column;
        QStringList found;
    };
    const QList<KeyCase> cases = {
        {"ordinary name", "张三", "member_name", {"8001"}},
        {"quote in a name", "O'Brien", "member_name", {"8011"}},
        {"backslash at the end", "Li\\", "member_name", {"8012"}},
        {"quote to widen the search", "x' or '1'='1", "member_name", {}},
        {"backslash-quote to widen the search", "\\' or 1=1 -- ", "member_name", {}},
        {"card number with a quote", "8011' or '1'='1", "member_name", {}},
        {"10 000 letters", QString(10000, QLatin1Char('a')), "member_name", {}},
        {"10 000 digits", QString(10000, QLatin1Char('9')), "cardno", {}},
    };
    QTest::addRow("sqlite: emoji") << "sqlite"
                                   << "😀会员"
                                   << "member_name" << QStringList{"8013"} << QString();
    for (const char* backend : {"sqlite", "mariadb"}) {
        for (const KeyCase& c : cases)
            QTest::addRow("%s: %s", backend, c.what) << QString::fromLatin1(backend) << c.key
                                                     << QString::fromLatin1(c.column) << c.found << QString();
    }
    // The connection talks utf8 (three bytes at most), so a character beyond that, as
    // in an emoji or a rare name character, cannot be compared with the member table:
    // the till gets the failure text instead of a member.
    QTest::addRow("mariadb: emoji") << "mariadb"
                                    << "😀会员"
                                    << "member_name" << QStringList()
                                    << kFailed +
                                           "函数:openRecordset||执行:%1||Illegal mix of collations "
                                           "(utf8mb4_nopad_bin,IMPLICIT) and (utf8mb3_general_ci,COERCIBLE) "
                                           "for operation '=' QMYSQL: Unable to execute query";
}

void TestDatabaseFaults::keysKeepTheStatement() {
    QFETCH(QString, backend);
    QFETCH(QString, key);
    QFETCH(QString, column);
    QFETCH(QStringList, found);
    QFETCH(QString, error);
    WorkDir dir;
    QString why;
    QString literal = key;
    literal.replace("'", "''");
    if (backend == "sqlite") {
        QVERIFY2(makeSqliteFile(dir.filePath("members.db"), why), qPrintable(why));
        useSqlite(dir, dir.filePath("members.db"));
    } else {
        if (!ensureMariaDb(why))
            QSKIP(qPrintable("no private MariaDB server: " + why));
        QVERIFY2(m_bMembers, qPrintable(why));
        useMariaDb(dir, "zovorda_faults");
        // MariaDB reads a backslash in a literal as an escape.
        literal = key;
        literal.replace("\\", "\\\\").replace("'", "''");
    }

    ZoVORDACtl ctl;
    QList<MemberRec> members;
    QString message;
    const QString sql = statement(column, literal);
    QCOMPARE(ctl.QueryMemberOffline(key, members, message), error.isEmpty());
    if (!error.isEmpty())
        QCOMPARE(message, error.arg(sql));
    QCOMPARE(cardNumbers(members), found);
    QCOMPARE(dir.lastLogText("执行离线查询会员"), sql);
}

void TestDatabaseFaults::mariaDbDiesDuringLookup() {
    QString why;
    if (!ensureMariaDb(why))
        QSKIP(qPrintable("no private MariaDB server: " + why));
    QVERIFY2(m_bMembers, qPrintable(why));
    WorkDir dir;
    useMariaDb(dir, "zovorda_faults");
    ZoVORDACtl ctl;
    QList<MemberRec> members;
    QString error;
    QVERIFY2(ctl.QueryMemberOffline("13800000001", members, error), qPrintable(error));
    QCOMPARE(cardNumbers(members), QStringList{"8001"});

    // Another program holds the table, so the next lookup waits inside the server
    // when the server goes down.
    const QString locker = QStringLiteral("table_locker");
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QMYSQL"), locker);
        db.setHostName("localhost");
        db.setUserName("root");
        db.setDatabaseName("zovorda_faults");
        db.setConnectOptions("UNIX_SOCKET=" + m_db.socket());
        QVERIFY2(db.open(), qPrintable(db.lastError().text()));
        QVERIFY(QSqlQuery(db).exec("LOCK TABLES t_member WRITE"));
    }
    std::thread killer([this] {
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        m_db.kill();
    });
    QElapsedTimer clock;
    clock.start();
    ctl.memberRec.name = QStringLiteral("上一位会员");
    const bool ok = ctl.VerifyMember("13800000001", error);
    const qint64 elapsed = clock.elapsed();
    killer.join();
    QSqlDatabase::removeDatabase(locker);
    m_db.script(QStringLiteral("stop"), why); // clears the dead server's state folder
    qInfo("server killed mid-lookup: answer after %lld ms", elapsed);

    const QString sql = statement("mobile", "13800000001");
    QVERIFY(!ok);
    QVERIFY2(elapsed >= 500 && elapsed < 5000, qPrintable(QString::number(elapsed)));
    QCOMPARE(error, kFailed + "函数:openRecordset||执行:" + sql +
                        "||Lost connection to server during query QMYSQL: Unable to execute query");
    QCOMPARE(ctl.memberRec.name, QStringLiteral("上一位会员"));
    QCOMPARE(dir.lastLogText("执行离线查询会员"), sql);

    // With the server gone for good every later lookup fails at once with a message.
    clock.restart();
    QVERIFY(!ctl.QueryMemberOffline("13800000001", members, error));
    QVERIFY2(clock.elapsed() < 2000, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(error, kFailed + "函数:openRecordset||执行:" + sql +
                        "||Can't connect to local server through socket '" + m_db.socket() +
                        "' (2) QMYSQL: Unable to execute query");

    // The server comes back: the same till, without a restart, finds its members
    // again, Chinese names included.
    QVERIFY2(ensureMariaDb(why) && m_bMembers, qPrintable(why));
    QVERIFY2(ctl.QueryMemberOffline("13800000001", members, error), qPrintable(error));
    QCOMPARE(cardNumbers(members), QStringList{"8001"});
    QVERIFY2(ctl.QueryMemberOffline("张三", members, error), qPrintable(error));
    QCOMPARE(cardNumbers(members), QStringList{"8001"});
}

QTEST_MAIN(TestDatabaseFaults)
#include "tst_DatabaseFaults.moc"
