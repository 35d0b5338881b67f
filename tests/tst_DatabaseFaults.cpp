// The till's own member table when things go wrong: no database set up, the MariaDB
// server not there or dying in the middle of a lookup, the SQLite file locked by another
// program or damaged. Every case ends in "本地查询会员信息失败：…" with the list emptied,
// and the same answer when the cashier asks again.
#include "support/MemberTable.h"

#include <QProcess>
#include <QTextCodec>
#include <QtTest>

#include <csignal>
#include <thread>

using namespace MemberTable;

namespace {

// A MariaDB server of this suite alone, so that it can be stopped and killed without
// disturbing the server the other suites share. It lives under its own state folder
// and answers on <state>/mysqld.sock, where the client library looks for "localhost"
// in this process.
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

    // A root connection to the server under this name, on the database when one is given.
    QSqlDatabase connect(const QString& name, const QString& database = QString()) const {
        QSqlDatabase db = QSqlDatabase::addDatabase("QMYSQL", name);
        db.setHostName("localhost");
        db.setUserName("root");
        db.setDatabaseName(database);
        db.setConnectOptions("UNIX_SOCKET=" + socket());
        db.open();
        return db;
    }

    // Running, with database zovorda_faults holding the members. Skips (false, why)
    // when no server can be started here; fails through why when it runs but cannot be filled.
    bool ensure(QString& why, bool& filled) {
        if (!QSqlDatabase::isDriverAvailable("QMYSQL")) {
            why = "the Qt MySQL driver is not installed";
            return false;
        }
        if (!m_running && !script("start", why))
            return false;
        {
            QSqlDatabase db = connect("faults_admin");
            filled = db.isOpen() && QSqlQuery(db).exec("DROP DATABASE IF EXISTS zovorda_faults") &&
                     QSqlQuery(db).exec("CREATE DATABASE zovorda_faults CHARACTER SET utf8mb4") &&
                     QSqlQuery(db).exec("USE zovorda_faults") &&
                     fill("faults_admin", "t_member.mariadb.sql", why);
            if (!filled && why.isEmpty())
                why = db.lastError().text();
        }
        QSqlDatabase::removeDatabase("faults_admin");
        return true;
    }

private:
    QTemporaryDir m_state;
    bool m_running = false;
};

enum class Damage {
    NoType,
    ServerStopped,
    NoSuchDatabase,
    NoDatabaseName,
    Locked,
    Garbage,
    Empty,
    NoFolder,
    Folder
};

} // namespace

Q_DECLARE_METATYPE(Damage)

class TestDatabaseFaults : public QObject {
    Q_OBJECT

    PrivateMariaDb m_server;

    // Sets the damage up in the working directory; false when the test must stop.
    bool prepare(const WorkDir& dir, Damage damage, QString& why) {
        const QString file = dir.filePath("members.db");
        switch (damage) {
        case Damage::NoType:
            return true;
        case Damage::ServerStopped:
            use(dir, "MYSQL", "zovorda_faults");
            return !m_server.isRunning() || m_server.script("stop", why);
        case Damage::NoSuchDatabase:
        case Damage::NoDatabaseName: {
            bool filled = false;
            use(dir, "MYSQL", damage == Damage::NoSuchDatabase ? "nosuch_zovorda" : "");
            return m_server.ensure(why, filled);
        }
        case Damage::Locked:
            if (!makeSqliteFile(file, why))
                return false;
            break;
        case Damage::Garbage:
            dir.writeFile("members.db", QByteArray("SQLite format 2\0", 16) + QByteArray(8192, '\xA5'));
            break;
        case Damage::Empty:
            dir.writeFile("members.db", QByteArray());
            break;
        case Damage::NoFolder:
            use(dir, "SQLITE", "no/such/dir.db");
            return true;
        case Damage::Folder:
            QDir(dir.path()).mkdir("members.db");
            break;
        }
        use(dir, "SQLITE", file);
        return true;
    }

    // A SQLite member file as the till's back office would leave it.
    static bool makeSqliteFile(const QString& file, QString& error) {
        bool ok = false;
        {
            QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "fixture");
            db.setDatabaseName(file);
            ok = db.open() && fill("fixture", "t_member.sqlite.sql", error);
        }
        QSqlDatabase::removeDatabase("fixture");
        return ok;
    }

