// One CRM exchange as the operations make it, over a real socket to the simulator:
// the request on the wire byte for byte, the busy screen around it, how each kind of
// reply or failure comes back, and https with certificates the till can and cannot trust.
#include "CrmSim.h"
#include "config/Settings.h"
#include "crm/CrmClient.h"
#include "log/PayLogger.h"
#include "support/Columns.h"
#include "support/TillFixture.h"

#include <QJsonObject>
#include <QProcess>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslSocket>
#include <QtTest>

#include <atomic>

using crmsim::Reply;

Q_DECLARE_METATYPE(crmsim::Reply)
Q_DECLARE_METATYPE(CrmReply::Status)

namespace {

const QString kNetwork = QStringLiteral("网络错误，请再次尝试或联系管理员处理。错误代码: ");

// The busy screen as the server thread sees it when a request arrives.
class BusyWatch : public ScriptedCashier {
public:
    std::atomic<bool> up{false};
    void showBusy(const QString& text) override {
        ScriptedCashier::showBusy(text);
        up = true;
    }
    void hideBusy() override {
        ScriptedCashier::hideBusy();
        up = false;
    }
};

CrmReplyTexts texts() {
    return CrmReplyTexts{"not JSON", "not an object", "no data", "no result code", "<",
                         ">",        "refused",       false};
}

// A till set up for the CRM, and the client of its operations. The logger is made
// after the working directory, whose LOG it writes.
struct Till {
    crmsim::Server crm;
    WorkDir dir;
    BusyWatch cashier;
    PayLogger log{QStringLiteral("ZoVORDA动态库")};
    CrmClient client{cashier, log};
    bool started = crm.start();

