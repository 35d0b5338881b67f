// One CRM exchange over a real socket: address, headers, time-out and failure texts.
#include "CrmSim.h"
#include "core/ZoVORDACtl.h"
#include "support/WorkDir.h"

#include <QElapsedTimer>
#include <QtTest>

using crmsim::Reply;

class TestCrmExchange : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void requestGoesOutAsConfigured();
    void addressEndingInSlashIsKept();
    void emptyTokenIsStillSent();
    void lineBreaksNeverReachTheHeaders();
    void missingSettings_data();
    void missingSettings();
    void timeOutKeepsTheGuiAlive();
    void replies_data();
    void replies();
    void connectionRefused();

private:
    bool call(const QString& txcode, const QString& body, QString& reply, QString& error);
    crmsim::Server* m_crm = nullptr;
    WorkDir* m_dir = nullptr;
    ZoVORDACtl* m_ctl = nullptr;
};

void TestCrmExchange::init() {
    m_crm = new crmsim::Server;
    QVERIFY(m_crm->start());
    m_dir = new WorkDir;
    m_dir->configureTill(m_crm->baseUrl());
    m_ctl = new ZoVORDACtl;
}

void TestCrmExchange::cleanup() {
    delete m_ctl;
    delete m_dir;
    delete m_crm;
}

bool TestCrmExchange::call(const QString& txcode, const QString& body, QString& reply, QString& error) {
    return m_ctl->CallCrm(txcode, body, reply, error);
}

void TestCrmExchange::requestGoesOutAsConfigured() {
    m_crm->enqueue("pmb001", Reply::json(R"({"data":{"result_code":"1"}})"));
    QString reply, error = "untouched";
    const QString body = QStringLiteral(R"({"cardno":"会员1","shop_id":"S01"})");
    QVERIFY(call("pmb001", body, reply, error));
    QCOMPARE(reply, QStringLiteral(R"({"data":{"result_code":"1"}})"));
    QCOMPARE(error, QStringLiteral("untouched"));

    const crmsim::Request r = m_crm->requests().value(0);
    QCOMPARE(r.method, QByteArray("POST"));
    QCOMPARE(r.target, QByteArray("/txCtrl?txcode=pmb001"));
    QCOMPARE(r.body, body.toUtf8());
    QCOMPARE(r.header("Content-Type"), QByteArray("application/json;charset=utf-8"));
    QCOMPARE(r.header("Accept"), QByteArray("application/json"));
    QCOMPARE(r.header("Token"), QByteArray("TK-1"));
    QCOMPARE(r.header("dataType"), QByteArray("json"));
    QCOMPARE(r.header("DeviceId"), QByteArray("POS01"));
    QCOMPARE(r.header("CompanyId"), QByteArray("C001"));
    // Our six headers go out in this order (the toolkit adds its own around them).
    QList<QByteArray> ours;
    for (const auto& h : r.headers) {
        if (QList<QByteArray>{"Content-Type", "Accept", "Token", "dataType", "DeviceId", "CompanyId"}
                .contains(h.first))
            ours.append(h.first);
    }
    QCOMPARE(ours,
             (QList<QByteArray>{"Content-Type", "Accept", "Token", "dataType", "DeviceId", "CompanyId"}));

    const QList<LogRecord> log = m_dir->logRecords();
    QCOMPARE(log.size(), 1);
    QCOMPARE(log.at(0).step, QStringLiteral("调用成功"));
    QCOMPARE(log.at(0).text, reply);
}

void TestCrmExchange::addressEndingInSlashIsKept() {
    m_dir->writeIni("ZoVORDA.ini", {{"Config/HttpAddress", m_crm->baseUrl() + "/crm/"}});
    m_crm->setFallback([](const crmsim::Request&) { return Reply::json(R"({"ok":1})"); });
    QString reply, error;
    QVERIFY(call("sig999", "{}", reply, error));
    // The client folds "//" on the wire; the error text of a failure would still show it.
    QVERIFY(m_crm->requests().value(0).target.endsWith("/txCtrl?txcode=sig999"));
    QVERIFY(m_crm->requests().value(0).target.startsWith("/crm/"));
}

void TestCrmExchange::emptyTokenIsStillSent() {
    m_dir->writeIni("ZoVORDA.ini", {{"Config/token", ""}});
    m_crm->enqueue("pmb001", Reply::json("{}"));
    QString reply, error;
    QVERIFY(call("pmb001", "{}", reply, error));
    const crmsim::Request r = m_crm->requests().value(0);
    QVERIFY(r.hasHeader("Token"));
    QCOMPARE(r.header("Token"), QByteArray());
}

void TestCrmExchange::lineBreaksNeverReachTheHeaders() {
    // A token as a hostile or broken CRM might hand it out at sign-in.
    m_dir->writeIni("ZoVORDA.ini", {{"Config/token", "a\r\nX-Injected: 1"}});
    m_crm->enqueue("pmb001", Reply::json("{}"));
    QString reply, error;
    QVERIFY(call("pmb001", "{}", reply, error));
    const crmsim::Request r = m_crm->requests().value(0);
    QCOMPARE(r.header("Token"), QByteArray("aX-Injected: 1"));
    QVERIFY(!r.hasHeader("X-Injected"));
    QCOMPARE(m_crm->requestCount(), 1);
}

