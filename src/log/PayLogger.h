#pragma once
#include <QByteArray>
#include <QCoreApplication>
#include <QString>

// The daily operation log: LOG/PayLogyyyyMMdd.txt under the directory the process
// was in when the logger was built, one five-line record per step, every record
// carrying the same source. Writing never fails towards the caller.
class PayLogger {
    Q_DECLARE_TR_FUNCTIONS(PayLogger)
public:
    explicit PayLogger(const QString& source);

    void write(const QString& step, const QString& text) const;
    // The same for a text in UTF-8 (a request body as it goes out).
    void write(const QString& step, const QByteArray& utf8) const;

    QString source() const { return m_source; }
    QString logDir() const { return m_logDir; }
    // Somewhere else to write to (the installer's check writes a trial record aside).
    void setLogDir(const QString& dir) { m_logDir = dir; }

private:
    // One record around text, already in the file's code page.
    void append(const QString& step, const QByteArray& text) const;

    QString m_source;
    QString m_logDir;
};