    Till() { dir.configureTill(crm.baseUrl()); }
    CrmReply call(const QJsonObject& body = {{"cardno", "会员1"}, {"shop_id", "S01"}}) {
        return client.call("pmb001", "会员验证", body, texts());
    }
    QString url() const { return crm.baseUrl() + "/txCtrl?txcode=pmb001"; }
    // A CRM that never answers the next query, with this time-out set.
    void hangWithTimeOut(const QString& seconds) {
        dir.writeIni("ZoVORDA.ini", {{"Config/TimeOut", seconds}});
        crmsim::Reply hang;
        hang.hang = true;
        crm.enqueue("pmb001", hang);
    }
};

bool openssl(const QString& dir, const QStringList& args, QString& why) {
    QProcess p;
    p.setWorkingDirectory(dir);
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start("openssl", args);
    if (p.waitForFinished(30000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0)
        return true;
    why = "openssl " + args.join(' ') + ": " + QString::fromLocal8Bit(p.readAll());
    return false;
}

// <name>.pem and <name>.key, signed by the authority ca, or by itself when ca is
// empty; an authority when san is empty.
bool makeCertificate(const QString& dir, const QString& name, const QString& san, const QString& ca,
                     QString& why) {
    const QStringList key{"-newkey",    "ec",    "-pkeyopt",    "ec_paramgen_curve:prime256v1",
                          "-nodes",     "-subj", "/CN=" + name, "-keyout",
                          name + ".key"};
    const QStringList ext = san.isEmpty() ? QStringList{"basicConstraints=critical,CA:TRUE",
                                                        "keyUsage=critical,keyCertSign,cRLSign"}
                                          : QStringList{"subjectAltName=" + san, "basicConstraints=CA:FALSE",
                                                        "extendedKeyUsage=serverAuth"};
    if (ca.isEmpty()) {
        QStringList args = QStringList{"req", "-x509", "-days", "2", "-out", name + ".pem"} + key;
        for (const QString& e : ext)
            args << "-addext" << e;
        return openssl(dir, args, why);
    }
    QFile extFile(dir + "/" + name + ".ext");
    if (!extFile.open(QIODevice::WriteOnly) || extFile.write(ext.join('\n').toUtf8()) < 0)
        return false;
    extFile.close();
    return openssl(dir, QStringList{"req", "-new", "-out", name + ".csr"} + key, why) &&
           openssl(dir,
                   {"x509", "-req", "-in", name + ".csr", "-CA", ca + ".pem", "-CAkey", ca + ".key",
                    "-CAcreateserial", "-days", "2", "-out", name + ".pem", "-extfile", name + ".ext"},
                   why);
}

} // namespace

class TestCrmExchange : public QObject {
    Q_OBJECT
private slots:
    void requestGoesOutAsConfiguredUnderTheBusyScreen();
    void headerSettings_data();
    void headerSettings();
    void missingSettingsEndBeforeAnythingIsSent_data();
    void missingSettingsEndBeforeAnythingIsSent();
    void replies_data();
    void replies();
    void timeOutKeepsTheGuiThreadServing();
    void timeOutSetting_data();
    void timeOutSetting();
    void timeOutOutsideItsRangeWaitsTheDefault();
    void https_data();
    void https();
};

void TestCrmExchange::requestGoesOutAsConfiguredUnderTheBusyScreen() {
    Till till;
    QVERIFY(till.started);
    std::atomic<bool> busyAtArrival{false};
    till.crm.setFallback([&](const crmsim::Request&) {
        busyAtArrival = till.cashier.up.load();
        return Reply::json(R"({"data":{"result_code":"1","n":"会员"}})");
    });
    const CrmReply reply = till.call();
    QVERIFY(reply.accepted());
    QCOMPARE(reply.data(), (QVariantMap{{"result_code", "1"}, {"n", "会员"}}));
    QVERIFY(busyAtArrival);
    QCOMPARE(till.cashier.busyShown, 1);
    QVERIFY(!till.cashier.busyUp);

    const crmsim::Request r = till.crm.requests().value(0);
    QCOMPARE(r.method + ' ' + r.target, QByteArray("POST /txCtrl?txcode=pmb001"));
    QCOMPARE(r.body, QByteArray(R"({"cardno":"会员1","shop_id":"S01"})"));
    // Our six headers in this order, among those the toolkit adds around them.
    const QList<QPair<QByteArray, QByteArray>> ours{{"Content-Type", "application/json;charset=utf-8"},
                                                    {"Accept", "application/json"},
                                                    {"Token", "TK-1"},
                                                    {"dataType", "json"},
                                                    {"DeviceId", "POS01"},
                                                    {"CompanyId", "C001"}};
    QList<QPair<QByteArray, QByteArray>> sent;
    for (const auto& h : r.headers) {
        if (std::any_of(ours.begin(), ours.end(), [&h](const auto& o) { return o.first == h.first; }))
            sent.append(h);
    }
    QCOMPARE(sent, ours);
    QCOMPARE(till.dir.logSteps(), (QStringList{"会员验证", "调用成功"}));
    QCOMPARE(till.dir.lastLogText("会员验证"), QString::fromUtf8(r.body));
    QCOMPARE(till.dir.lastLogText("调用成功"), QStringLiteral(R"({"data":{"result_code":"1","n":"会员"}})"));
}

void TestCrmExchange::headerSettings_data() {
    columns<QString, QString, QByteArray, QByteArray>({"key", "value", "target", "token"});
    tableRow("an empty token still goes out, empty", "Config/token", "", QByteArray("/txCtrl?txcode=pmb001"),
             QByteArray(""));
    // A token as a broken CRM might hand it out at sign-in must not become a second header.
    tableRow("line breaks never reach the headers", "Config/token", "a\r\nX-Injected: 1",
             QByteArray("/txCtrl?txcode=pmb001"), QByteArray("aX-Injected: 1"));
    // The address is joined as written, nothing normalised.
    tableRow("an address ending in a slash", "Config/HttpAddress", "%1/crm/",
             QByteArray("/crm//txCtrl?txcode=pmb001"), QByteArray("TK-1"));
}

void TestCrmExchange::headerSettings() {
    QFETCH(QString, key);
    QFETCH(QString, value);
    Till till;
    QVERIFY(till.started);
    till.dir.writeIni("ZoVORDA.ini", {{key, value.replace("%1", till.crm.baseUrl())}});
    till.crm.enqueue("pmb001", Reply::json(R"({"data":{"result_code":"1"}})"));
    QVERIFY(till.call().accepted());
    QCOMPARE(till.crm.requestCount(), 1);
    const crmsim::Request r = till.crm.requests().value(0);
    QTEST(r.target, "target");
    QVERIFY(r.hasHeader("Token"));
    QTEST(r.header("Token"), "token");
    QVERIFY(!r.hasHeader("X-Injected"));
}

// Each missing setting alone is in tst_CrmFaults; here which one is named first, and the log.
void TestCrmExchange::missingSettingsEndBeforeAnythingIsSent_data() {
    columns<QStringList, QString>({"emptied", "error"});
    tableRow("address", QStringList{"Config/HttpAddress", "Config/company_id"},
             QString("未配置VordaCRM地址"));
    tableRow("company before device", QStringList{"Config/company_id", "NAV/pointcode"},
             QString("请求未配置公司ID"));
}

void TestCrmExchange::missingSettingsEndBeforeAnythingIsSent() {
    QFETCH(QStringList, emptied);
    QFETCH(QString, error);
    Till till;
    QVERIFY(till.started);
    for (const QString& key : emptied)
        till.dir.writeIni(key.startsWith("NAV") ? "RVX_Config.ini" : "ZoVORDA.ini", {{key, ""}});
    const CrmReply reply = till.call();
    QCOMPARE(reply.status(), CrmReply::Status::ExchangeFailed);
    QCOMPARE(reply.error(), error);
    QCOMPARE(till.crm.requestCount(), 0);
    QCOMPARE(till.dir.logSteps(), (QStringList{"会员验证", "调用失败"}));
    QCOMPARE(till.dir.lastLogText("调用失败"), error);
}

// Every HTTP status, transport failure and unreadable reply is in tst_CrmFaults, for every
// transaction; here how the exchange reads and logs each kind.
void TestCrmExchange::replies_data() {
    // What came back, the text the exchange logged, and how it was read; "%1" is the URL.
    columns<Reply, CrmReply::Status, QString, QString>({"reply", "status", "error", "logged"});
    const QByteArray refusal = R"({"data":{"result_code":"0","result_msg":"参数错误"}})";
    const auto page = [](int status, const QByteArray& body) {
        Reply r;
        r.status = status;
        r.body = body;
        return r;
    };
    const QString transfer = kNetwork + "%2 Error transferring %1 - server replied: %3";
    tableRow("accepted", Reply::json(R"({"data":{"result_code":1}})"), CrmReply::Status::Accepted, QString(),
             QString(R"({"data":{"result_code":1}})"));
    tableRow("refused in the CRM's words", Reply::json(refusal), CrmReply::Status::Refused,
             QString("<参数错误>"), QString::fromUtf8(refusal));
    // HTTP 400 with a JSON object is the CRM's own refusal; any other body is a network error.
    tableRow("HTTP 400 with the CRM's refusal", Reply::json(refusal, 400), CrmReply::Status::Refused,
             QString("<参数错误>"), QString::fromUtf8(refusal));
    tableRow("HTTP 400 page", page(400, "bad request"), CrmReply::Status::ExchangeFailed,
             transfer.arg("%1", "302", "Bad Request"), QString());
    tableRow("not JSON", Reply::json("<html>busy</html>"), CrmReply::Status::NotJson, QString("not JSON"),
             QString("<html>busy</html>"));
    // Passwords and tokens in a reply, as JSON members or as a proxy's echo of the request's
    // headers, are masked in the log; the operation still reads the reply as sent.
    tableRow("a token and passwords in the reply",
             Reply::json(R"({"data":{"result_code":"1","token":"T-9\"x","Password":123456,"entry_pwd":""}})"),
             CrmReply::Status::Accepted, QString(),
             QString(R"({"data":{"result_code":"1","token":"******","Password":"******","entry_pwd":""}})"));
    // Names compare the Unicode way: the Kelvin sign is a k, the long s an s.
    for (const QString& name : {QString(u8"to\u212Aen"), QString(u8"pa\u017F\u017Fword")}) {
        const QString reply = QString(R"({"data":{"result_code":"1","%1":%2}})");
        tableRow(qPrintable(name), Reply::json(reply.arg(name, "1").toUtf8()), CrmReply::Status::Accepted,
                 QString(), reply.arg(name, "\"******\""));
    }
    tableRow("headers echoed by a proxy", Reply::json("Accept: */*\r\nToken: TK-1\npassword:pw 1"),
             CrmReply::Status::NotJson, QString("not JSON"),
             QString("Accept: */*\nToken: ******\npassword:******"));
    // The text ends at the first NUL byte, as a C string would.
    tableRow("NUL after the reply", Reply::json(QByteArray("{\"data\":{\"result_code\":\"1\"}}\0x", 30)),
             CrmReply::Status::Accepted, QString(), QString(R"({"data":{"result_code":"1"}})"));
    tableRow("NUL before an acceptance", Reply::json(QByteArray(1, '\0') + R"({"data":{"result_code":"1"}})"),
             CrmReply::Status::NotJson, QString("not JSON"), QString(""));
}

