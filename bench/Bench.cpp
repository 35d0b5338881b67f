#include "Bench.h"

#include <QFile>
#include <QTextStream>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numeric>
#include <unistd.h>

namespace bench {

void Report::wrong(const QString& what) {
    m_wrong.append(what);
    progress(QStringLiteral("WRONG RESULT: ") + what);
}

QString Report::table() const {
    QString out;
    QTextStream s(&out);
    s << "| figure | value | baseline | ratio | target | met? |\n";
    s << "|---|---:|---:|---:|---|---|\n";
    for (const Row& row : m_rows) {
        s << "| " << row.figure << " | " << row.value << " | " << row.baseline << " | " << row.ratio << " | "
          << row.target << " | " << row.met << " |\n";
    }
    return out;
}

WrongCount::~WrongCount() {
    if (m_count > 0)
        m_report.wrong(
            QStringLiteral("%1: %2 wrong answer(s), first: %3").arg(m_what).arg(m_count).arg(m_first));
}

void WrongCount::fail(const QString& detail) {
    if (m_count++ == 0)
        m_first = detail;
}

double Samples::percentile(double p) const {
    if (m_values.isEmpty())
        return 0.0;
    QVector<double> sorted = m_values;
    std::sort(sorted.begin(), sorted.end());
    const int rank = static_cast<int>(std::ceil(p / 100.0 * sorted.size()));
    return sorted.at(std::clamp(rank - 1, 0, static_cast<int>(sorted.size()) - 1));
}

double Samples::max() const {
    return m_values.isEmpty() ? 0.0 : *std::max_element(m_values.cbegin(), m_values.cend());
}

double Samples::mean() const {
    return m_values.isEmpty() ? 0.0
                              : std::accumulate(m_values.cbegin(), m_values.cend(), 0.0) / m_values.size();
}

QString duration(double ms) {
    if (std::fabs(ms) >= 1000.0)
        return QString::number(ms / 1000.0, 'f', 3) + QStringLiteral(" s");
    if (std::fabs(ms) >= 10.0)
        return QString::number(ms, 'f', 1) + QStringLiteral(" ms");
    if (std::fabs(ms) >= 1.0)
        return QString::number(ms, 'f', 2) + QStringLiteral(" ms");
    return QString::number(ms, 'f', 3) + QStringLiteral(" ms");
}

QString signedDuration(double ms) {
    return (ms < 0 ? QStringLiteral("−") : QStringLiteral("+")) + duration(std::fabs(ms));
}

QString megabytes(double kb) {
    return QString::number(kb / 1024.0, 'f', 2) + QStringLiteral(" MB");
}

QString ratio(double value, double baseline) {
    if (baseline <= 0.0)
        return QStringLiteral("–");
    return QString::number(value / baseline, 'f', 2) + QStringLiteral("×");
}

QString met(bool ok) {
    return ok ? QStringLiteral("yes") : QStringLiteral("NO");
}

double residentKb() {
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return 0.0;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    const double pages = fields.value(1).toDouble();
    return pages * static_cast<double>(sysconf(_SC_PAGESIZE)) / 1024.0;
}

void progress(const QString& what) {
    std::fprintf(stderr, "[bench] %s\n", what.toUtf8().constData());
    std::fflush(stderr);
}

} // namespace bench
