// The local member table when the CRM is out of reach: the member store on tables
// of growing size, against a bare prepared query of the same statement.
#include "Bench.h"
#include "CashierRobot.h"
#include "db/MemberStore.h"
#include "db/PosDB.h"
#include "log/PayLogger.h"
#include "support/WorkDir.h"

#include <QFile>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>

#include <memory>
#include <random>

namespace bench {
namespace {

QString mobileOf(int i) {
    return QStringLiteral("139%1").arg(i, 8, 10, QLatin1Char('0'));
}
QString memberIdOf(int i) {
    return QStringLiteral("6%1").arg(i, 15, 10, QLatin1Char('0'));
}
QString cardOf(int i) {
    return QStringLiteral("88%1").arg(i, 10, 10, QLatin1Char('0'));
}
QString nameOf(int i) {
    return QStringLiteral("会员%1").arg(i);
}
// One member in twenty has left: the row is there, but not active.
bool active(int i) {
    return i % 20 != 7;
}

struct KeyKind {
    QString label;
    QString column;
    QString (*key)(int);
};

const QList<KeyKind>& keyKinds() {
    static const QList<KeyKind> kinds = {
        {QStringLiteral("mobile (11 digits)"), QStringLiteral("mobile"), mobileOf},
        {QStringLiteral("member id (16 digits)"), QStringLiteral("member_id"), memberIdOf},
        {QStringLiteral("card (12 digits)"), QStringLiteral("cardno"), cardOf},
        {QStringLiteral("name"), QStringLiteral("member_name"), nameOf},
    };
    return kinds;
}

// The recommended schema from db/, split into the table and its indexes: the indexes
// are built after the rows, which is much faster than keeping them up to date.
void schema(QStringList& table, QStringList& indexes) {
    QFile file(QStringLiteral(ZOVORDA_SOURCE_DIR "/db/t_member.sqlite.sql"));
    QString text;
    if (file.open(QIODevice::ReadOnly)) {
        text = QString::fromUtf8(file.readAll());
        text.remove(QRegularExpression(QStringLiteral("--[^\n]*")));
    } else {
        text = QStringLiteral(
            "CREATE TABLE t_member (member_id TEXT, cardno TEXT, grade_level TEXT, grade_name TEXT,"
            " member_name TEXT, birthday TEXT, mobile TEXT, address TEXT, status TEXT);"
            "CREATE INDEX idx_t_member_mobile ON t_member (mobile, status);"
            "CREATE INDEX idx_t_member_member_id ON t_member (member_id, status);"
            "CREATE INDEX idx_t_member_cardno ON t_member (cardno, status);"
            "CREATE INDEX idx_t_member_member_name ON t_member (member_name, status);");
    }
    for (QString statement : text.split(QLatin1Char(';'))) {
        statement = statement.trimmed();
        if (statement.isEmpty())
            continue;
        if (statement.startsWith(QStringLiteral("CREATE TABLE"), Qt::CaseInsensitive))
            table.append(statement);
        else
            indexes.append(statement);
    }
}

// One transaction, one prepared insert, rows bound in batches.
bool buildTable(const QString& path, int rows, QString& error) {
    const QString name = QStringLiteral("bench-build");
    bool ok = true;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(path);
        QStringList table, indexes;
        schema(table, indexes);
        const auto run = [&](const QString& sql) {
            QSqlQuery q(db);
            if (ok && !q.exec(sql)) {
                error = sql + QStringLiteral(": ") + q.lastError().text();
                ok = false;
            }
        };
        if (!db.open()) {
            error = db.lastError().text();
            ok = false;
        }
        run(QStringLiteral("PRAGMA journal_mode=OFF"));
        run(QStringLiteral("PRAGMA synchronous=OFF"));
        for (const QString& s : table)
            run(s);
        if (ok)
            db.transaction();
        QSqlQuery insert(db);
        insert.prepare(
            QStringLiteral("INSERT INTO t_member (member_id,cardno,grade_level,grade_name,member_name,"
                           "birthday,mobile,address,status) VALUES (?,?,?,?,?,?,?,?,?)"));
        const int batch = 10000;
        for (int first = 0; ok && first < rows; first += batch) {
            QVariantList columns[9];
            const int last = std::min(rows, first + batch);
            for (int i = first; i < last; ++i) {
                columns[0].append(memberIdOf(i));
                columns[1].append(cardOf(i));
                columns[2].append(i % 3 == 0 ? QStringLiteral("G2") : QStringLiteral("G1"));
                columns[3].append(i % 3 == 0 ? QStringLiteral("金卡") : QStringLiteral("银卡"));
                columns[4].append(nameOf(i));
                columns[5].append(QStringLiteral("1990-01-01"));
                columns[6].append(mobileOf(i));
                columns[7].append(QStringLiteral("深圳市南山区科技园%1号").arg(i % 500));
                columns[8].append(active(i) ? QStringLiteral("1") : QStringLiteral("0"));
            }
            for (const QVariantList& column : columns)
                insert.addBindValue(column);
            if (!insert.execBatch()) {
                error = insert.lastError().text();
                ok = false;
            }
        }
        if (ok)
            db.commit();
        for (const QString& s : indexes)
            run(s);
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
    return ok;
}

QString rowsText(int rows) {
    if (rows >= 1000000)
        return QStringLiteral("%1M").arg(rows / 1000000);
    return QStringLiteral("%1k").arg(rows / 1000);
}

struct Lookup {
    double plugin = 0.0;      // median
    double bare = 0.0;        // median
    double records = 0.0;     // median of the lookup's two log records written on their own
    double bareRecords = 0.0; // median of the same two lines, each a bare open, append, close
};

// The statement a lookup logs.
QString loggedStatement(const KeyKind& kind, int row) {
    return QStringLiteral("select member_id,cardno,grade_level,grade_name,member_name,birthday,"
                          "mobile,address from t_member where ") +
           kind.column + QStringLiteral("='") + kind.key(row) + QStringLiteral("' and status='1'");
}

// The two records a lookup writes (the statement, then the count), timed on their own.
double logRecords(const PayLogger& log, const KeyKind& kind, int row) {
    const QString statement = loggedStatement(kind, row);
    QElapsedTimer t;
    t.start();
    log.write(QStringLiteral("执行离线查询会员"), statement);
    log.write(QStringLiteral("查询结束"), QStringLiteral("查询结果：1条"));
    return elapsedMs(t);
}

// The floor of those two: each line appended to a file of its own by a bare open, append, close.
double bareRecords(const PayLogger& log, const KeyKind& kind, int row) {
    const QByteArray statement = loggedStatement(kind, row).toUtf8() + '\n';
    QFile file(log.logDir() + QStringLiteral("/bare.txt"));
    QElapsedTimer t;
    t.start();
    for (const QByteArray& line : {statement, QByteArray("查询结果：1条\n")}) {
        file.open(QIODevice::WriteOnly | QIODevice::Append);
        file.write(line);
        file.close();
    }
    return elapsedMs(t);
}

// One lookup by the plug-in's member store, checked; wall time in milliseconds.
double storeLookup(MemberStore& store, const KeyKind& kind, int row, WrongCount& wrong) {
    const QString key = kind.key(row);
    QList<MemberRec> found;
    QElapsedTimer t;
    t.start();
    const Outcome ok = store.find(key, found);
    const double ms = elapsedMs(t);
    if (!ok.isDone() || found.size() != 1 || found.first().memberId != memberIdOf(row) ||
        found.first().name != nameOf(row) || found.first().mobile != mobileOf(row))
        wrong.fail(QStringLiteral("%1 %2: %3 candidates %4")
                       .arg(kind.column, key)
                       .arg(found.size())
                       .arg(ok.hostText()));
    return ms;
}

// The same lookup as a bare prepared query on the same connection.
double bareLookup(QSqlQuery& bare, const KeyKind& kind, int row, WrongCount& wrong) {
    const QString key = kind.key(row);
    QElapsedTimer t;
    t.start();
    bare.addBindValue(key);
    bare.exec();
    QStringList values;
    while (bare.next()) {
        for (int c = 0; c < 8; ++c)
            values.append(bare.value(c).toString());
    }
    const double ms = elapsedMs(t);
    if (values.size() != 8 || values.first() != memberIdOf(row))
        wrong.fail(QStringLiteral("bare query %1 %2: %3").arg(kind.column, key, bare.lastError().text()));
    return ms;
}

Lookup timeKind(const KeyKind& kind, MemberStore& store, const PayLogger& log, const QSqlDatabase& db,
                int lookups, std::mt19937& random, std::uniform_int_distribution<int>& anyRow,
                WrongCount& wrong) {
    QSqlQuery bare(db);
    bare.prepare(QStringLiteral("select member_id,cardno,grade_level,grade_name,member_name,birthday,mobile,"
                                "address from t_member where ") +
                 kind.column + QStringLiteral("=? and status='1'"));
    Samples plugin, floor, records, bareLines;
    for (int n = 0; n < lookups + 5; ++n) {
        int row = anyRow(random);
        while (!active(row))
            row = anyRow(random);
        const double pluginMs = storeLookup(store, kind, row, wrong);
        const double bareMs = bareLookup(bare, kind, row, wrong);
        const double recordsMs = logRecords(log, kind, row);
        const double bareLinesMs = bareRecords(log, kind, row);
        if (n >= 5) { // the first few warm the statement cache and the pages
            plugin.add(pluginMs);
            floor.add(bareMs);
            records.add(recordsMs);
            bareLines.add(bareLinesMs);
        }
    }
    return {plugin.median(), floor.median(), records.median(), bareLines.median()};
}

// results[kind][size]
void lookupRows(Report& r, const QVector<int>& sizes, const QVector<QVector<Lookup>>& results, int lookups) {
    const QString big = rowsText(sizes.last()), small = rowsText(sizes.first());
    for (int k = 0; k < keyKinds().size(); ++k) {
        const KeyKind& kind = keyKinds().at(k);
        const Lookup& largest = results[k].last();
        const Lookup& smallest = results[k].first();
        r.add(
            {QStringLiteral("offline lookup by %1, %2 rows, median of %3").arg(kind.label, big).arg(lookups),
             duration(largest.plugin), duration(largest.bare) + QStringLiteral(" bare prepared"),
             ratio(largest.plugin, largest.bare), QStringLiteral("≤ 2×"),
             met(largest.plugin <= 2.0 * largest.bare)});
        // What the lookup adds to the bare query besides its two log records, which every
        // lookup must write before it returns.
        const double query = largest.plugin - largest.records;
        r.add({QStringLiteral("offline lookup by %1, where the time goes: less its two log records (%2 on "
                              "their own; two bare open, append, close: %3)")
                   .arg(kind.label, duration(largest.records), duration(largest.bareRecords)),
               duration(query), duration(largest.bare) + QStringLiteral(" bare prepared"),
               ratio(query, largest.bare), QStringLiteral("(info)"), QStringLiteral("–")});
        QString middle;
        for (int s = 1; s + 1 < sizes.size(); ++s)
            middle += QStringLiteral(" (%1: %2)").arg(rowsText(sizes[s]), duration(results[k][s].plugin));
        r.add({QStringLiteral("offline lookup by %1, %2 vs %3 rows%4").arg(kind.label, big, small, middle),
               duration(largest.plugin), duration(smallest.plugin), ratio(largest.plugin, smallest.plugin),
               QStringLiteral("< 2×"), met(largest.plugin < 2.0 * smallest.plugin)});
    }
}

} // namespace

void offlineLookup(const Options& o, Report& r) {
    const QVector<int> sizes = o.quick ? QVector<int>{1000, 10000} : QVector<int>{10000, 100000, 1000000};
    const int lookups = o.pick(300, 60);
    WorkDir dir;
    CashierRobot guard;
    QVector<QVector<Lookup>> results(keyKinds().size());
    WrongCount wrong(r, QStringLiteral("offline lookup"));
    for (int rows : sizes) {
        const QString path = dir.filePath(QStringLiteral("members_%1.db").arg(rows));
        QElapsedTimer build;
        build.start();
        QString error;
        if (!buildTable(path, rows, error)) {
            r.wrong(QStringLiteral("building t_member with %1 rows: %2").arg(rows).arg(error));
            return;
        }
        progress(QStringLiteral("offline lookup: t_member with %1 rows built in %2")
                     .arg(rows)
                     .arg(duration(elapsedMs(build))));
        // The database layer reads the settings when it is built.
        dir.writeIni(QStringLiteral("config.ini"),
                     {{QStringLiteral("DataBase/DbType"), QStringLiteral("SQLITE")}});
        dir.writeIni(QStringLiteral("ZoVORDA.ini"), {{QStringLiteral("Config/dbname"), path}});
        auto posDb = std::make_unique<PosDB>();
        const PayLogger log(QStringLiteral("ZoVORDA动态库"));
        MemberStore store(*posDb, log);
        QList<MemberRec> found;
        const Outcome opened = store.find(mobileOf(1), found);
        if (!opened.isDone()) {
            r.wrong(QStringLiteral("offline lookup: ") + opened.hostText());
            return;
        }
        QSqlDatabase db = QSqlDatabase::database(posDb->connectionName(), false);
        std::mt19937 random(20261206u + static_cast<unsigned>(rows));
        std::uniform_int_distribution<int> anyRow(0, rows - 1);
        for (int k = 0; k < keyKinds().size(); ++k)
            results[k].append(timeKind(keyKinds().at(k), store, log, db, lookups, random, anyRow, wrong));
        db = QSqlDatabase(); // the database layer's connection goes with it
        posDb.reset();
        QFile::remove(path);
    }
    if (!guard.allDone())
        r.wrong(QStringLiteral("a dialog opened: ") + guard.failures());
    lookupRows(r, sizes, results, lookups);
}

} // namespace bench
