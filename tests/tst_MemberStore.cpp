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
    // office exports it (byte-order mark, CR LF, quoted commas, empty status meaning active).
    void csvLoaderFillsTable_data() {
        QTest::addColumn<Backend>("backend");
        QTest::newRow("into a SQLite file") << Backend::Sqlite;
        QTest::newRow("into MariaDB through its client") << Backend::MariaDb;
    }

    void csvLoaderFillsTable() {
        QFETCH(Backend, backend);
        const QString python = QStandardPaths::findExecutable("python3");
        if (python.isEmpty())
            QSKIP("python3 is not installed");
        WorkDir dir;
        dir.writeFile(
            "members.csv",
            QStringLiteral("\xfeff"
                           "member_id,cardno,member_name,mobile,grade_level,grade_name,birthday,address,"
                           "status\r\n"
                           "2000000000000001,9001,陈七,13900000001,03,钻石卡,1990-03-04,\"北京市, "
                           "东城区\",\r\n"
                           "2000000000000002,9002,周八,13900000002,03,钻石卡,,,0\r\n")
                .toUtf8());
        QStringList args{ZOVORDA_SOURCE_DIR "/db/load_members.py"};
        QString database, error;
        if (backend == Backend::Sqlite) {
            database = dir.filePath("loaded.db");
            args << "--sqlite" << database;
        } else {
            if (!m_server->isConfigured())
                QSKIP(qPrintable(m_server->error()));
            QVERIFY2(m_server->isReady(), qPrintable(m_server->error()));
            if (QStandardPaths::findExecutable("mariadb").isEmpty() &&
                QStandardPaths::findExecutable("mysql").isEmpty())
                QSKIP("no mariadb client installed");
            database = m_server->createDatabase(error);
            QVERIFY2(!database.isEmpty(), qPrintable(error));
            args << "--mariadb" << database << "--socket" << m_server->socket();
        }
        QProcess loader;
        loader.start(python, args << dir.filePath("members.csv"));
        QVERIFY(loader.waitForFinished(60000));
        QVERIFY2(loader.exitCode() == 0, loader.readAllStandardError().constData());
        QCOMPARE(loader.readAllStandardOutput(), QByteArray("load_members: 2 members loaded\n"));

        USE_BACKEND(dir, backend, database);
        Lookup lookup;
        QList<MemberRec> found;
        QVERIFY(lookup.store.find("13900000001", found).isDone());
        QCOMPARE(found.size(), 1);
        const MemberRec& m = found.first();
        QCOMPARE(QStringList({m.memberId, m.name, m.gradeName, m.address}),
                 QStringList({"2000000000000001", "陈七", "钻石卡", "北京市, 东城区"}));
        QVERIFY(lookup.store.find("周八", found).isDone() && found.isEmpty());
    }
};

QTEST_MAIN(TestMemberStore)
#include "tst_MemberStore.moc"
