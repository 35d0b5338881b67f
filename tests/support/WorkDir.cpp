#include "WorkDir.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTextStream>

WorkDir::WorkDir() : m_previous(QDir::currentPath()) {
    // ZOVORDA_KEEP_WORKDIR keeps the directory (settings, LOG/) for a look afterwards;
    // fuzz/seeds.py --from-logs takes the requests and replies of the suites from it.
    m_dir.setAutoRemove(!qEnvironmentVariableIsSet("ZOVORDA_KEEP_WORKDIR"));
    QDir::setCurrent(m_dir.path());
}

WorkDir::~WorkDir() {
    QDir::setCurrent(m_previous);
}

void WorkDir::writeIni(const QString& file, const QVariantMap& values) const {
    QSettings ini(filePath(file), QSettings::IniFormat);
    ini.setIniCodec("UTF-8");
    for (auto it = values.cbegin(); it != values.cend(); ++it)
        ini.setValue(it.key(), it.value());
    ini.sync();
}

QVariant WorkDir::readIni(const QString& file, const QString& key) const {
    QSettings ini(filePath(file), QSettings::IniFormat);
    ini.setIniCodec("UTF-8");
    return ini.value(key);
}

void WorkDir::writeFile(const QString& name, const QByteArray& content) const {
    QFile f(filePath(name));
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        f.write(content);
}

QByteArray WorkDir::readFile(const QString& name) const {
    QFile f(filePath(name));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void WorkDir::configureTill(const QString& baseUrl, int timeoutSeconds) const {
    writeIni(QStringLiteral("ZoVORDA.ini"),
             {{QStringLiteral("Config/HttpAddress"), baseUrl},
              {QStringLiteral("Config/company_id"), QStringLiteral("C001")},
              {QStringLiteral("Config/token"), QStringLiteral("TK-1")},
              {QStringLiteral("Config/TimeOut"), QString::number(timeoutSeconds)},
              {QStringLiteral("Config/shop_id"), QStringLiteral("S01")},
              {QStringLiteral("Config/password"), QStringLiteral("pw")},
              {QStringLiteral("Config/SigninTime"),
               QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd")) + QStringLiteral(" 08:00:00")}});
    writeIni(QStringLiteral("RVX_Config.ini"), {{QStringLiteral("NAV/pointcode"), QStringLiteral("POS01")}});
}

QList<LogRecord> WorkDir::logRecords() const {
    QList<LogRecord> records;
    QFile f(filePath(QStringLiteral("LOG/PayLog") +
                     QDate::currentDate().toString(QStringLiteral("yyyyMMdd")) + QStringLiteral(".txt")));
    if (!f.open(QIODevice::ReadOnly | QIODevice::Text))
        return records;
    QTextStream in(&f);
    QString all = in.readAll();
    while (all.endsWith(QLatin1Char('\n')))
        all.chop(1);
    const QStringList lines = all.split(QLatin1Char('\n'));
    // A record: time, source, step, text (possibly several lines), then an empty line.
    for (int i = 0; i < lines.size(); ++i) {
        if (!lines.at(i).startsWith(QStringLiteral("时间：")) || i + 3 >= lines.size())
            continue;
        LogRecord r;
        r.time = lines.at(i).mid(3);
        r.source = lines.at(i + 1).mid(3);
        r.step = lines.at(i + 2).mid(3);
        QStringList text{lines.at(i + 3).mid(3)};
        int j = i + 4;
        while (j < lines.size() &&
               !(lines.at(j).isEmpty() &&
                 (j + 1 >= lines.size() || lines.at(j + 1).startsWith(QStringLiteral("时间："))))) {
            text.append(lines.at(j));
            ++j;
        }
        r.text = text.join(QLatin1Char('\n'));
        records.append(r);
        i = j;
    }
    return records;
}

QStringList WorkDir::logSteps() const {
    QStringList steps;
    for (const LogRecord& r : logRecords())
        steps.append(r.step);
    return steps;
}

QString WorkDir::lastLogText(const QString& step) const {
    const QList<LogRecord> records = logRecords();
    for (int i = records.size() - 1; i >= 0; --i) {
        if (records.at(i).step == step)
            return records.at(i).text;
    }
    return QString();
}
