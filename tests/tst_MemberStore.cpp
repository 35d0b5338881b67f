// Looking a member up in the till's own member table while the CRM is away: the
// same member rows in a SQLite file, in the test run's MariaDB (tests/mariadb.sh),
// and in that MariaDB reached through ODBC as the "SQL SERVER" driver.
#include "support/Columns.h"
#include "support/MemberTable.h"

#include <QProcess>
#include <QStandardPaths>
#include <QTextCodec>
#include <QtTest>

using namespace MemberTable;

namespace {

enum class Backend { Sqlite, MariaDb, Odbc };
const char* const kBackendNames[] = {"sqlite", "mariadb", "odbc"};

} // namespace

Q_DECLARE_METATYPE(Backend)

// An announced server that does not answer fails the test; no server at all skips it.
#define USE_BACKEND(dir, backend, database)                                                                  \
    do {                                                                                                     \
        const QString why = useBackend(dir, backend, database);                                              \
        if (!why.isNull()) {                                                                                 \
            QVERIFY2(!m_server->isConfigured() || m_server->isReady(), qPrintable(why));                     \
            QSKIP(qPrintable(why));                                                                          \
        }                                                                                                    \
    } while (false)

class TestMemberStore : public QObject {
    Q_OBJECT

    MariaDbServer* m_server = nullptr;
    QTemporaryDir m_fixtureDir;
    QString m_sqliteFile;
    QString m_mariaDb;
    QString m_odbcError;
    const QString kSqliteFixture = "members_fixture";

    // Points the working directory at the backend's member table; why it cannot, or null.
    QString useBackend(const WorkDir& dir, Backend backend, const QString& database) const {
        if (backend == Backend::Sqlite) {
            use(dir, "SQLITE", database.isEmpty() ? m_sqliteFile : database);
            return QString();
        }
        if (!m_server->isReady())
            return m_server->error();
        // Empty server and user: "localhost" as "root", through the server's socket.
        if (backend == Backend::MariaDb)
            use(dir, "MYSQL", database.isEmpty() ? m_mariaDb : database);
        else if (m_odbcError.isEmpty())
            use(dir, "SQLSERVER", database.isEmpty() ? m_mariaDb : database, "localhost", "root");
        return backend == Backend::Odbc && !m_odbcError.isEmpty() ? m_odbcError : QString();
    }

    struct Loaded {
        int status = -1;
        QByteArray out, err;
    };
    // db/load_members.py run with these arguments.
    static Loaded load(const QStringList& args) {
        const QString python = QStandardPaths::findExecutable("python3");
        if (python.isEmpty())
            return {-1, {}, "python3 is not installed"};
        QProcess loader;
        loader.start(python, QStringList{ZOVORDA_SOURCE_DIR "/db/load_members.py"} << args);
        loader.waitForFinished(60000);
        return {loader.exitCode(), loader.readAllStandardOutput(), loader.readAllStandardError()};
    }

private slots:
    void initTestCase() {
        // The log file and the MySQL driver both follow the process's code page; pin it so
        // that the Chinese in the records and the member rows does not depend on the locale.
        QTextCodec::setCodecForLocale(QTextCodec::codecForName("UTF-8"));
        QString error;
        m_sqliteFile = m_fixtureDir.filePath("members.db");
        {
            QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", kSqliteFixture);
            db.setDatabaseName(m_sqliteFile);
            QVERIFY(db.open());
        }
        QVERIFY2(fill(kSqliteFixture, "t_member.sqlite.sql", error), qPrintable(error));
        m_server = new MariaDbServer;
        if (!m_server->isReady())
            return;
        m_mariaDb = m_server->createDatabase(error);
        QVERIFY2(!m_mariaDb.isEmpty(), qPrintable(error));
        const QString connection = m_server->connectionName(m_mariaDb, error);
        QVERIFY2(!connection.isEmpty(), qPrintable(error));
        QVERIFY2(fill(connection, "t_member.mariadb.sql", error), qPrintable(error));
        m_server->registerOdbcDriver("SQL SERVER", m_odbcError);
    }

