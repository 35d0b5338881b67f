#include "log/PayLogger.h"

#include "log/Secrets.h"

#include <QDate>
#include <QDateTime>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QTextCodec>

#include <limits>

namespace {

// The local time of now, as "yyyy-MM-dd hh:mm:ss:zzz" and "yyyyMMdd". The system's
// offset from UTC is asked once a minute (offsets change only on whole minutes), not at
// every record: asking costs more than the rest of the record.
struct LocalNow {
    QString stamp;
    QString day;
};

void putDigits(char*& at, int value, int width) {
    for (int i = width - 1; i >= 0; --i, value /= 10)
        at[i] = char('0' + value % 10);
    at += width;
}

LocalNow localNow() {
    thread_local qint64 cachedMinute = std::numeric_limits<qint64>::min();
    thread_local qint64 offsetMs = 0;
    const qint64 utc = QDateTime::currentMSecsSinceEpoch();
    const qint64 minute = utc / 60000;
    if (minute != cachedMinute) {
        offsetMs = qint64(QDateTime::fromMSecsSinceEpoch(utc).offsetFromUtc()) * 1000;
        cachedMinute = minute;
    }
    const qint64 local = utc + offsetMs;
    qint64 days = local / 86400000;
    qint64 inDay = local % 86400000;
    if (inDay < 0) {
        inDay += 86400000;
        --days;
    }
    const QDate date = QDate(1970, 1, 1).addDays(days);
    char text[24];
    char* at = text;
    putDigits(at, date.year(), 4);
    *at++ = '-';
    putDigits(at, date.month(), 2);
    *at++ = '-';
    putDigits(at, date.day(), 2);
    *at++ = ' ';
    putDigits(at, int(inDay / 3600000), 2);
    *at++ = ':';
    putDigits(at, int(inDay / 60000 % 60), 2);
    *at++ = ':';
    putDigits(at, int(inDay / 1000 % 60), 2);
    *at++ = ':';
    putDigits(at, int(inDay % 1000), 3);
    const QString stamp = QString::fromLatin1(text, int(at - text));
    return {stamp, stamp.left(4) + stamp.mid(5, 2) + stamp.mid(8, 2)};
}

// QTextCodec's number for UTF-8.
constexpr int kUtf8Mib = 106;

} // namespace

PayLogger::PayLogger(const QString& source)
    : m_source(source), m_logDir(QDir::currentPath() + QStringLiteral("/LOG")) {}

void PayLogger::write(const QString& step, const QString& text) const {
    // Passwords and the token never reach the file, whatever record carries them.
    append(step, QTextCodec::codecForLocale()->fromUnicode(Secrets::masked(text)));
}

void PayLogger::write(const QString& step, const QByteArray& utf8) const {
    const QByteArray shown = Secrets::masked(utf8);
    const QTextCodec* codec = QTextCodec::codecForLocale();
    // A sale's body runs to megabytes: on a UTF-8 system it goes to the file as it is.
    append(step, codec->mibEnum() == kUtf8Mib ? shown : codec->fromUnicode(QString::fromUtf8(shown)));
}

void PayLogger::append(const QString& step, const QByteArray& text) const {
    // The date is taken at each write so that records after midnight open the next day's file.
    const LocalNow now = localNow();
    QFile file(m_logDir + QStringLiteral("/PayLog") + now.day + QStringLiteral(".txt"));
    // Text mode: the lines end the platform's way ("\r\n" on Windows).
    const QIODevice::OpenMode mode = QIODevice::ReadWrite | QIODevice::Append | QIODevice::Text;
    if (!file.open(mode)) {
        // The folder comes at the first record of a till, and again if someone removed it.
        if (!QDir(m_logDir).exists() && !QDir().mkdir(m_logDir)) {
            qDebug().noquote() << QStringLiteral("更新日志文件夹创建失败，无法写日志");
            return;
        }
        if (!file.open(mode)) {
            qDebug().noquote() << QStringLiteral("更新日志文件创建失败，无法写更新日志");
            return;
        }
    }
    static const QString timeLabel = tr("时间："), sourceLabel = tr("方式："), stepLabel = tr("位置："),
                         textLabel = tr("内容：");
    const QLatin1Char nl('\n');
    QString head;
    head.reserve(m_source.size() + step.size() + 48);
    for (const QString& line : {timeLabel + now.stamp, sourceLabel + m_source, stepLabel + step}) {
        head += line;
        head += nl;
    }
    head += textLabel;
    // In the system's 8-bit code page (GBK on a Chinese Windows till): support staff open
    // the file with the tools of that till.
    QByteArray record = QTextCodec::codecForLocale()->fromUnicode(head);
    record.reserve(record.size() + text.size() + 2);
    record += text;
    record += "\n\n";
    file.write(record);
}
