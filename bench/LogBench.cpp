// The operation log over a long day: a record costs the same whether the day's file
// is empty or already holds a hundred thousand records.
#include "Bench.h"
#include "Scenario.h"
#include "log/PayLogger.h"
#include "support/WorkDir.h"

#include <QDate>
#include <QFile>

namespace bench {

void operationLog(const Options& o, Report& r) {
    const int records = o.pick(100000, 10000);
    progress(QStringLiteral("operation log, %1 records").arg(records));
    WorkDir dir;
    const QString source = QStringLiteral("ZoVORDA动态库");
    const PayLogger logger(source);
    const QString step = QStringLiteral("调用成功");
    const QString text = QString::fromUtf8(memberReply()); // a typical CRM reply, one line

    QVector<double> thousands;
    QElapsedTimer block;
    for (int i = 0; i < records; ++i) {
        if (i % 1000 == 0)
            block.start();
        logger.write(step, text);
        if (i % 1000 == 999)
            thousands.append(elapsedMs(block));
    }

    // Each record is five lines; the text has none of its own.
    const QString path =
        dir.filePath(QStringLiteral("LOG/PayLog") +
                     QDate::currentDate().toString(QStringLiteral("yyyyMMdd")) + QStringLiteral(".txt"));
    QFile file(path);
    int lines = 0;
    if (file.open(QIODevice::ReadOnly)) {
        const QByteArray all = file.readAll();
        lines = all.count('\n');
    }
    if (lines != records * 5)
        r.wrong(QStringLiteral("operation log: %1 lines for %2 records").arg(lines).arg(records));

    // Baseline of one record: the same bytes appended by a bare open, write, close.
    const QByteArray record = QByteArray("时间：2026-12-06 10:00:00:000\n方式：") + source.toUtf8() +
                              "\n位置：" + step.toUtf8() + "\n内容：" + text.toUtf8() + "\n\n";
    QFile bare(dir.filePath(QStringLiteral("bare.txt")));
    Samples bareThousands;
    for (int b = 0; b < 5; ++b) {
        QElapsedTimer t;
        t.start();
        for (int i = 0; i < 1000; ++i) {
            bare.open(QIODevice::ReadWrite | QIODevice::Append | QIODevice::Text);
            bare.write(record);
            bare.close();
        }
        bareThousands.add(elapsedMs(t));
    }

    const double first = thousands.first(), last = thousands.last();
    r.add({QStringLiteral("operation log: last 1000 of %1 records vs the first 1000").arg(records),
           duration(last), duration(first), ratio(last, first), QStringLiteral("≤ 1.5×"),
           met(last <= 1.5 * first)});
    Samples all;
    for (double ms : thousands)
        all.add(ms / 1000.0);
    r.add({QStringLiteral("operation log: one record (median) vs a bare open, append, close"),
           duration(all.median()), duration(bareThousands.median() / 1000.0),
           ratio(all.median(), bareThousands.median() / 1000.0), QStringLiteral("≤ 2×"),
           met(all.median() <= 2.0 * bareThousands.median() / 1000.0)});
}

} // namespace bench