    void cleanupTestCase() {
        QSqlDatabase::removeDatabase(kSqliteFixture);
        delete m_server;
    }

    // The key's form chooses the column; the key goes into the statement as a quoted
    // literal that it cannot break out of. The log holds the statement and the count,
    // nothing else; a failure ("%1" the statement) logs the statement only.
    void keyChoosesColumn_data() {
        QTest::addColumn<Backend>("backend");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("column");
        QTest::addColumn<QString>("literal");
        QTest::addColumn<QStringList>("found");
        QTest::addColumn<QString>("error");
        struct Case {
            const char* name;
            QString key, column, literal, mariaLiteral; // null: the key itself
            QStringList cards;
            QString mariaError = QString();
        };
        const QString name = "member_name";
        const QList<Case> cases = {
            {"11 digits: mobile", "13800000001", "mobile", {}, {}, {"8001"}},
            {"two members share a mobile", "13800000002", "mobile", {}, {}, {"8002", "8003"}},
            {"16 digits: member id", "1000000000000002", "member_id", {}, {}, {"8002"}},
            {"4 digits: card", "8001", "cardno", {}, {}, {"8001"}},
            {"12 digits: card", "100000000012", "cardno", {}, {}, {"100000000012"}},
            {"11-digit card number is taken for a mobile", "12345678901", "mobile", {}, {}, {}},
            {"10 000 digits: card", QString(10000, '9'), "cardno", {}, {}, {}},
            {"Chinese name", "张三", name, {}, {}, {"8001"}},
            {"digits with a trailing blank", "13800000001 ", name, {}, {}, {}},
            {"digits with a blank inside", "1380000 0001", name, {}, {}, {}},
            {"digits with a letter", "8001a", name, {}, {}, {}},
            {"digits with a scanner's line feed", "13800000001\n", name, {}, {}, {}},
            {"full-width digits", "１３８００００００01", name, {}, {}, {}},
            {"empty key", "", name, {}, {}, {}},
            {"10 000 letters", QString(10000, 'a'), name, {}, {}, {}},
            {"inactive members only", "赵六", name, {}, {}, {}},
            {"member without status", "Alice", name, {}, {}, {}},
            {"mobile of an inactive member", "13800000009", "mobile", {}, {}, {}},
            {"name with a quote", "O'Brien", name, "O''Brien", {}, {"100000000012"}},
            {"quote cannot widen the search", "x' or '1'='1", name, "x'' or ''1''=''1", {}, {}},
            {"card number with a quote", "8011' or '1'='1", name, "8011'' or ''1''=''1", {}, {}},
            {"name ending in a backslash", "Li\\", name, {}, "Li\\\\", {"12345678901"}},
            {"backslash cannot end the literal",
             "\\' or 1=1 -- ",
             name,
             "\\'' or 1=1 -- ",
             "\\\\'' or 1=1 -- ",
             {}},
            // The MySQL connection talks utf8 (three bytes at most), so a character beyond
            // that, as in an emoji or a rare name character, cannot be compared with the
            // member table: the till gets the failure text instead of a member.
            {"emoji in a name",
             "😀会员",
             name,
             {},
             {},
             {"8014"},
             kFailed +
                 "函数:openRecordset||执行:%1||Illegal mix of collations (utf8mb4_nopad_bin,IMPLICIT) and "
                 "(utf8mb3_general_ci,COERCIBLE) for operation '=' QMYSQL: Unable to execute query"},
        };
        for (const Backend backend : {Backend::Sqlite, Backend::MariaDb, Backend::Odbc}) {
            const bool maria = backend == Backend::MariaDb;
            for (const Case& c : cases) {
                // Behind the "SQL SERVER" name sits MariaDB, which reads backslashes as
                // escapes where a real SQL Server would not.
                if (backend == Backend::Odbc && c.key.contains('\\'))
                    continue;
                const QString literal = c.literal.isNull() ? c.key : c.literal;
                QTest::addRow("%s: %s", kBackendNames[int(backend)], c.name)
                    << backend << c.key << c.column
                    << (maria && !c.mariaLiteral.isNull() ? c.mariaLiteral : literal)
                    << (maria && !c.mariaError.isNull() ? QStringList() : c.cards)
                    << (maria ? c.mariaError : QString());
            }
        }
    }

