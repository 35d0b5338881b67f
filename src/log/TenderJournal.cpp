#include "log/TenderJournal.h"

#include "log/Secrets.h"

#include <QDir>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#include <iterator>

namespace {

const QString kTimeFormat = QStringLiteral("yyyy-MM-dd hh:mm:ss.zzz");

// WAL lets the doctor read while the till writes; FULL makes every row reach the disk
// before the request it records goes out. The body has a table of its own, so that
// writing the outcome rewrites a short row, not a large order's every line.
const char* const kSetUp[] = {
    "PRAGMA journal_mode=WAL",
    "PRAGMA synchronous=FULL",
    // Copying the WAL file into the journal (a checkpoint) is ours to time, see
    // checkpointWhenDue(); SQLite's own, in the commit that crosses this many pages, is
    // only the net under it.
    "PRAGMA wal_autocheckpoint=10000",
    // Rows are only ever added at the end: a small page cache does, and the till's
    // memory stays flat however long the journal grows.
    "PRAGMA cache_size=-128",
    "CREATE TABLE IF NOT EXISTS tender_call (id INTEGER PRIMARY KEY, sent_at TEXT NOT NULL,"
    " txcode TEXT NOT NULL, order_id TEXT NOT NULL, member_id TEXT NOT NULL, amount TEXT NOT NULL,"
    " outcome TEXT NOT NULL, detail TEXT NOT NULL)",
    "CREATE INDEX IF NOT EXISTS tender_call_sent_at ON tender_call (sent_at)",
    "CREATE TABLE IF NOT EXISTS tender_request (call_id INTEGER PRIMARY KEY REFERENCES tender_call (id),"
    " body TEXT NOT NULL)",
};

// In the order of TenderJournal::Outcome.
const char* const kOutcomeNames[] = {"accepted", "refused", "unknown", "not sent"};

// A word the file does not know leaves the outcome open.
TenderJournal::Outcome outcomeNamed(const QString& name) {
    for (size_t i = 0; i < std::size(kOutcomeNames); ++i) {
        if (name == QLatin1String(kOutcomeNames[i]))
            return static_cast<TenderJournal::Outcome>(i);
    }
    return TenderJournal::Outcome::Unknown;
}

// A commit writes whole pages to the WAL file: the body's, and besides them a few of the
// call's table and its index.
constexpr qint64 kPageBytes = 4096;
// About what SQLite gathers before it checkpoints by itself: a quarter of its default.
constexpr qint64 kCheckpointBytes = 1024 * 1024;

// A null text would be bound as NULL, which no column takes.
QString column(const QString& text) {
    return text.isNull() ? QStringLiteral("") : text;
}

} // namespace

TenderJournal::TenderJournal(const QString& logDir)
    : m_file(fileIn(logDir)), m_connection(QStringLiteral("ZoVORDA-journal-%1").arg(quintptr(this), 0, 16)) {}

TenderJournal::~TenderJournal() {
    if (!m_db.isValid())
        return;
    m_db.close();
    m_db = QSqlDatabase();
    QSqlDatabase::removeDatabase(m_connection);
}

QString TenderJournal::fileIn(const QString& logDir) {
    return logDir + QStringLiteral("/journal.db");
}

QString TenderJournal::outcomeName(Outcome outcome) {
    return QLatin1String(kOutcomeNames[static_cast<int>(outcome)]);
}

bool TenderJournal::open() {
    if (m_db.isOpen())
        return true;
    // Opened with the first money request and kept open: closing would write the whole
    // journal back from its WAL file each time. One that failed is tried afresh with
    // the next request.
    if (!m_db.isValid()) {
        m_db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connection);
        m_db.setDatabaseName(m_file);
        // A journal some other program holds locked must not keep the sale waiting long.
        m_db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=1000"));
    }
    if (!QDir().mkpath(QFileInfo(m_file).path()))
        return failed(tr("无法创建文件夹"));
    if (!m_db.open())
        return failed(m_db.lastError().text());
    QSqlQuery q(m_db);
    for (const char* statement : kSetUp) {
        if (!q.exec(QLatin1String(statement)))
            return failed(q.lastError().text());
    }
    return true;
}

