#pragma once
#include <QByteArray>
#include <QCoreApplication>
#include <QDate>
#include <QDateTime>
#include <QList>
#include <QSqlDatabase>
#include <QString>

// The tender journal, LOG/journal.db beside the daily log: one row for every request
// that moves a member's money or points (a points payment or refund, a coupon write-off,
// an order settlement), written before the request goes out and completed with its
// outcome when the exchange ends. A request whose exchange broke off after it went out
// stays "unknown": the CRM may have applied it, and only the CRM can tell the shop. A
// SQLite file in WAL mode with synchronous writes, on a connection of its own.
class TenderJournal {
    Q_DECLARE_TR_FUNCTIONS(TenderJournal)
public:
    // Accepted and refused are the CRM's word; unknown: the request went out and no
    // answer the till could read came back; not sent: it never left the till.
    enum class Outcome { Accepted, Refused, Unknown, NotSent };

    struct Entry {
        Entry() = default;
        // What the operation knows; the exchange adds the rest.
        Entry(const QString& code, const QString& order, const QString& member, const QString& sum)
            : txCode(code), orderId(order), memberId(member), amount(sum) {}

        QString txCode;
        QString orderId;
        QString memberId;
        QString amount;     // as the request states it
        QByteArray request; // the body in UTF-8, stored with its secrets masked
        QDateTime at;
        Outcome outcome = Outcome::Unknown;
        QString detail; // the CRM's refusal, or what broke the exchange off
    };

    explicit TenderJournal(const QString& logDir);
    ~TenderJournal();
    TenderJournal(const TenderJournal&) = delete;
    TenderJournal& operator=(const TenderJournal&) = delete;

    // Records a request about to go out, unknown until end(). Its row, or 0 when the
    // journal cannot be written; error() says why.
    qint64 begin(const Entry& entry);
    bool end(qint64 row, Outcome outcome, const QString& detail);
    QString error() const { return m_error; }
    // Copies the rows written since the last time from the WAL file into the journal
    // once about a megabyte has gathered: a copy and a wait for the disk, which the CRM
    // client makes while the CRM is being waited for rather than in a commit a sale waits on.
    void checkpointWhenDue();

    static QString fileIn(const QString& logDir);
    // "accepted", "refused", "unknown", "not sent": the words the file and its readers use.
    static QString outcomeName(Outcome outcome);
    // The rows a journal file holds for that day, in the order they were written. A file
    // that does not exist holds none; false when the file cannot be read.
    static bool read(const QString& file, const QDate& day, QList<Entry>& rows, QString& error);

private:
    bool open();
    bool failed(const QString& what);

    QString m_file;
    QString m_connection;
    QString m_error;
    QSqlDatabase m_db;
    qint64 m_unsaved = 0; // bytes committed to the WAL file since the last checkpoint
};
