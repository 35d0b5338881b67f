#pragma once
#include <QByteArray>
#include <QList>
#include <QString>
#include <QTemporaryDir>
#include <QVariantMap>

// One record of the day's operation log.
struct LogRecord {
    QString time;
    QString source;
    QString step;
    QString text;
};

// A fresh, empty directory that is the process's current directory for the
// lifetime of the fixture: the plug-in reads its settings files and writes LOG/
// relative to it. Build the controller after the fixture.
class WorkDir {
public:
    WorkDir();
    ~WorkDir();
    WorkDir(const WorkDir&) = delete;
    WorkDir& operator=(const WorkDir&) = delete;

    QString path() const { return m_dir.path(); }
    QString filePath(const QString& name) const { return m_dir.filePath(name); }

    // Writes keys such as "Config/HttpAddress" into an INI file (merged with what is there).
    void writeIni(const QString& file, const QVariantMap& values) const;
    QVariant readIni(const QString& file, const QString& key) const;
    void writeFile(const QString& name, const QByteArray& content) const;
    QByteArray readFile(const QString& name) const;

    // A till that is set up for the CRM at baseUrl and signed in today:
    // address, company, device, token, shop id, a short time-out.
    void configureTill(const QString& baseUrl, int timeoutSeconds = 5) const;

    // The records of today's log file, in order.
    QList<LogRecord> logRecords() const;
    // The steps of today's log, in order (handy for comparing a whole call).
    QStringList logSteps() const;
    // The text of the last record with this step, or a null string.
    QString lastLogText(const QString& step) const;

private:
    QString m_previous;
    QTemporaryDir m_dir;
};
