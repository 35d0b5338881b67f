#include "db/AccessLinkFile.h"

#include <QFile>
#include <QTextStream>

bool AccessLinkFile::readDataSource(const QString& path, QString& dataSource) {
    QFile link(path);
    if (!link.open(QIODevice::ReadOnly))
        return false;
    QTextStream in(&link);
    in.setCodec("UTF-8");
    QString text = in.readAll();
    // A data link file saved by Windows is UTF-16; without a byte-order mark the UTF-8
    // reading shows it as every other character being NUL.
    if (text.size() > 3 && text.at(1).isNull()) {
        in.seek(0);
        in.setCodec("UTF-16LE");
        text = in.readAll();
    }
    // The first "=" belongs to "Provider", the second to "Data Source".
    const int first = text.indexOf(QLatin1Char('='));
    const int second = first < 0 ? -1 : text.indexOf(QLatin1Char('='), first + 1);
    dataSource.clear();
    if (second >= 0) {
        const int end = text.indexOf(QLatin1Char(';'), second + 1);
        dataSource = text.mid(second + 1, end < 0 ? -1 : end - second - 1).trimmed();
    }
    return true;
}
