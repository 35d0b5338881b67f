// vorda-crm-sim: serves the simulated Vorda CRM until interrupted.
//
// Prints the base URL as the first line on standard output, so a script can read
// where to point "Config/HttpAddress".
//
// Without --business every request gets a 404: the bare server is only useful in-process,
// where tests script its replies. With --business it plays a whole CRM with the demo data.

#include "Business.h"
#include "CrmSim.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QHash>
#include <QList>
#include <QPair>

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
    const QCommandLineOption businessOpt(
        QStringLiteral("business"), QStringLiteral("Play the CRM with its business rules and demo data."));
    const QCommandLineOption stateOpt(QStringLiteral("state"),
                                      QStringLiteral("SQLite file that keeps the business state."),
                                      QStringLiteral("file"), QStringLiteral("vorda-crm-sim.db"));
    const QCommandLineOption resetOpt(QStringLiteral("reset"),
                                      QStringLiteral("Start again from the demo data."));
    const QCommandLineOption latencyOpt(QStringLiteral("latency"),
                                        QStringLiteral("Delay every business reply by this many ms."),
                                        QStringLiteral("ms"), QStringLiteral("0"));
    const QCommandLineOption faultOpt(
        QStringLiteral("fault"),
        QStringLiteral("Make a transaction hang, fail with HTTP 500, answer with HTML, or apply the "
                       "request and hang up without a reply (repeatable)."),
        QStringLiteral("txcode=hang|500|notjson|drop"));
    parser.addOptions(
        {portOpt, hostOpt, certOpt, keyOpt, businessOpt, stateOpt, resetOpt, latencyOpt, faultOpt});
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

    const bool business = parser.isSet(businessOpt);
    if (!business && (parser.isSet(stateOpt) || parser.isSet(resetOpt) || parser.isSet(latencyOpt) ||
                      parser.isSet(faultOpt))) {
        std::fprintf(stderr, "vorda-crm-sim: --state, --reset, --latency and --fault need --business\n");
        return 2;
    }
    bool latencyOk = false;
    const int latency = parser.value(latencyOpt).toInt(&latencyOk);
    if (!latencyOk || latency < 0) {
        std::fprintf(stderr, "vorda-crm-sim: bad --latency %s\n", qPrintable(parser.value(latencyOpt)));
        return 2;
    }
    const QHash<QString, crmsim::Business::Fault> faultNames{
        {QStringLiteral("hang"), crmsim::Business::Fault::Hang},
        {QStringLiteral("500"), crmsim::Business::Fault::Http500},
        {QStringLiteral("notjson"), crmsim::Business::Fault::NotJson},
        {QStringLiteral("drop"), crmsim::Business::Fault::Drop}};
    QList<QPair<QByteArray, crmsim::Business::Fault>> faults;
    for (const QString& given : parser.values(faultOpt)) {
        const int eq = given.indexOf(QLatin1Char('='));
        const QString name = given.mid(eq + 1);
        if (eq <= 0 || !faultNames.contains(name)) {
            std::fprintf(stderr, "vorda-crm-sim: bad --fault %s (want txcode=hang|500|notjson|drop)\n",
                         qPrintable(given));
            return 2;
        }
        faults.append(qMakePair(given.left(eq).toUtf8(), faultNames.value(name)));
    }

    crmsim::Business biz;
    if (business) {
        QString error;
        if (!biz.open(parser.value(stateOpt), &error) || (parser.isSet(resetOpt) && !biz.reset(&error))) {
            std::fprintf(stderr, "vorda-crm-sim: state file %s: %s\n", qPrintable(parser.value(stateOpt)),
                         qPrintable(error));
            return 1;
        }
        biz.setLatency(latency);
        for (const auto& f : faults)
            biz.setFault(f.first, f.second);
    }

    // The server threads inherit this mask, so the interrupt reaches sigwait() below.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    crmsim::Server server;
    if (business)
        server.setFallback([&biz](const crmsim::Request& r) { return biz.handle(r); });
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
