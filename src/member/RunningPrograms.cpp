#include "member/RunningPrograms.h"

#include <QByteArray>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QStringList>

namespace RunningPrograms {

QString listing(const QString& imageName) {
#ifdef Q_OS_WIN
    QProcess tasklist;
    tasklist.start(QStringLiteral("tasklist"),
                   {QStringLiteral("/NH"), QStringLiteral("/FO"), QStringLiteral("CSV"),
                    QStringLiteral("/FI"), QStringLiteral("IMAGENAME eq %1").arg(imageName)});
    tasklist.waitForFinished(5000);
    QByteArray out = tasklist.readAllStandardOutput();
    const int nul = out.indexOf('\0');
    if (nul >= 0)
        out.truncate(nul);
    return QString::fromUtf8(out);
#else
    Q_UNUSED(imageName)
    QString names;
    const QStringList pids = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString& pid : pids) {
        bool isPid = false;
        pid.toInt(&isPid);
        if (!isPid)
            continue;
        const QString exe = QFileInfo(QStringLiteral("/proc/%1/exe").arg(pid)).symLinkTarget();
        if (!exe.isEmpty())
            names += QFileInfo(exe).fileName() + QLatin1Char('\n');
    }
    return names;
#endif
}

} // namespace RunningPrograms
