// zovorda-till: a small POS host for the member plug-in. It loads libZoVORDA.so at
// run time like a till does, supplies what a host supplies (the style sheet that
// gives the plug-in's dialogs their look, the busy animation and the arrow icon),
// and offers a till screen to try every member and tender call by hand. With
// --tour it plays a whole day at the till by itself, headless, and photographs
// every dialog.

#include "Console.h"
#include "PluginHost.h"
#include "TillSettings.h"
#include "TillWindow.h"
#include "Tour.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QFile>
#include <QFont>
#include <QTimer>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

namespace {

// However the plug-in or the CRM misbehaves, a headless day ends.
constexpr std::chrono::seconds kTourDeadline(300);

bool applyLook(QApplication& app, const QString& styleFile) {
    QFont font(QStringLiteral("Noto Sans CJK SC"));
    font.setPointSize(11);
    font.setHintingPreference(QFont::PreferNoHinting);
    app.setFont(font);
    QFile sheet(styleFile.isEmpty() ? QStringLiteral(":/till/till.qss") : styleFile);
    if (!sheet.open(QIODevice::ReadOnly)) {
        printLine(QStringLiteral("cannot read the style sheet %1").arg(sheet.fileName()));
        return false;
    }
    app.setStyleSheet(QString::fromUtf8(sheet.readAll()));
    return true;
}

QtMessageHandler g_standardHandler = nullptr;

// The offscreen platform says so each time a dialog is raised or resized; that is no news.
void quietPlatformNotes(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (message.startsWith(QLatin1String("This plugin does not support")) ||
        message.startsWith(QLatin1String("QStandardPaths: XDG_RUNTIME_DIR not set")))
        return;
    if (g_standardHandler)
        g_standardHandler(type, context, message);
}

// Qt's own command line has a -plugin option (an input device plug-in), which it
// would take from under us; the till's --plugin is taken out before Qt sees it.
QString takePluginOption(int& argc, char** argv) {
    QString path;
    int kept = 1;
    for (int i = 1; i < argc; ++i) {
        const QByteArray arg(argv[i]);
        if ((arg == "--plugin" || arg == "-plugin") && i + 1 < argc) {
            path = QString::fromLocal8Bit(argv[++i]);
        } else if (arg.startsWith("--plugin=")) {
            path = QString::fromLocal8Bit(arg.mid(9));
        } else {
            argv[kept++] = argv[i];
        }
    }
    argc = kept;
    argv[argc] = nullptr;
    return path;
}

void printInputs(const CallResult& call) {
    for (const auto& input : call.inputs) {
        if (!input.second.isEmpty())
            printLine(QStringLiteral("   %1 %2 %3")
                          .arg(call.function, input.first, QString::fromUtf8(input.second)));
    }
}

void printResult(const CallResult& call) {
    printLine(QStringLiteral("   result %1").arg(QString::fromUtf8(call.text)));
}

} // namespace

int main(int argc, char** argv) {
    g_standardHandler = qInstallMessageHandler(quietPlatformNotes);
    const QString pluginPath = takePluginOption(argc, argv);
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("zovorda-till"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Demo POS till for the ZoVORDA member plug-in."));
    parser.addHelpOption();
    const QCommandLineOption pluginOpt(QStringLiteral("plugin"),
                                       QStringLiteral("The plug-in library to load."), QStringLiteral("path"),
                                       QStringLiteral(ZOVORDA_PLUGIN_PATH));
    const QCommandLineOption crmOpt(QStringLiteral("crm"),
                                    QStringLiteral("CRM base address; writes the settings files into the "
                                                   "working directory."),
                                    QStringLiteral("url"));
    const QCommandLineOption membersOpt(QStringLiteral("members-db"),
                                        QStringLiteral("SQLite file with the till's own member table "
                                                       "(t_member), for look-ups while the CRM is down."),
                                        QStringLiteral("file"), QStringLiteral("members.db"));
    const QCommandLineOption tourOpt(QStringLiteral("tour"),
                                     QStringLiteral("Play a day at the till headless; pictures go to dir."),
                                     QStringLiteral("dir"));
    const QCommandLineOption styleOpt(QStringLiteral("qss"),
                                      QStringLiteral("Use this style sheet instead of the built-in one."),
                                      QStringLiteral("file"));
    const QCommandLineOption companionOpt(QStringLiteral("companion"),
                                          QStringLiteral("The program the plug-in keeps running (ZoVORDA.ini "
                                                         "ExePath, folders separated by /)."),
                                          QStringLiteral("path"));
    parser.addOptions({pluginOpt, crmOpt, membersOpt, tourOpt, styleOpt, companionOpt});
    parser.process(app);

    const bool touring = parser.isSet(tourOpt);
    if (touring && !parser.isSet(crmOpt)) {
        printLine(QStringLiteral("--tour needs --crm URL (the simulator in business mode)"));
        return 2;
    }
    if (touring) {
        std::thread([] {
            std::this_thread::sleep_for(kTourDeadline);
            std::fputs("zovorda-till: the tour did not end in time, giving up\n", stderr);
            std::fflush(stdout);
            std::_Exit(3);
        }).detach();
    }

    if (!applyLook(app, parser.value(styleOpt)))
        return 2;
    if (parser.isSet(crmOpt)) {
        // A headless day starts signed out and times out quickly; a till at the
        // counter keeps today's sign-in and waits as long as a real till would.
        TillSettings::write(parser.value(crmOpt), parser.value(membersOpt), touring ? 5 : 20, touring,
                            parser.value(companionOpt));
    }

    PluginHost plugin;
    QString error;
    if (!plugin.load(pluginPath.isEmpty() ? parser.value(pluginOpt) : pluginPath, error)) {
        printLine(error);
        return 1;
    }

    TillWindow till(plugin);
    QObject::connect(&till, &TillWindow::calling, &printInputs);
    QObject::connect(&till, &TillWindow::called, &printResult);

    if (!touring) {
        till.resize(800, 600);
        till.show();
        return app.exec();
    }

    const QString pictures = QDir(parser.value(tourOpt)).absolutePath();
    if (!QDir().mkpath(pictures)) {
        printLine(QStringLiteral("cannot create %1").arg(pictures));
        return 2;
    }
    till.showFullScreen();
    Tour tour(till, pictures, parser.value(crmOpt),
              QDir::current().absoluteFilePath(parser.value(membersOpt)));
    QTimer::singleShot(0, &app, [&] { QCoreApplication::exit(tour.run()); });
    return app.exec();
}
