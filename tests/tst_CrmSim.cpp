// The CRM simulator as a client sees it: every check goes through Qt's HTTP client
// over a real socket, the way the plug-in talks to the CRM.

#include "CrmSim.h"

#include <QtNetwork>
#include <QtTest>

#include <memory>

using Headers = QList<QPair<QByteArray, QByteArray>>;
using R = crmsim::Reply;

namespace {
struct Exchange {
    int error = -1, status = 0;
    QByteArray body, contentType;
};
} // namespace

class tst_CrmSim : public QObject {
    Q_OBJECT

    std::unique_ptr<crmsim::Server> sim;
    std::unique_ptr<QNetworkAccessManager> nam;

    Exchange post(const QByteArray& txcode, const QByteArray& body, const Headers& headers = {}) {
        QNetworkRequest req(QUrl(sim->baseUrl() + "/txCtrl?txcode=" + QString::fromUtf8(txcode)));
        req.setHeader(QNetworkRequest::ContentTypeHeader, QByteArray("application/json"));
        for (const auto& h : headers)
            req.setRawHeader(h.first, h.second);
        QNetworkReply* reply = nam->post(req, body);
        QSignalSpy(reply, &QNetworkReply::finished).wait(15000);
        reply->deleteLater();
        if (!reply->isFinished())
            return {};
        return {reply->error(), reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(),
                reply->readAll(), reply->rawHeader("Content-Type")};
    }

private slots:
    void init() {
        sim = std::make_unique<crmsim::Server>();
        QVERIFY(sim->start());
        QVERIFY(sim->port() > 0);
        QCOMPARE(sim->baseUrl(), QStringLiteral("http://127.0.0.1:%1").arg(sim->port()));
        nam = std::make_unique<QNetworkAccessManager>();
    }

    // How each kind of reply meets the plug-in's own client is in tst_CrmExchange and
    // tst_CrmFaults; here what only the simulator promises.
    void scriptedReplyIsSentByteForByte() {
        const QByteArray nul("{\"data\":{}}\0tail", 15);
        R reply = R::json(nul, 201);
        reply.headers = {{"X-Crm", "1"}};
        sim->enqueue("pmb001", reply);
        QNetworkRequest req(QUrl(sim->baseUrl() + "/txCtrl?txcode=pmb001"));
        std::unique_ptr<QNetworkReply> r(nam->post(req, QByteArray("{}")));
        QVERIFY(QSignalSpy(r.get(), &QNetworkReply::finished).wait(15000));
        QCOMPARE(r->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(), 201);
        QCOMPARE(r->rawHeader("X-Crm"), QByteArray("1"));
        QCOMPARE(r->readAll(), nul);
        QCOMPARE(sim->queued("pmb001"), 0);
    }

    void stopReleasesAHangingReply() {
        R hang = R::json("{}");
        hang.hang = true;
        sim->enqueue("pmb001", hang);
        QTimer::singleShot(300, this, [this] { sim->stop(); });
        const Exchange x = post("pmb001", "{}");
        // Qt's resend after the hang-up finds nobody listening.
        QCOMPARE(x.error, int(QNetworkReply::ConnectionRefusedError));
        QVERIFY(!sim->isRunning());
        QCOMPARE(sim->requestCount(), 1);
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
};

QTEST_MAIN(tst_CrmSim)
#include "tst_CrmSim.moc"
