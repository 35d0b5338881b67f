#include "log/PayLogger.h"

#include "log/Secrets.h"

#include <QDate>
#include <QDateTime>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QTextStream>

PayLogger::PayLogger(const QString& source)
    : m_source(source), m_logDir(QDir::currentPath() + QStringLiteral("/LOG")) {}

void PayLogger::write(const QString& step, const QString& text) const {
    QDir dir(m_logDir);
    if (!dir.exists() && !QDir().mkdir(m_logDir)) {
        qDebug().noquote() << QStringLiteral("更新日志文件夹创建失败，无法写日志");
        return;
    }
    // The date is taken at each write so that records after midnight open the next day's file.
    QFile file(m_logDir + QStringLiteral("/PayLog") +
               QDate::currentDate().toString(QStringLiteral("yyyyMMdd")) + QStringLiteral(".txt"));
    if (!file.open(QIODevice::ReadWrite | QIODevice::Append | QIODevice::Text)) {
        qDebug().noquote() << QStringLiteral("更新日志文件创建失败，无法写更新日志");
        return;
    }
    // The stream's default codec is the system's 8-bit code page (GBK on a Chinese
    // Windows till); support staff open the file with the tools of that till.
    QTextStream out(&file);
    const QString now = QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss:zzz"));
    out << tr("时间：") << now << '\n';
    out << tr("方式：") << m_source << '\n';
    out << tr("位置：") << step << '\n';
    // Passwords and the token never reach the file, whatever record carries them.
    out << tr("内容：") << Secrets::masked(text) << '\n';
    out << '\n';
    out.flush();
    file.close();
}