void TestCrmExchange::missingSettings_data() {
    QTest::addColumn<QStringList>("emptied");
    QTest::addColumn<QString>("error");
    QTest::newRow("address") << QStringList{"Config/HttpAddress", "Config/company_id"}
                             << "未配置VordaCRM地址";
    QTest::newRow("company before device")
        << QStringList{"Config/company_id", "NAV/pointcode"} << "请求未配置公司ID";
    QTest::newRow("device") << QStringList{"NAV/pointcode"} << "请求未配置设备编码";
}

void TestCrmExchange::missingSettings() {
    QFETCH(QStringList, emptied);
    QFETCH(QString, error);
    for (const QString& key : emptied)
        m_dir->writeIni(key.startsWith("NAV") ? "RVX_Config.ini" : "ZoVORDA.ini", {{key, ""}});
    QString reply = "untouched", text;
    QVERIFY(!call("pmb001", "{}", reply, text));
    QCOMPARE(text, error);
    QCOMPARE(reply, QStringLiteral("untouched"));
    QCOMPARE(m_crm->requestCount(), 0);
    QCOMPARE(m_dir->lastLogText("调用失败"), error);
}

void TestCrmExchange::timeOutKeepsTheGuiAlive() {
    m_dir->writeIni("ZoVORDA.ini", {{"Config/TimeOut", "1"}});
    Reply hang;
    hang.hang = true;
    m_crm->enqueue("pmb020", hang);
    int ticks = 0;
    QTimer ticker;
    connect(&ticker, &QTimer::timeout, [&ticks] { ++ticks; });
    ticker.start(50);
    QElapsedTimer clock;
    clock.start();
    QString reply, error;
    QVERIFY(!call("pmb020", "{}", reply, error));
    const qint64 elapsed = clock.elapsed();
    QCOMPARE(error, QStringLiteral("请求超时，请再次尝试或联系管理员处理"));
    QVERIFY2(elapsed >= 1000 && elapsed < 3000, qPrintable(QString::number(elapsed)));
    // The GUI thread kept serving its timers while the worker waited.
    QVERIFY2(ticks >= 10, qPrintable(QString::number(ticks)));
}

void TestCrmExchange::replies_data() {
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QString>("text");
    QTest::newRow("200 json") << 200 << QByteArray(R"({"a":1})") << true << R"({"a":1})";
    QTest::newRow("200 not json") << 200 << QByteArray("<html>busy</html>") << true << "<html>busy</html>";
    QTest::newRow("200 empty") << 200 << QByteArray() << true << "";
    QTest::newRow("NUL cuts the text") << 200 << QByteArray("{\"a\":1}\0garbage", 15) << true << R"({"a":1})";
    QTest::newRow("UTF-8") << 200 << QByteArray("{\"m\":\"会员\"}") << true << "{\"m\":\"会员\"}";
    QTest::newRow("400 with CRM refusal")
        << 400 << QByteArray(R"({"data":{"result_code":"0","result_msg":"参数错误"}})") << true
        << R"({"data":{"result_code":"0","result_msg":"参数错误"}})";
    QTest::newRow("400 page") << 400 << QByteArray("bad request") << false
                              << "网络错误，请再次尝试或联系管理员处理。错误代码: 302 ";
    QTest::newRow("404") << 404 << QByteArray("nope") << false
                         << "网络错误，请再次尝试或联系管理员处理。错误代码: 203 ";
    QTest::newRow("500") << 500 << QByteArray("boom") << false
                         << "网络错误，请再次尝试或联系管理员处理。错误代码: 401 ";
}

void TestCrmExchange::replies() {
    QFETCH(int, status);
    QFETCH(QByteArray, body);
    QFETCH(bool, ok);
    QFETCH(QString, text);
    m_crm->enqueue("pmb010", Reply::json(body, status));
    QString reply, error;
    QCOMPARE(call("pmb010", "{}", reply, error), ok);
    if (ok) {
        QCOMPARE(reply, text);
        QVERIFY(error.isEmpty());
    } else {
        // The code is followed by the toolkit's own error string, which names the URL.
        QVERIFY2(error.startsWith(text), qPrintable(error));
        QVERIFY2(error.size() > text.size(), qPrintable(error));
        QVERIFY2(error.contains(m_crm->baseUrl() + "/txCtrl?txcode=pmb010"), qPrintable(error));
        QCOMPARE(m_dir->lastLogText("调用失败"), error);
    }
}

void TestCrmExchange::connectionRefused() {
    m_crm->stop();
    QString reply, error;
    QVERIFY(!call("pmb001", "{}", reply, error));
    QVERIFY2(error.startsWith("网络错误，请再次尝试或联系管理员处理。错误代码: 1 "), qPrintable(error));
    QVERIFY(reply.isEmpty());
}

QTEST_MAIN(TestCrmExchange)
#include "tst_CrmExchange.moc"