    void keyChoosesColumn() {
        QFETCH(Backend, backend);
        QFETCH(QString, key);
        QFETCH(QString, column);
        QFETCH(QString, literal);
        QFETCH(QStringList, found);
        QFETCH(QString, error);
        WorkDir dir;
        USE_BACKEND(dir, backend, QString());
        Lookup lookup;
        QList<MemberRec> members{MemberRec()};
        const QString sql = statement(column, literal);
        const Outcome outcome = lookup.store.find(key, members);
        QCOMPARE(outcome.isFailed(), !error.isEmpty());
        QCOMPARE(outcome.hostText(), error.isEmpty() ? QString() : error.arg(sql));
        QCOMPARE(cards(members), found);
        QStringList log;
        for (const LogRecord& r : dir.logRecords())
            log << r.source + '|' + r.step + '|' + r.text;
        QStringList expected{"ZoVORDA动态库|执行离线查询会员|" + sql};
        if (error.isEmpty())
            expected << QString("ZoVORDA动态库|查询结束|查询结果：%1条").arg(found.size());
        QCOMPARE(log, expected);
    }

    // The installer may write ZoVORDA.ini in UTF-8 or in the till's own code page.
    void databaseNamedInChinese_data() {
        columns<QByteArray, QByteArray>({"codec", "start"});
        QTest::newRow("UTF-8") << QByteArray("UTF-8") << QByteArray();
        QTest::newRow("UTF-8 with a byte order mark") << QByteArray("UTF-8") << QByteArray("\xEF\xBB\xBF");
        QTest::newRow("GBK") << QByteArray("GBK") << QByteArray();
    }

    void databaseNamedInChinese() {
        QFETCH(QByteArray, codec);
        QFETCH(QByteArray, start);
        const QString file = m_fixtureDir.filePath("会员资料.db");
        QVERIFY(QFile::exists(file) || QFile::copy(m_sqliteFile, file));
        WorkDir dir;
        dir.writeIni("config.ini", {{"DataBase/DbType", "SQLITE"}});
        dir.writeFile("ZoVORDA.ini", start + QTextCodec::codecForName(codec)->fromUnicode(
                                                 "[Config]\r\ndbname=" + file + "\r\n"));
        Lookup lookup;
        QList<MemberRec> found;
        QVERIFY(!lookup.store.find("13800000001", found).isFailed());
        QCOMPARE(cards(found), QStringList{"8001"});
    }

    void memberCarriesEveryColumn_data() {
        QTest::addColumn<Backend>("backend");
        for (const Backend backend : {Backend::Sqlite, Backend::MariaDb, Backend::Odbc})
            QTest::newRow(kBackendNames[int(backend)]) << backend;
    }

    void memberCarriesEveryColumn() {
        QFETCH(Backend, backend);
        WorkDir dir;
        USE_BACKEND(dir, backend, QString());
        Lookup lookup;
        QList<MemberRec> found;
        const Outcome outcome = lookup.store.find("13800000001", found);
        QVERIFY2(outcome.isDone(), qPrintable(outcome.hostText()));
        QCOMPARE(found.size(), 1);
        const MemberRec& m = found.first();
        QCOMPARE(QStringList({m.memberId, m.cardNo, m.gradeCode, m.gradeName, m.name, m.birthday, m.mobile,
                              m.address}),
                 QStringList({"1000000000000001", "8001", "01", "金卡", "张三", "1980-01-02", "13800000001",
                              "上海市人民路1号"}));
        // The local table knows no points: empty, not 0.
        QVERIFY(!m.points && !m.pointsCash && m.accounts.isEmpty());
    }

