#pragma once
#include "log/TenderJournal.h"

#include <QByteArray>
#include <QDate>
#include <QList>
#include <QString>
#include <QStringList>

// zovorda-doctor --journal: one day of the till's tender journal (LOG/journal.db), every
// money-moving call with its outcome, as a table for support and as CSV for the back
// office. Each call whose outcome the till never learned is pointed out: the shop must
// ask the CRM whether it applied it before the sale is taken again.
class JournalReport {
public:
    JournalReport(const QString& logDir, const QDate& day);

    // False when the journal cannot be read; error() says why. A till without a journal
    // has made no money-moving call.
    bool read();
    QString error() const { return m_error; }

    // The heading, one line per call, one line per unknown outcome, and the summary.
    QStringList table() const;
    // A header line and one line per call (RFC 4180, CR LF), UTF-8 with a byte-order mark
    // so that a spreadsheet on a Chinese Windows reads it as UTF-8.
    QByteArray csv() const;

private:
    QString m_file;
    QDate m_day;
    QList<TenderJournal::Entry> m_rows;
    QString m_error;
};