bool TenderJournal::failed(const QString& what) {
    m_error = m_file + QStringLiteral(": ") + what;
    m_db.close();
    return false;
}

qint64 TenderJournal::begin(const Entry& entry) {
    if (!open())
        return 0;
    // The call and its body are written at once, with the one wait for the disk.
    if (!m_db.transaction()) {
        failed(m_db.lastError().text());
        return 0;
    }
    QSqlQuery q(m_db);
    q.prepare(QStringLiteral("INSERT INTO tender_call (sent_at, txcode, order_id, member_id, amount, outcome,"
                             " detail) VALUES (?, ?, ?, ?, ?, ?, '')"));
    for (const QString& value : {entry.at.toString(kTimeFormat), entry.txCode, entry.orderId, entry.memberId,
                                 entry.amount, outcomeName(Outcome::Unknown)})
        q.addBindValue(column(value));
    bool written = q.exec();
    const qint64 row = q.lastInsertId().toLongLong();
    // The body goes in as the UTF-8 bytes it is, which SQLite keeps as text as they are.
    written =
        written &&
        q.prepare(QStringLiteral("INSERT INTO tender_request (call_id, body) VALUES (?, CAST(? AS TEXT))"));
    q.addBindValue(row);
    const QByteArray body = Secrets::masked(entry.request);
    q.addBindValue(body.isNull() ? QByteArray("") : body);
    if (!written || !q.exec() || !m_db.commit()) {
        const QString error = q.lastError().isValid() ? q.lastError().text() : m_db.lastError().text();
        m_db.rollback();
        failed(error);
        return 0;
    }
    m_unsaved += body.size() + 3 * kPageBytes;
    return row;
}

bool TenderJournal::end(qint64 row, Outcome outcome, const QString& detail) {
    if (!open())
        return false;
    QSqlQuery q(m_db);
    q.prepare(QStringLiteral("UPDATE tender_call SET outcome = ?, detail = ? WHERE id = ?"));
    q.addBindValue(outcomeName(outcome));
    q.addBindValue(column(detail));
    q.addBindValue(row);
    if (!q.exec())
        return failed(q.lastError().text());
    m_unsaved += 2 * kPageBytes;
    return true;
}

void TenderJournal::checkpointWhenDue() {
    if (m_unsaved < kCheckpointBytes || !m_db.isOpen())
        return;
    // Passive: a doctor reading the journal is never waited for; what it still reads is
    // copied next time. A checkpoint that fails leaves the rows safe in the WAL file.
    QSqlQuery q(m_db);
    q.exec(QStringLiteral("PRAGMA wal_checkpoint(PASSIVE)"));
    m_unsaved = 0;
}

bool TenderJournal::read(const QString& file, const QDate& day, QList<Entry>& rows, QString& error) {
    rows.clear();
    // Looking must not create the file.
    if (!QFileInfo::exists(file))
        return true;
    const QString connection = QStringLiteral("ZoVORDA-journal-reader");
    bool ok = false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection);
        db.setDatabaseName(file);
        const bool opened = db.open();
        QSqlQuery q(db);
        ok = opened && q.prepare(QStringLiteral(
                           "SELECT sent_at, txcode, order_id, member_id, amount, body, outcome, detail"
                           " FROM tender_call JOIN tender_request ON call_id = id"
                           " WHERE sent_at >= ? AND sent_at < ? ORDER BY id"));
        if (ok) {
            q.addBindValue(day.toString(Qt::ISODate));
            q.addBindValue(day.addDays(1).toString(Qt::ISODate));
            ok = q.exec();
        }
        while (ok && q.next()) {
            Entry e(q.value(1).toString(), q.value(2).toString(), q.value(3).toString(),
                    q.value(4).toString());
            e.request = q.value(5).toString().toUtf8();
            e.at = QDateTime::fromString(q.value(0).toString(), kTimeFormat);
            e.detail = q.value(7).toString();
            e.outcome = outcomeNamed(q.value(6).toString());
            rows.append(e);
        }
        if (!ok)
            error = file + QStringLiteral(": ") + (opened ? q.lastError().text() : db.lastError().text());
    }
    QSqlDatabase::removeDatabase(connection);
    return ok;
}