    // Every lookup the store makes is an index search (db/*.sql make the indexes).
    void lookupsUseIndexes_data() {
        QTest::addColumn<Backend>("backend");
        QTest::addColumn<QString>("column");
        QTest::addColumn<QString>("key");
        for (const Backend backend : {Backend::Sqlite, Backend::MariaDb}) {
            for (const auto& lookup : QList<QPair<QString, QString>>{{"mobile", "13800000001"},
                                                                     {"member_id", "1000000000000001"},
                                                                     {"cardno", "8001"},
                                                                     {"member_name", "张三"}})
                QTest::addRow("%s: %s", kBackendNames[int(backend)], qPrintable(lookup.first))
                    << backend << lookup.first << lookup.second;
        }
    }

    void lookupsUseIndexes() {
        QFETCH(Backend, backend);
        QFETCH(QString, column);
        QFETCH(QString, key);
        const QString index = "idx_t_member_" + column;
        QString error;
        if (backend == Backend::Sqlite) {
            QSqlQuery plan(QSqlDatabase::database(kSqliteFixture, false));
            QVERIFY(plan.exec("EXPLAIN QUERY PLAN " + statement(column, key)) && plan.next());
            const QString detail = plan.value("detail").toString();
            QVERIFY2(detail.contains(QString("USING INDEX %1 (%2=? AND status=?)").arg(index, column)),
                     qPrintable(detail));
            return;
        }
        if (!m_server->isConfigured())
            QSKIP(qPrintable(m_server->error()));
        QVERIFY2(m_server->isReady(), qPrintable(m_server->error()));
        QSqlQuery plan(QSqlDatabase::database(m_server->connectionName(m_mariaDb, error), false));
        QVERIFY(plan.exec("EXPLAIN " + statement(column, key)) && plan.next());
        QCOMPARE(plan.value("key").toString() + ' ' + plan.value("type").toString(), index + " ref");
    }

    // db/load_members.py fills the table the store reads, from a CSV file as a back
    // office exports it (byte-order mark or GBK, CR LF, quoted commas, blanks around
    // values, empty status meaning active). A second load of the same file changes nothing.
    void csvLoaderFillsTable_data() {
        QTest::addColumn<Backend>("backend");
        QTest::addColumn<QByteArray>("codec");
        QTest::addColumn<QString>("readAs"); // what the loader says of the code page
        for (const Backend backend : {Backend::Sqlite, Backend::MariaDb}) {
            QTest::addRow("%s, UTF-8", kBackendNames[int(backend)]) << backend << QByteArray("UTF-8") << "";
            QTest::addRow("%s, GBK", kBackendNames[int(backend)])
                << backend << QByteArray("GBK") << ", read as GB18030";
        }
    }

