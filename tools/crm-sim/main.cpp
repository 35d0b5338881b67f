// vorda-crm-sim: serves the simulated Vorda CRM until interrupted.
//
// Prints the base URL as the first line on standard output, so a script can read
// where to point "Config/HttpAddress".

#include "CrmSim.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <csignal>
#include <cstdio>
#include <pthread.h>

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("vorda-crm-sim"));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Simulated Vorda CRM (POST <url>/txCtrl?txcode=<code>)."));
    parser.addHelpOption();
    const QCommandLineOption portOpt(QStringLiteral("port"),
                                     QStringLiteral("Port to listen on (0 picks one)."),
                                     QStringLiteral("port"), QStringLiteral("0"));
    const QCommandLineOption hostOpt(QStringLiteral("host"), QStringLiteral("Address to listen on."),
                                     QStringLiteral("host"), QStringLiteral("127.0.0.1"));
    const QCommandLineOption certOpt(QStringLiteral("tls-cert"),
                                     QStringLiteral("PEM certificate: serve https."), QStringLiteral("file"));
    const QCommandLineOption keyOpt(
        QStringLiteral("tls-key"), QStringLiteral("PEM private key for --tls-cert."), QStringLiteral("file"));
    parser.addOptions({portOpt, hostOpt, certOpt, keyOpt});
    parser.process(app);

    bool portOk = false;
    const int port = parser.value(portOpt).toInt(&portOk);
    if (!portOk || port < 0 || port > 65535) {
        std::fprintf(stderr, "vorda-crm-sim: bad --port %s\n", qPrintable(parser.value(portOpt)));
        return 2;
    }
    if (parser.isSet(certOpt) != parser.isSet(keyOpt)) {
        std::fprintf(stderr, "vorda-crm-sim: --tls-cert and --tls-key go together\n");
        return 2;
    }

    // The server threads inherit this mask, so the interrupt reaches sigwait() below.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    crmsim::Server server;
    const QString host = parser.value(hostOpt);
    const bool started = parser.isSet(certOpt)
                             ? server.startTls(parser.value(certOpt), parser.value(keyOpt), host, port)
                             : server.start(host, port);
    if (!started) {
        std::fprintf(stderr, "vorda-crm-sim: cannot listen on %s:%d\n", qPrintable(host), port);
        return 1;
    }
    std::printf("%s\n", qPrintable(server.baseUrl()));
    std::fflush(stdout);

    int sig = 0;
    sigwait(&stopSignals, &sig);
    server.stop();
    return 0;
}
