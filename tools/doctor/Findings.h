#pragma once
#include <QList>
#include <QString>
#include <QStringList>

// The lines of the doctor's report, in the order the checks found them: what is set
// ("OK"), or what is wrong ("WARN", "FAIL") followed by "→" and the fix.
class Findings {
public:
    enum class Level { Ok, Warn, Fail };

    void ok(const QString& text) { add(Level::Ok, text, QString()); }
    void warn(const QString& text, const QString& fix) { add(Level::Warn, text, fix); }
    void fail(const QString& text, const QString& fix) { add(Level::Fail, text, fix); }

    // "OK   what is set", "WARN what → fix", "FAIL what → fix".
    QStringList lines() const;
    int count(Level level) const;
    void clear() { m_lines.clear(); }

private:
    void add(Level level, const QString& text, const QString& fix);

    struct Line {
        Level level;
        QString text;
    };
    QList<Line> m_lines;
};
