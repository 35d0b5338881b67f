// zovorda-doctor: run in a till's working directory, it says for every setting, the
// CRM, the member database and the log folder whether the plug-in will get on with
// them, and how to fix what it will not. Exit status 0 when nothing failed.

#include "Doctor.h"

#include <QApplication>
#include <QCommandLineParser>
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
    parser.addOption(signinOpt);
    const QCommandLineOption freeOpt(
        QStringLiteral("min-free-mb"),
        QStringLiteral("Report less free space than this on the log's disk (default %1 MB).")
            .arg(Doctor::kDefaultMinimumFreeMb),
        QStringLiteral("MB"));
    parser.addOption(freeOpt);
    parser.process(app);

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
