#pragma once
// What every benchmark section shares: the result table, the samples and their
// statistics, the clock and the process's resident memory.
#include <QElapsedTimer>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVector>

namespace bench {

struct Options {
    bool quick = false; // a few seconds in all, so that CI keeps the benchmark alive
    // A count (of calls, rows, records) for the mode the run is in.
    int pick(int full, int quick) const { return this->quick ? quick : full; }
};

// One line of the table. value and baseline come from the same run; ratio is value/baseline.
struct Row {
    QString figure;
    QString value;
    QString baseline;
    QString ratio;
    QString target;
    QString met; // "yes", "NO", or "–" for a figure without a target
};

class Report {
public:
    void add(const Row& row) { m_rows.append(row); }
    // A call answered something other than what the scenario demands: the benchmark
    // goes on, but the run ends with a failure code.
    void wrong(const QString& what);
    bool anyWrong() const { return !m_wrong.isEmpty(); }
    QStringList wrongs() const { return m_wrong; }
    // The whole table as Markdown.
    QString table() const;

private:
    QList<Row> m_rows;
    QStringList m_wrong;
};

// Wrong answers of one figure, counted and reported once, with the first of them.
class WrongCount {
public:
    WrongCount(Report& r, const QString& what) : m_report(r), m_what(what) {}
    ~WrongCount();
    WrongCount(const WrongCount&) = delete;
    WrongCount& operator=(const WrongCount&) = delete;
    // Records a wrong answer unless ok.
    void check(bool ok, const QString& detail) {
        if (!ok)
            fail(detail);
    }
    void fail(const QString& detail);

private:
    Report& m_report;
    QString m_what;
    QString m_first;
    int m_count = 0;
};

// Milliseconds since the stopwatch was started, to the nanosecond.
inline double elapsedMs(const QElapsedTimer& t) {
    return static_cast<double>(t.nsecsElapsed()) / 1e6;
}

class Samples {
public:
    void add(double ms) { m_values.append(ms); }
    int size() const { return m_values.size(); }
    double median() const { return percentile(50.0); }
    // Nearest-rank percentile.
    double percentile(double p) const;
    double max() const;
    double mean() const;

private:
    QVector<double> m_values;
};

// "0.412 ms", "12.3 ms", "1.004 s".
QString duration(double ms);
// "+1.23 ms" or "−0.05 ms".
QString signedDuration(double ms);
QString megabytes(double kb);
QString ratio(double value, double baseline);
QString met(bool ok);

// Resident set of this process in KiB (/proc/self/statm).
double residentKb();

// One line on stderr, so the table on stdout stays clean.
void progress(const QString& what);

// Sections, in the order main() runs them.
void pluginLoadAndMemory(const Options& o, Report& r);
void crmExchanges(const Options& o, Report& r);
void offlineLookup(const Options& o, Report& r);
void manyCoupons(const Options& o, Report& r);
void operationLog(const Options& o, Report& r);

} // namespace bench
