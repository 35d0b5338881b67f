// The CRM simulator as a client sees it: every check goes through Qt's HTTP client
// over a real socket, the way the plug-in talks to the CRM.

#include "CrmSim.h"
#include "support/Columns.h"

#include <QtNetwork>
#include <QtTest>

#include <memory>

Q_DECLARE_METATYPE(crmsim::Reply)

using Headers = QList<QPair<QByteArray, QByteArray>>;
using R = crmsim::Reply;

namespace {
struct Exchange {
    int error = -1, status = 0;
    QByteArray body, contentType;
    qint64 elapsedMs = 0;
};

R with(R r, const std::function<void(R&)>& change) {
    change(r);
    return r;
}
} // namespace

class tst_CrmSim : public QObject {
    Q_OBJECT

    std::unique_ptr<crmsim::Server> sim;
    std::unique_ptr<QNetworkAccessManager> nam;

    Exchange post(const QByteArray& txcode, const QByteArray& body, const Headers& headers = {},
                  const QSslConfiguration* tls = nullptr) {
        QNetworkRequest req(QUrl(sim->baseUrl() + "/txCtrl?txcode=" + QString::fromUtf8(txcode)));
        req.setHeader(QNetworkRequest::ContentTypeHeader, QByteArray("application/json"));
        for (const auto& h : headers)
            req.setRawHeader(h.first, h.second);
        if (tls)
            req.setSslConfiguration(*tls);
        QElapsedTimer clock;
        clock.start();
        QNetworkReply* reply = nam->post(req, body);
        QSignalSpy(reply, &QNetworkReply::finished).wait(15000);
        reply->deleteLater();
        if (!reply->isFinished())
            return {};
        return {reply->error(), reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(),
                reply->readAll(), reply->rawHeader("Content-Type"), clock.elapsed()};
    }

private slots:
    void init() {
        sim = std::make_unique<crmsim::Server>();
        QVERIFY(sim->start());
        QVERIFY(sim->port() > 0);
        QCOMPARE(sim->baseUrl(), QStringLiteral("http://127.0.0.1:%1").arg(sim->port()));
        nam = std::make_unique<QNetworkAccessManager>();
    }

    void scriptedReplyReachesTheClient_data() {
        columns<R, int, int, int, QByteArray, int, int>(
            {"reply", "queuedTimes", "error", "status", "body", "requests", "minElapsedMs"});

        const QByteArray ok = R"({"data":{"result_code":"1","result_msg":"成功"}})";
        const QByteArray nul("{\"data\":{}}\0tail", 15);
        const QByteArray huge = QByteArray(10 * 1024 * 1024, 'x').prepend("{\"pad\":\"").append("\"}");
        const QByteArray forty = "0123456789012345678901234567890123456789", none;
        using E = QNetworkReply::NetworkError;
        // clang-format off
        QTest::newRow("200 json")      << R::json(ok)              << 1 << int(E::NoError)                      << 200 << ok   << 1 << 0;
        QTest::newRow("404")           << R::json("{}", 404)       << 1 << int(E::ContentNotFoundError)         << 404 << QByteArray("{}")   << 1 << 0;
        QTest::newRow("500")           << R::json("oops", 500)     << 1 << int(E::InternalServerError)          << 500 << QByteArray("oops") << 1 << 0;
        QTest::newRow("400")           << R::json("bad", 400)      << 1 << int(E::ProtocolInvalidOperationError) << 400 << QByteArray("bad") << 1 << 0;
        QTest::newRow("NUL byte kept") << R::json(nul)             << 1 << int(E::NoError)                      << 200 << nul  << 1 << 0;
        QTest::newRow("10 MB body")    << R::json(huge)            << 1 << int(E::NoError)                      << 200 << huge << 1 << 0;
        QTest::newRow("delay")         << with(R::json(ok), [](R& r) { r.delayMs = 300; })      << 1 << int(E::NoError) << 200 << ok << 1 << 300;
        // 40 bytes in five pieces: four pauses between them.
        QTest::newRow("trickle")       << with(R::json(forty), [](R& r) { r.trickleMs = 60; })  << 1 << int(E::NoError) << 200 << forty << 1 << 240;
        // Qt posts once more when a connection closes without any reply: both are dropped.
        QTest::newRow("drop")          << with(R::json(ok), [](R& r) { r.drop = true; })        << 2 << int(E::RemoteHostClosedError) << 0 << none << 2 << 0;
        QTest::newRow("drop mid body") << with(R::json(forty), [](R& r) { r.dropMidBody = true; }) << 1 << int(E::RemoteHostClosedError) << 200 << forty.left(20) << 1 << 0;
        // The server is stopped 300 ms in; Qt's resend after the hang-up finds nobody listening.
        QTest::newRow("hang until stopped") << with(R::json(ok), [](R& r) { r.hang = true; }) << 1 << int(E::ConnectionRefusedError) << 0 << none << 1 << 300;
        // clang-format on
    }

    void scriptedReplyReachesTheClient() {
        QFETCH(R, reply);
        QFETCH(int, queuedTimes);
        for (int i = 0; i < queuedTimes; ++i)
            sim->enqueue("pmb001", reply);
        qint64 stopMs = -1;
        if (reply.hang) {
            QTimer::singleShot(300, this, [&] {
                QElapsedTimer stopping;
                stopping.start();
                sim->stop();
                stopMs = stopping.elapsed();
            });
        }
        const Exchange x = post("pmb001", R"({"shop_id":"S1"})");

        QFETCH(QByteArray, body);
        QFETCH(int, minElapsedMs);
        QTEST(x.error, "error");
        QTEST(x.status, "status");
        QCOMPARE(x.body.size(), body.size());
        QVERIFY(x.body == body);
        QTEST(sim->requestCount(), "requests");
        QVERIFY2(x.elapsedMs >= minElapsedMs, qPrintable(QString::number(x.elapsedMs)));
        QCOMPARE(sim->queued("pmb001"), 0);
        QVERIFY2(stopMs < 500, qPrintable(QString::number(stopMs))); // a hanging reply does not hold up stop
        QCOMPARE(sim->isRunning(), !reply.hang);
    }