void TestCrmExchange::replies() {
    QFETCH(Reply, reply);
    QFETCH(CrmReply::Status, status);
    QFETCH(QString, error);
    QFETCH(QString, logged);
    Till till;
    QVERIFY(till.started);
    till.crm.enqueue("pmb001", reply);
    const CrmReply read = till.call();
    error.replace("%1", till.url());
    QCOMPARE(read.status(), status);
    QCOMPARE(read.error(), error);
    if (status == CrmReply::Status::ExchangeFailed)
        QCOMPARE(till.dir.lastLogText("调用失败"), error);
    else
        QCOMPARE(till.dir.lastLogText("调用成功"), logged);
    QCOMPARE(till.crm.requestCount(), 1);
}

void TestCrmExchange::timeOutKeepsTheGuiThreadServing() {
    Till till;
    QVERIFY(till.started);
    till.hangWithTimeOut("1");
    int ticksUnderTheBusyScreen = 0;
    QTimer ticker;
    connect(&ticker, &QTimer::timeout, [&] { ticksUnderTheBusyScreen += till.cashier.busyUp ? 1 : 0; });
    ticker.start(50);
    const CrmReply reply = till.call();
    QCOMPARE(reply.error(), QStringLiteral("请求超时，请再次尝试或联系管理员处理"));
    QVERIFY(ticksUnderTheBusyScreen > 0);
    QVERIFY(!till.cashier.busyUp);

    // The next exchange is served normally.
    till.crm.stop();
    QCOMPARE(till.call().error(), kNetwork + "1 Connection refused");
}

