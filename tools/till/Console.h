#pragma once

// The till's journal on standard output: UTF-8 whatever the locale, one line at a
// time and flushed, so a log of the day reads in order even when the run is cut short.

#include <QString>

#include <cstdio>

inline void printLine(const QString& text) {
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}