private slots:
    void initTestCase() {
        // The log and the MySQL driver follow the process's code page; pin it.
        QTextCodec::setCodecForLocale(QTextCodec::codecForName("UTF-8"));
        // Read once by the client library, at the process's first MySQL connection.
        qputenv("MYSQL_UNIX_PORT", m_server.socket().toLocal8Bit());
    }

    void cleanupTestCase() {
        QString why;
        if (m_server.isRunning())
            m_server.script("stop", why);
    }

    // What is wrong, what the CRM left when it could not answer, and the message. "%1"
    // stands for the lookup's statement, "@socket" for the server's socket.
    void unusableDatabase_data() {
        QTest::addColumn<Damage>("damage");
        QTest::addColumn<QString>("online");
        QTest::addColumn<QString>("error");
        const QString query = "函数:openRecordset||执行:%1||", failed = "数据库打开失败！",
                      noFile = "unable to open database file Error opening database" + failed,
                      network = "网络错误，请再次尝试或联系管理员处理。错误代码: 1 Connection refused";
        const auto row = [](const char* name, Damage damage, const QString& online, const QString& error) {
            QTest::newRow(name) << damage << online << error;
        };
        // The database's own text replaces what the CRM left, except where it has none.
        row("no database type", Damage::NoType, network, "未设置数据库类型");
        row("MariaDB not running", Damage::ServerStopped, network,
            "Can't connect to local server through socket '@socket' (2) QMYSQL: Unable to connect" + failed);
        row("MariaDB database missing", Damage::NoSuchDatabase, "",
            "Unknown database 'nosuch_zovorda' QMYSQL: Unable to connect" + failed);
        row("MariaDB database without a name", Damage::NoDatabaseName, network, network + failed);
        row("SQLite file locked by another program", Damage::Locked, network,
            query + "database is locked Unable to execute statement");
        row("SQLite file of garbage bytes", Damage::Garbage, "",
            query + "file is not a database Unable to execute statement");
        row("SQLite file without a member table", Damage::Empty, "",
            query + "no such table: t_member Unable to execute statement");
        row("SQLite file in a folder that is not there", Damage::NoFolder, network, noFile);
        row("SQLite file with a folder in its place", Damage::Folder, "", noFile);
    }

    void unusableDatabase() {
        QFETCH(Damage, damage);
        QFETCH(QString, online);
        QFETCH(QString, error);
        WorkDir dir;
        QString why;
        const bool needsServer = damage == Damage::NoSuchDatabase || damage == Damage::NoDatabaseName;
        if ((needsServer || damage == Damage::ServerStopped) && !QSqlDatabase::isDriverAvailable("QMYSQL"))
            QSKIP("the Qt MySQL driver is not installed");
        if (!prepare(dir, damage, why)) {
            if (needsServer)
                QSKIP(qPrintable("no private MariaDB server: " + why));
            QFAIL(qPrintable(why));
        }
        const QString locker = "another_program";
        if (damage == Damage::Locked) {
            QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", locker);
            db.setDatabaseName(dir.filePath("members.db"));
            QVERIFY(db.open());
            QSqlQuery q(db);
            QVERIFY(q.exec("PRAGMA locking_mode=EXCLUSIVE") && q.exec("BEGIN EXCLUSIVE"));
        }
        const QString sql = statement("mobile", "13800000001");
        QString expected = kFailed + error;
        expected.replace("@socket", m_server.socket());
        if (error.contains("%1"))
            expected = expected.arg(sql);

        Lookup lookup;
        QList<MemberRec> found{MemberRec()};
        // Asked again, the till gives the same answer rather than a stale connection.
        for (int attempt = 0; attempt < 2; ++attempt) {
            QCOMPARE(lookup.store.find("13800000001", found, online).hostText(), expected);
            QVERIFY(found.isEmpty());
        }
        // No statement is logged without a database, and the lookup never ends as done.
        QCOMPARE(dir.lastLogText("执行离线查询会员"), error.contains("%1") ? sql : QString());
        QVERIFY(!dir.logSteps().contains("查询结束"));

        if (damage == Damage::Locked) {
            // Once the other program lets go, the same till finds the member.
            QSqlDatabase::database(locker).rollback();
            QSqlDatabase::database(locker).close();
            QSqlDatabase::removeDatabase(locker);
            const Outcome outcome = lookup.store.find("13800000001", found, online);
            QVERIFY2(outcome.isDone(), qPrintable(outcome.hostText()));
            QCOMPARE(cards(found), QStringList{"8001"});
        }
    }

    void mariaDbDiesDuringLookup() {
        QString why;
        bool filled = false;
        if (!m_server.ensure(why, filled))
            QSKIP(qPrintable("no private MariaDB server: " + why));
        QVERIFY2(filled, qPrintable(why));
        WorkDir dir;
        use(dir, "MYSQL", "zovorda_faults");
        Lookup lookup;
        QList<MemberRec> members;
        QVERIFY(lookup.store.find("13800000001", members).isDone());
        QCOMPARE(cards(members), QStringList{"8001"});

        // Another program holds the table, so the next lookup waits inside the server
        // when the server goes down.
        const QString locker = "table_locker";
        QVERIFY(QSqlQuery(m_server.connect(locker, "zovorda_faults")).exec("LOCK TABLES t_member WRITE"));
        std::thread killer([this] {
            std::this_thread::sleep_for(std::chrono::milliseconds(500));
            m_server.kill();
        });
        const Outcome died = lookup.store.find("13800000001", members);
        killer.join();
        QSqlDatabase::removeDatabase(locker);
        m_server.script("stop", why); // clears the dead server's state folder

        const QString sql = statement("mobile", "13800000001");
        QCOMPARE(died.hostText(),
                 kFailed + "函数:openRecordset||执行:" + sql +
                     "||Lost connection to server during query QMYSQL: Unable to execute query");
        QCOMPARE(dir.lastLogText("执行离线查询会员"), sql);
        // With the server gone for good every later lookup fails with a message.
        QCOMPARE(lookup.store.find("13800000001", members).hostText(),
                 kFailed + "函数:openRecordset||执行:" + sql +
                     "||Can't connect to local server through socket '" + m_server.socket() +
                     "' (2) QMYSQL: Unable to execute query");

        // The server comes back: the same till, without a restart, finds its members
        // again, Chinese names included.
        QVERIFY2(m_server.ensure(why, filled) && filled, qPrintable(why));
        for (const QString key : {"13800000001", "张三"}) {
            QVERIFY(lookup.store.find(key, members).isDone());
            QCOMPARE(cards(members), QStringList{"8001"});
        }
    }
};

QTEST_MAIN(TestDatabaseFaults)
#include "tst_DatabaseFaults.moc"
