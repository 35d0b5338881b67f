// zovorda-doctor: run in a till's working directory, it says for every setting, the
// CRM, the member database and the log folder whether the plug-in will get on with
// them, and how to fix what it will not. Exit status 0 when nothing failed.

#include "Doctor.h"
#include "JournalReport.h"
#include "log/PayLogger.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDate>
#include <QFile>
#include <QTextStream>

namespace {

QtMessageHandler g_standardHandler = nullptr;

// The report is the output. The plug-in's debug lines (a log that cannot be
// written) and the offscreen platform's notes would only break it up; real
// warnings still reach standard error.
void quietHandler(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (type == QtDebugMsg || type == QtInfoMsg ||
        message.startsWith(QLatin1String("This plugin does not support")) ||
        message.startsWith(QLatin1String("QStandardPaths: XDG_RUNTIME_DIR not set")))
        return;
    if (g_standardHandler)
        g_standardHandler(type, context, message);
}

// --journal [DATE] [--csv]: the day's money-moving calls instead of the checks. Exit
// status 0 when the journal could be read, 1 when not, 2 for a date that is no date.
int listJournal(const QCommandLineParser& parser, bool csv) {
    const QStringList args = parser.positionalArguments();
    const QDate day = args.isEmpty() ? QDate::currentDate()
                                     : QDate::fromString(args.constFirst(), QStringLiteral("yyyy-MM-dd"));
    QTextStream err(stderr);
    if (args.size() > 1 || !day.isValid()) {
        err << "zovorda-doctor: --journal takes one date, yyyy-MM-dd\n";
        return 2;
    }
    JournalReport report(PayLogger(QString()).logDir(), day);
    if (!report.read()) {
        err << "zovorda-doctor: the tender journal cannot be read: " << report.error() << '\n';
        return 1;
    }
    if (csv) {
        // Bytes as they are: the file carries its own encoding mark.
        QFile out;
        out.open(stdout, QIODevice::WriteOnly);
        out.write(report.csv());
        return 0;
    }
    QTextStream out(stdout);
    for (const QString& line : report.table())
        out << line << '\n';
    return 0;
}

} // namespace

int main(int argc, char* argv[]) {
#if defined(Q_OS_UNIX) && !defined(Q_OS_MACOS)
    // Installers often work over ssh or on a bare console. The controller builds its
    // dialogs and the CRM exchange shows the wait overlay; without a display they go
    // to the offscreen platform instead of stopping the program.
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") &&
        qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
#endif
    g_standardHandler = qInstallMessageHandler(quietHandler);
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("zovorda-doctor"));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Checks the till in the current directory: ZoVORDA.ini, RVX_Config.ini, config.ini, "
                       "the CRM, the member database and the LOG folder."));
    parser.addHelpOption();
    const QCommandLineOption signinOpt(
        QStringLiteral("signin"),
        QStringLiteral("Also sign the till in as this store (writes token, shop_id and SigninTime)."),
        QStringLiteral("store"));
    const QCommandLineOption freeOpt(
        QStringLiteral("min-free-mb"),
        QStringLiteral("Report less free space than this on the log's disk (default %1 MB).")
            .arg(Doctor::kDefaultMinimumFreeMb),
        QStringLiteral("MB"));
    const QCommandLineOption journalOpt(
        QStringLiteral("journal"),
        QStringLiteral(
            "Instead of the checks, list the money-moving calls of one day (today, or the date "
            "given) from LOG/journal.db, every call whose outcome the till never learned pointed out."));
    const QCommandLineOption csvOpt(QStringLiteral("csv"),
                                    QStringLiteral("With --journal: the calls as CSV for the back office."));
    parser.addOptions({signinOpt, freeOpt, journalOpt, csvOpt});
    parser.addPositionalArgument(QStringLiteral("date"),
                                 QStringLiteral("With --journal: the day, yyyy-MM-dd."),
                                 QStringLiteral("[date]"));
    parser.process(app);
    if (parser.isSet(journalOpt))
        return listJournal(parser, parser.isSet(csvOpt));
    if (parser.isSet(csvOpt) || !parser.positionalArguments().isEmpty()) {
        QTextStream(stderr) << "zovorda-doctor: --csv and a date go with --journal\n";
        return 2;
    }

    Doctor doctor(parser.value(signinOpt));
    if (parser.isSet(freeOpt)) {
        bool ok = false;
        const qint64 megabytes = parser.value(freeOpt).toLongLong(&ok);
        if (!ok || megabytes < 0) {
            QTextStream(stderr) << "zovorda-doctor: --min-free-mb takes a whole number of megabytes\n";
            return 2;
        }
        doctor.setMinimumFreeMb(megabytes);
    }
    QTextStream out(stdout);
    for (const QString& line : doctor.run())
        out << line << '\n';
    out << doctor.summary() << '\n';
    out.flush();
    return doctor.exitCode();
}
