#include "Findings.h"

QStringList Findings::lines() const {
    QStringList lines;
    for (const Line& line : m_lines) {
        const char* label = line.level == Level::Ok ? "OK   " : line.level == Level::Warn ? "WARN " : "FAIL ";
        lines.append(QLatin1String(label) + line.text);
    }
    return lines;
}

int Findings::count(Level level) const {
    int n = 0;
    for (const Line& line : m_lines)
        n += line.level == level ? 1 : 0;
    return n;
}

void Findings::add(Level level, const QString& text, const QString& fix) {
    m_lines.append({level, fix.isEmpty() ? text : text + QStringLiteral(" → ") + fix});
}
