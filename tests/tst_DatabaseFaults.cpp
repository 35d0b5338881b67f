// The till's own member table when things go wrong: no database set up, the MariaDB
// server not there or dying in the middle of a lookup, the SQLite file locked by another
// program or damaged. Every case ends in "本地查询会员信息失败：…" with the member the
// till held before untouched, and the same answer when the cashier asks again.
#include "core/ZoVORDACtl.h"
#include "support/MemberTable.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QTextCodec>
#include <QtTest>

#include <csignal>
#include <thread>

using namespace MemberTable;

namespace {

// A MariaDB server of this suite alone, so that it can be stopped and killed without
// disturbing the server the other suites share. It lives under its own state folder
// and answers on <state>/mysqld.sock, which is where the plug-in's client library
// looks for "localhost" in this process.
class PrivateMariaDb {
public:
    QString socket() const { return m_state.path() + "/mysqld.sock"; }
    bool isRunning() const { return m_running; }

    bool script(const QString& command, QString& why) {
        QProcess sh;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("ZOVORDA_MARIADB_DIR", m_state.path());
        sh.setProcessEnvironment(env);
        sh.start("sh", {ZOVORDA_SOURCE_DIR "/tests/mariadb.sh", command});
        if (!sh.waitForFinished(120000) || sh.exitCode() != 0) {
            why = QString::fromLocal8Bit(sh.readAllStandardError());
            return false;
        }
        m_running = command == "start";
        return true;
    }

    // The server's end without any goodbye, as when the machine behind it fails.
    void kill() {
        QFile pidFile(m_state.path() + "/mariadbd.pid");
        const int pid = pidFile.open(QIODevice::ReadOnly) ? pidFile.readAll().trimmed().toInt() : 0;
        if (pid > 0)
            ::kill(pid, SIGKILL);
    }

    // Started when needed, with database zovorda_faults holding the members. False only
    // when no server can be started here (no MariaDB installed); a server that runs but
    // cannot be filled fails the caller through why.
    bool ensure(QString& why) {
        if (!QSqlDatabase::isDriverAvailable("QMYSQL")) {
            why = "the Qt MySQL driver is not installed";
            return false;
        }
        if (!m_running && !script("start", why))
            return false;
        const QString name = "faults_admin";
        bool ok = false;
        {
            QSqlDatabase db = QSqlDatabase::addDatabase("QMYSQL", name);
            db.setHostName("localhost");
            db.setUserName("root");
            db.setConnectOptions("UNIX_SOCKET=" + socket());
            ok = db.open() && QSqlQuery(db).exec("DROP DATABASE IF EXISTS zovorda_faults") &&
                 QSqlQuery(db).exec("CREATE DATABASE zovorda_faults CHARACTER SET utf8mb4") &&
                 QSqlQuery(db).exec("USE zovorda_faults") && fill(name, "t_member.mariadb.sql", why);
            if (!ok && why.isEmpty())
                why = db.lastError().text();
        }
        QSqlDatabase::removeDatabase(name);
        m_filled = ok;
        return true;
    }
    bool isFilled() const { return m_filled; }

private:
    QTemporaryDir m_state;
    bool m_running = false;
    bool m_filled = false;
};

// A SQLite member file as the till's back office would leave it.
bool makeSqliteFile(const QString& file, QString& error) {
    bool ok = false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "fixture");
        db.setDatabaseName(file);
        ok = db.open() && fill("fixture", "t_member.sqlite.sql", error);
    }
    QSqlDatabase::removeDatabase("fixture");
    return ok;
}

} // namespace

class TestDatabaseFaults : public QObject {
    Q_OBJECT

    PrivateMariaDb m_db;

private slots:
    void initTestCase() {
        // The log and the MySQL driver follow the process's code page; pin it.
        QTextCodec::setCodecForLocale(QTextCodec::codecForName("UTF-8"));
        // Read once by the client library, at the process's first MySQL connection.
        qputenv("MYSQL_UNIX_PORT", m_db.socket().toLocal8Bit());
    }

    void cleanupTestCase() {
        QString why;
        if (m_db.isRunning())
            m_db.script("stop", why);
    }

    // What is wrong: no settings, the server stopped, a database name that is not there,
    // or the SQLite file's damage. "%1" in a text stands for the lookup's statement,
    // "@socket" for the server's socket.
    void unusableDatabase_data() {
        QTest::addColumn<QString>("damage");
        QTest::addColumn<QString>("error");
        const auto row = [](const char* name, const char* damage, const QString& error) {
            QTest::newRow(name) << damage << error;
        };
        const QString query = "函数:openRecordset||执行:%1||",
                      noFile = "unable to open database file Error opening database";
        row("no database type", "none", "未设置数据库类型");
        row("MariaDB not running", "stopped",
            "Can't connect to local server through socket '@socket' (2) QMYSQL: Unable to "
            "connect数据库打开失败！");
        row("MariaDB database missing", "nosuch_zovorda",
            "Unknown database 'nosuch_zovorda' QMYSQL: Unable to connect数据库打开失败！");
        row("SQLite file locked by another program", "locked",
            query + "database is locked Unable to execute statement");
        row("SQLite file of garbage bytes", "garbage",
            query + "file is not a database Unable to execute statement");
        row("SQLite file without a member table", "empty",
            query + "no such table: t_member Unable to execute statement");
        row("SQLite file in a folder that is not there", "no/such/dir.db", noFile + "数据库打开失败！");
        row("SQLite file with a folder in its place", "folder", noFile + "数据库打开失败！");
    }