    void csvLoaderFillsTable() {
#ifdef Q_OS_WIN
        if (QStandardPaths::findExecutable("python3").isEmpty())
            QSKIP("the member loader is a Python script, and this Windows machine has no python3");
#endif
        QFETCH(Backend, backend);
        QFETCH(QByteArray, codec);
        QFETCH(QString, readAs);
        WorkDir dir;
        const QString csv =
            QStringLiteral("member_id,cardno,member_name,mobile,grade_level,grade_name,birthday,address,"
                           "status\r\n"
                           " 2000000000000001 , 9001 ,陈七, 13900000001 ,03,钻石卡,1990-03-04,\"北京市, "
                           "东城区\",\r\n"
                           "2000000000000002,9002,周八,13900000002,03,钻石卡,,,0\r\n");
        dir.writeFile("members.csv", codec == "UTF-8" ? QStringLiteral("\xfeff").toUtf8() + csv.toUtf8()
                                                      : QTextCodec::codecForName(codec)->fromUnicode(csv));
        QString database, error;
        QStringList target;
        if (backend == Backend::Sqlite) {
            database = dir.filePath("loaded.db");
            target << "--sqlite" << database;
        } else {
            if (!m_server->isConfigured())
                QSKIP(qPrintable(m_server->error()));
            QVERIFY2(m_server->isReady(), qPrintable(m_server->error()));
            if (QStandardPaths::findExecutable("mariadb").isEmpty() &&
                QStandardPaths::findExecutable("mysql").isEmpty())
                QSKIP("no mariadb client installed");
            database = m_server->createDatabase(error);
            QVERIFY2(!database.isEmpty(), qPrintable(error));
            target << "--mariadb" << database << "--socket" << m_server->socket();
        }
        for (const char* counts : {"2 new, 0 updated", "0 new, 2 updated"}) {
            const Loaded loaded = load(target << dir.filePath("members.csv"));
            QVERIFY2(loaded.status == 0, loaded.err.constData());
            QCOMPARE(loaded.out,
                     QString("load_members: 2 members loaded (%1%2)\n").arg(counts, readAs).toUtf8());
            target.removeLast();
        }

        USE_BACKEND(dir, backend, database);
        Lookup lookup;
        QList<MemberRec> found;
        QVERIFY(lookup.store.find("2000000000000001", found).isDone());
        QCOMPARE(found.size(), 1);
        const MemberRec& m = found.first();
        QCOMPARE(
            QStringList({m.memberId, m.cardNo, m.name, m.mobile, m.gradeName, m.address}),
            QStringList({"2000000000000001", "9001", "陈七", "13900000001", "钻石卡", "北京市, 东城区"}));
        QVERIFY(lookup.store.find("周八", found).isDone() && found.isEmpty());
    }

    // What the loader cannot load it says in one line, and loads nothing.
    void csvLoaderRefuses_data() {
        columns<QByteArray, QStringList, QString>({"csv", "options", "message"});
        const QString expected =
            "expected a first line naming some of "
            "member_id,cardno,grade_level,grade_name,member_name,birthday,mobile,address,status";
        tableRow("an empty file", QByteArray(), QStringList(), "%1 is empty: " + expected);
        tableRow("unknown columns", QByteArray("id,name\n1,x\n"), QStringList(),
                 "%1: unknown column(s) 'id', 'name'; " + expected);
        tableRow("no member id", QByteArray("cardno\n9001\n"), QStringList(),
                 QString("%1: no member_id column; members are matched by member_id"));
        tableRow("a member without id", QByteArray("member_id,cardno\n1,9001\n ,9002\n"), QStringList(),
                 QString("%1 line 3: member_id is empty"));
        tableRow(
            "GBK read as the UTF-8 it was said to be",
            QTextCodec::codecForName("GBK")->fromUnicode("member_id,member_name\n1,陈七\n"),
            QStringList{"--encoding", "utf-8"},
            QString("%1 is not utf-8 text (byte 0xb3 at offset 24); give its code page with --encoding"));
    }

    void csvLoaderRefuses() {
#ifdef Q_OS_WIN
        if (QStandardPaths::findExecutable("python3").isEmpty())
            QSKIP("the member loader is a Python script, and this Windows machine has no python3");
#endif
        QFETCH(QByteArray, csv);
        QFETCH(QStringList, options);
        QFETCH(QString, message);
        WorkDir dir;
        dir.writeFile("members.csv", csv);
        const Loaded loaded = load(QStringList{"--sqlite", dir.filePath("loaded.db")}
                                   << options << dir.filePath("members.csv"));
        QCOMPARE(loaded.status, 1);
        QCOMPARE(loaded.err, ("load_members: " + message.arg(dir.filePath("members.csv")) + '\n').toUtf8());
        QCOMPARE(loaded.out, QByteArray());
        QVERIFY(!QFile::exists(dir.filePath("loaded.db")));
    }
};

QTEST_MAIN(TestMemberStore)
#include "tst_MemberStore.moc"
