#include "JournalReport.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

namespace {

using Outcome = TenderJournal::Outcome;

const Outcome kOutcomes[] = {Outcome::Accepted, Outcome::Refused, Outcome::Unknown, Outcome::NotSent};

// The call in the words of the shop; a points payment and its refund share a code.
QString callOf(const TenderJournal::Entry& e) {
    if (e.txCode == QLatin1String("pmb021"))
        return QStringLiteral("settlement");
    if (e.txCode == QLatin1String("pmb023"))
        return QStringLiteral("coupon write-off");
    if (e.txCode != QLatin1String("pmb020"))
        return e.txCode;
    const QJsonObject body = QJsonDocument::fromJson(e.request).object();
    return body.value(QStringLiteral("type")).toString() == QLatin1String("-1")
               ? QStringLiteral("points refund")
               : QStringLiteral("points payment");
}

QStringList columnsOf(const TenderJournal::Entry& e) {
    return {e.at.toString(QStringLiteral("hh:mm:ss")), callOf(e), e.orderId, e.memberId, e.amount,
            TenderJournal::outcomeName(e.outcome),     e.detail};
}

// Every column but the last padded to its widest text (the last one, the detail, is
// Chinese more often than not and is left as it is).
QStringList aligned(const QList<QStringList>& rows) {
    QList<int> widths;
    for (const QStringList& row : rows) {
        for (int i = 0; i < row.size() - 1; ++i) {
            if (widths.size() <= i)
                widths.append(0);
            widths[i] = qMax(widths[i], row[i].size());
        }
    }
    QStringList lines;
    for (const QStringList& row : rows) {
        QString line;
        for (int i = 0; i < row.size() - 1; ++i)
            line += row[i].leftJustified(widths[i]) + QStringLiteral("  ");
        lines.append((line + row.constLast()).trimmed());
    }
    return lines;
}

QString csvField(const QString& text) {
    static const QRegularExpression special(QStringLiteral("[\",\r\n]"));
    if (!text.contains(special))
        return text;
    return QLatin1Char('"') + QString(text).replace(QLatin1Char('"'), QStringLiteral("\"\"")) +
           QLatin1Char('"');
}

} // namespace

JournalReport::JournalReport(const QString& logDir, const QDate& day)
    : m_file(TenderJournal::fileIn(logDir)), m_day(day) {}

bool JournalReport::read() {
    return TenderJournal::read(m_file, m_day, m_rows, m_error);
}

QStringList JournalReport::table() const {
    const int n = m_rows.size();
    const QString calls = n == 0 ? QStringLiteral("no money-moving calls")
                                 : QStringLiteral("%1 money-moving call%2").arg(n).arg(n == 1 ? "" : "s");
    QStringList lines{
        QStringLiteral("Tender journal %1, %2: %3").arg(m_file, m_day.toString(Qt::ISODate), calls)};
    if (n == 0)
        return lines;
    QList<QStringList> rows{{"time", "call", "order", "member", "amount", "outcome", "detail"}};
    for (const TenderJournal::Entry& e : m_rows)
        rows.append(columnsOf(e));
    lines += aligned(rows);
    QStringList counts;
    for (const Outcome outcome : kOutcomes) {
        int count = 0;
        for (const TenderJournal::Entry& e : m_rows)
            count += e.outcome == outcome ? 1 : 0;
        counts.append(QStringLiteral("%1 %2").arg(count).arg(TenderJournal::outcomeName(outcome)));
    }
    for (const TenderJournal::Entry& e : m_rows) {
        if (e.outcome == Outcome::Unknown)
            lines.append(
                QStringLiteral("UNKNOWN %1 %2 of order %3, member %4, amount %5 → ask the CRM whether it "
                               "applied it before the sale is taken again")
                    .arg(e.at.toString(QStringLiteral("hh:mm:ss")), callOf(e), e.orderId, e.memberId,
                         e.amount));
    }
    lines.append(QStringLiteral("Summary: ") + counts.join(QStringLiteral(", ")));
    return lines;
}

QByteArray JournalReport::csv() const {
    QStringList lines{QStringLiteral("time,txcode,call,order_id,member_id,amount,outcome,detail,request")};
    for (const TenderJournal::Entry& e : m_rows) {
        QStringList fields{e.at.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss.zzz")),
                           e.txCode,
                           callOf(e),
                           e.orderId,
                           e.memberId,
                           e.amount,
                           TenderJournal::outcomeName(e.outcome),
                           e.detail,
                           QString::fromUtf8(e.request)};
        for (QString& field : fields)
            field = csvField(field);
        lines.append(fields.join(QLatin1Char(',')));
    }
    return QByteArray("\xEF\xBB\xBF") + lines.join(QStringLiteral("\r\n")).toUtf8() + "\r\n";
}