    // Member verification without a CRM address goes straight to the local table.
    void unusableDatabase() {
        QFETCH(QString, damage);
        QFETCH(QString, error);
        WorkDir dir;
        const QString file = dir.filePath("members.db"), locker = "another_program";
        QString why;
        if (damage == "stopped" || damage == "nosuch_zovorda") {
            if (!QSqlDatabase::isDriverAvailable("QMYSQL"))
                QSKIP("the Qt MySQL driver is not installed");
            if (damage == "stopped" && m_db.isRunning())
                QVERIFY2(m_db.script("stop", why), qPrintable(why));
            if (damage != "stopped" && !m_db.ensure(why))
                QSKIP(qPrintable("no private MariaDB server: " + why));
            use(dir, "MYSQL", damage == "stopped" ? "zovorda_faults" : damage);
        } else if (damage != "none") {
            if (damage == "locked" || damage == "garbage")
                QVERIFY2(makeSqliteFile(file, why), qPrintable(why));
            if (damage == "garbage")
                dir.writeFile("members.db", QByteArray("SQLite format 2\0", 16) + QByteArray(8192, '\xA5'));
            if (damage == "empty")
                dir.writeFile("members.db", QByteArray());
            if (damage == "folder")
                QVERIFY(QDir(dir.path()).mkdir("members.db"));
            if (damage == "locked") {
                QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", locker);
                db.setDatabaseName(file);
                QVERIFY(db.open());
                QSqlQuery q(db);
                QVERIFY(q.exec("PRAGMA locking_mode=EXCLUSIVE") && q.exec("BEGIN EXCLUSIVE"));
            }
            use(dir, "SQLITE", damage.contains('/') ? damage : file);
        }
        const QString sql = statement("mobile", "13800000001");
        QString expected = kFailed + error;
        expected.replace("@socket", m_db.socket());
        if (error.contains("%1"))
            expected = expected.arg(sql);

        ZoVORDACtl ctl;
        ctl.memberRec.name = "上一位会员";
        QString message;
        QElapsedTimer clock;
        clock.start();
        QVERIFY(!ctl.VerifyMember("13800000001", message));
        qInfo("%s: %lld ms", QTest::currentDataTag(), clock.elapsed());
        QCOMPARE(message, expected);
        QCOMPARE(ctl.memberRec.name, "上一位会员");
        // No statement is logged without a database, and the lookup never ends as done.
        QCOMPARE(dir.lastLogText("执行离线查询会员"), error.contains("%1") ? sql : QString());
        QVERIFY(!dir.logSteps().contains("查询结束"));

        // Asked again, the till gives the same answer rather than a stale connection.
        QList<MemberRec> found{MemberRec()};
        message = "earlier text";
        QVERIFY(!ctl.QueryMemberOffline("13800000001", found, message));
        QCOMPARE(message, expected);
        QVERIFY(found.isEmpty());

        if (damage == "locked") {
            // Once the other program lets go, the same till finds the member.
            QSqlDatabase::database(locker).rollback();
            QSqlDatabase::database(locker).close();
            QSqlDatabase::removeDatabase(locker);
            QVERIFY2(ctl.QueryMemberOffline("13800000001", found, message), qPrintable(message));
            QCOMPARE(cards(found), QStringList{"8001"});
        }
    }

    void mariaDbDiesDuringLookup() {
        QString why;
        if (!m_db.ensure(why))
            QSKIP(qPrintable("no private MariaDB server: " + why));
        QVERIFY2(m_db.isFilled(), qPrintable(why));
        WorkDir dir;
        use(dir, "MYSQL", "zovorda_faults");
        ZoVORDACtl ctl;
        QList<MemberRec> members;
        QString error;
        QVERIFY2(ctl.QueryMemberOffline("13800000001", members, error), qPrintable(error));
        QCOMPARE(cards(members), QStringList{"8001"});

        // Another program holds the table, so the next lookup waits inside the server
        // when the server goes down.
        const QString locker = "table_locker";
        {
            QSqlDatabase db = QSqlDatabase::addDatabase("QMYSQL", locker);
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
        ctl.memberRec.name = "上一位会员";
        const bool ok = ctl.VerifyMember("13800000001", error);
        const qint64 elapsed = clock.elapsed();
        killer.join();
        QSqlDatabase::removeDatabase(locker);
        m_db.script("stop", why); // clears the dead server's state folder
        qInfo("server killed mid-lookup: answer after %lld ms", elapsed);

        const QString sql = statement("mobile", "13800000001");
        QVERIFY(!ok);
        QVERIFY2(elapsed >= 500 && elapsed < 5000, qPrintable(QString::number(elapsed)));
        QCOMPARE(error, kFailed + "函数:openRecordset||执行:" + sql +
                            "||Lost connection to server during query QMYSQL: Unable to execute query");
        QCOMPARE(ctl.memberRec.name, "上一位会员");
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
        QVERIFY2(m_db.ensure(why) && m_db.isFilled(), qPrintable(why));
        for (const QString key : {"13800000001", "张三"}) {
            QVERIFY2(ctl.QueryMemberOffline(key, members, error), qPrintable(error));
            QCOMPARE(cards(members), QStringList{"8001"});
        }
    }
};

QTEST_MAIN(TestDatabaseFaults)
#include "tst_DatabaseFaults.moc"