    void repliesAreTakenInOrderPerTransactionCode() {
        sim->enqueue("pmb001", R::json("A"));
        sim->enqueue("pmb010", R::json("C"));
        sim->enqueue("pmb001", R::json("B"));
        QCOMPARE(post("pmb001", "{}").body, QByteArray("A"));
        QCOMPARE(post("pmb010", "{}").body, QByteArray("C"));
        const Exchange second = post("pmb001", "{}");
        QCOMPARE(second.body, QByteArray("B"));
        QCOMPARE(second.contentType, QByteArray("application/json;charset=utf-8"));
        const Exchange none = post("pmb001", "{}");
        QCOMPARE(none.status, 404);
        QCOMPARE(none.body, QByteArray(R"({"error":"no scripted reply"})"));

        QList<QByteArray> codes;
        for (const auto& r : sim->requests())
            codes << r.txcode;
        QCOMPARE(codes, (QList<QByteArray>{"pmb001", "pmb010", "pmb001", "pmb001"}));
        sim->clearRequests();
        QCOMPARE(sim->requestCount(), 0);
    }

    void requestIsRecordedAsItArrived() {
        // clang-format off
        const Headers sent = {{"Content-Type", "application/json;charset=utf-8"}, {"Accept", "application/json"},
                              {"Token", QByteArray("")}, {"dataType", "json"}, {"DeviceId", "POS01"}, {"CompanyId", "C9"}};
        // clang-format on
        const QByteArray body = R"({"code":"13800138000","shop_id":"门店01"})";
        post("pmb001", body, sent);

        QCOMPARE(sim->requestCount(), 1);
        const crmsim::Request r = sim->requests().at(0);
        QCOMPARE(r.method + ' ' + r.target + ' ' + r.path + ' ' + r.txcode,
                 QByteArray("POST /txCtrl?txcode=pmb001 /txCtrl pmb001"));
        QCOMPARE(r.body, body);
        // Qt adds its own headers (Host, Content-Length, ...) around ours; ours keep their order.
        Headers ours;
        for (const auto& h : r.headers)
            if (std::any_of(sent.begin(), sent.end(), [&](const auto& s) { return s.first == h.first; }))
                ours << h;
        QCOMPARE(ours, sent);
        QVERIFY(r.hasHeader("token"));
        QCOMPARE(r.header("TOKEN"), QByteArray(""));
        QCOMPARE(r.header("deviceid"), QByteArray("POS01"));
        QCOMPARE(r.header("Content-Length"), QByteArray::number(body.size()));
        QVERIFY(!r.hasHeader("X-Absent"));
    }

    void fallbackAnswersWhatIsNotScripted() {
        sim->setFallback([](const crmsim::Request& r) {
            return R::json("{\"echo\":\"" + r.txcode + "\",\"bytes\":" + QByteArray::number(r.body.size()) +
                           "}");
        });
        sim->enqueue("pmb021", R::json("scripted"));
        QCOMPARE(post("pmb021", "12345").body, QByteArray("scripted"));
        QCOMPARE(post("pmb021", "12345").body, QByteArray(R"({"echo":"pmb021","bytes":5})"));
        sim->setFallback(nullptr);
        QCOMPARE(post("pmb021", "12345").status, 404);
    }

    void startIsRefusedOnABusyPort() {
        QVERIFY(!sim->start()); // already running
        QTcpServer other;
        QVERIFY(other.listen(QHostAddress::LocalHost));
        crmsim::Server second;
        QVERIFY(!second.start(QStringLiteral("127.0.0.1"), other.serverPort()));
        QCOMPARE(second.baseUrl(), QString());
    }

    void httpsWithATestCertificate() {
        if (!QSslSocket::supportsSsl())
            QSKIP("Qt has no TLS backend here");
        QTemporaryDir dir;
        const QString cert = dir.filePath("cert.pem"), key = dir.filePath("key.pem");
        QProcess openssl;
        openssl.setStandardOutputFile(QProcess::nullDevice());
        openssl.setStandardErrorFile(QProcess::nullDevice()); // its key-generation progress dots
        openssl.start("openssl", {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "1", "-subj",
                                  "/CN=127.0.0.1", "-addext", "subjectAltName=IP:127.0.0.1", "-keyout", key,
                                  "-out", cert});
        if (!openssl.waitForFinished(30000) || openssl.exitCode() != 0)
            QSKIP("the openssl tool cannot make a test certificate");

        sim = std::make_unique<crmsim::Server>();
        QVERIFY(sim->startTls(cert, key));
        QCOMPARE(sim->baseUrl(), QStringLiteral("https://127.0.0.1:%1").arg(sim->port()));
        sim->enqueue("sig999", R::json(R"({"data":{"result_code":"1"}})"));
        QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
        tls.setCaCertificates(QSslCertificate::fromPath(cert));
        const Exchange x = post("sig999", R"({"a":"1"})", {{"dataType", "json"}}, &tls);
        QCOMPARE(x.error, int(QNetworkReply::NoError));
        QCOMPARE(x.body, QByteArray(R"({"data":{"result_code":"1"}})"));
        QCOMPARE(sim->requests().value(0).body, QByteArray(R"({"a":"1"})"));
        QCOMPARE(sim->requests().value(0).header("datatype"), QByteArray("json"));
    }
};

QTEST_MAIN(tst_CrmSim)
#include "tst_CrmSim.moc"
