// zovorda-bench: the plug-in's figures, each next to a baseline measured in the same
// run, as one Markdown table on stdout (progress on stderr). It never fails on
// timing: the exit code is 0 unless a call answered something wrong.
//
//   zovorda-bench [--quick]
#include "Bench.h"

#include <QApplication>
#include <QDateTime>
#include <QFile>
#include <QSysInfo>
#include <QTextStream>

#include <cstdio>
#include <unistd.h>

namespace {

QString cpuModel() {
    QFile cpuinfo(QStringLiteral("/proc/cpuinfo"));
    if (cpuinfo.open(QIODevice::ReadOnly | QIODevice::Text)) {
        for (const QByteArray& line : cpuinfo.readAll().split('\n')) {
            if (line.startsWith("model name"))
                return QString::fromUtf8(line.mid(line.indexOf(':') + 1).trimmed());
        }
    }
    return QStringLiteral("unknown CPU");
}

// The offscreen platform says on every full-screen window that it cannot raise it;
// that is the platform talking, not the plug-in, and it would bury the table.
QtMessageHandler g_previousHandler = nullptr;

void filterPlatformNoise(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (message.startsWith(QLatin1String("This plugin does not support")))
        return;
    g_previousHandler(type, context, message);
}

QString loadAverage() {
    QFile loadavg(QStringLiteral("/proc/loadavg"));
    if (!loadavg.open(QIODevice::ReadOnly))
        return QStringLiteral("?");
    return QString::fromLatin1(loadavg.readAll()).section(QLatin1Char(' '), 0, 2);
}

} // namespace

int main(int argc, char** argv) {
    // The plug-in's dialogs and wait screen must not need a display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    g_previousHandler = qInstallMessageHandler(filterPlatformNoise);
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.contains(QStringLiteral("--help")) || args.contains(QStringLiteral("-h"))) {
        std::printf("usage: zovorda-bench [--quick] [--only SECTION,...]\n"
                    "  --quick  a few seconds in all (CI); without it the full figures\n"
                    "  --only   some of: plugin, crm, offline, coupons, log\n");
        return 0;
    }
    bench::Options options;
    options.quick = args.contains(QStringLiteral("--quick"));
    const int only = args.indexOf(QStringLiteral("--only"));
    const QStringList sections = only >= 0 ? args.value(only + 1).split(QLatin1Char(','))
                                           : QStringList{"plugin", "crm", "offline", "coupons", "log"};

    QElapsedTimer total;
    total.start();
    bench::Report report;
    const double loadBefore = loadAverage().section(QLatin1Char(' '), 0, 0).toDouble();
    // The plug-in is loaded first, into a process that has built no controller yet.
    if (sections.contains(QStringLiteral("plugin")))
        bench::pluginLoadAndMemory(options, report);
    if (sections.contains(QStringLiteral("crm")))
        bench::crmExchanges(options, report);
    if (sections.contains(QStringLiteral("offline")))
        bench::offlineLookup(options, report);
    if (sections.contains(QStringLiteral("coupons")))
        bench::manyCoupons(options, report);
    if (sections.contains(QStringLiteral("log")))
        bench::operationLog(options, report);

    QString out;
    QTextStream s(&out);
    s << "zovorda-bench, " << (options.quick ? "quick" : "full") << " mode, "
      << QDateTime::currentDateTime().toString(Qt::ISODate) << "\n";
    s << "machine: " << sysconf(_SC_NPROCESSORS_ONLN) << " CPUs (nproc), " << cpuModel() << ", "
      << QSysInfo::kernelType() << ' ' << QSysInfo::kernelVersion() << "; Qt " << qVersion() << ", "
      << ZOVORDA_BUILD_TYPE << " build; load average " << loadBefore << " before, " << loadAverage()
      << " after; " << bench::duration(bench::elapsedMs(total)) << " in all\n\n";
    s << report.table();
    if (report.anyWrong()) {
        s << "\nWRONG RESULTS:\n";
        for (const QString& w : report.wrongs())
            s << "- " << w << "\n";
    }
    s.flush();
    std::fputs(out.toUtf8().constData(), stdout);
    std::fflush(stdout);
    return report.anyWrong() ? 1 : 0;
}