// Whole seconds from 1 to 300; anything else waits the default 20 s (a text that is no
// whole number always did).
void TestCrmExchange::timeOutSetting_data() {
    columns<QString, int>({"setting", "milliseconds"});
    const QList<QPair<const char*, int>> rows{{"1", 1000},           {"300", 300000}, {"0", 20000},
                                              {"-1", 20000},         {"301", 20000},  {"3000000", 20000},
                                              {"9999999999", 20000}, {"20s", 20000}};
    for (const auto& r : rows)
        QTest::newRow(r.first) << QString(r.first) << r.second;
}

void TestCrmExchange::timeOutSetting() {
    QFETCH(QString, setting);
    WorkDir dir;
    dir.writeIni("ZoVORDA.ini", {{"Config/TimeOut", setting}});
    QTEST(Settings::crm().timeoutMs, "milliseconds");
}

// A time-out of -1 used to switch the time-out off: a CRM that never answered held the till for good.
void TestCrmExchange::timeOutOutsideItsRangeWaitsTheDefault() {
    Till till;
    QVERIFY(till.started);
    till.hangWithTimeOut("-1");
    QCOMPARE(till.call().error(), QStringLiteral("请求超时，请再次尝试或联系管理员处理"));
    QCOMPARE(till.dir.logSteps(), (QStringList{"会员验证", "超时设置无效", "调用失败"}));
    QCOMPARE(till.dir.lastLogText("超时设置无效"), QStringLiteral("TimeOut=-1，按默认20秒处理"));
}

void TestCrmExchange::https_data() {
    columns<QString, QString, QString, QString>({"issuer", "names", "host", "error"});
    const QString refused = kNetwork + "6 SSL handshake failed", names = "IP:127.0.0.1,DNS:localhost";
    tableRow("trusted authority, address by IP", "trusted", names, "127.0.0.1", QString());
    tableRow("trusted authority, address by name", "trusted", names, "localhost", QString());
    tableRow("authority the till does not know", "unknown", names, "127.0.0.1", refused);
    tableRow("certificate of another host", "trusted", "DNS:crm.example.com", "127.0.0.1", refused);
    tableRow("self-signed", "", names, "127.0.0.1", refused);
}

void TestCrmExchange::https() {
    QFETCH(QString, issuer);
    QFETCH(QString, names);
    QFETCH(QString, host);
    QFETCH(QString, error);
    if (!QSslSocket::supportsSsl())
        QSKIP("Qt has no TLS backend here");
    QTemporaryDir certs;
    QString why;
    for (const char* ca : {"trusted", "unknown"})
        QVERIFY2(makeCertificate(certs.path(), ca, QString(), QString(), why), qPrintable(why));
    QVERIFY2(makeCertificate(certs.path(), "crm", names, issuer, why), qPrintable(why));

    Till till;
    till.crm.stop();
    QVERIFY(till.crm.startTls(certs.filePath("crm.pem"), certs.filePath("crm.key")));
    till.dir.writeIni("ZoVORDA.ini",
                      {{"Config/HttpAddress", QString("https://%1:%2").arg(host).arg(till.crm.port())}});
    till.crm.enqueue("pmb001", Reply::json(R"({"data":{"result_code":"1"}})"));
    // The worker builds its requests from the process's default TLS settings: the
    // till's authority is added there, next to the system's own.
    const QSslConfiguration original = QSslConfiguration::defaultConfiguration();
    QSslConfiguration tls = original;
    tls.setCaCertificates(tls.caCertificates() + QSslCertificate::fromPath(certs.filePath("trusted.pem")));
    QSslConfiguration::setDefaultConfiguration(tls);
    const CrmReply reply = till.call();
    QSslConfiguration::setDefaultConfiguration(original);
    QCOMPARE(reply.error(), error);
    QCOMPARE(till.crm.requestCount(), error.isEmpty() ? 1 : 0);
}

QTEST_MAIN(TestCrmExchange)
#include "tst_CrmExchange.moc"
