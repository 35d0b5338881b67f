#pragma once
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

    QString source() const { return m_source; }
    QString logDir() const { return m_logDir; }
    // Somewhere else to write to (the installer's check writes a trial record aside).
    void setLogDir(const QString& dir) { m_logDir = dir; }

private:
    QString m_source;
    QString m_logDir;
};
