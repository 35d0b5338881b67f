// The plug-in as a POS host sees it: loaded with QLibrary, called through the two
// C functions, and left behind cleanly when the host exits.
#include "CrmSim.h"
#include "support/CrmReplies.h"
#include "support/Requests.h"
#include "support/WorkDir.h"

#include <QApplication>
#include <QLibrary>
#include <QProcess>
#include <QtTest>

#include <vector>

namespace {

using VipTrans = void (*)(const char*, char*);
using CardTrans = void (*)(const char*, const char*, const char*, void*, char*);

// A host process: loads the plug-in, makes both calls, and ends in the way named.
int runHost(int argc, char** argv) {
    const QString mode = QString::fromLatin1(argv[2]);
    auto* app = new QApplication(argc, argv);
    QLibrary plugin(QStringLiteral(ZOVORDA_PLUGIN_PATH));
    auto vip = reinterpret_cast<VipTrans>(plugin.resolve("ZoVipTrans"));
    auto card = reinterpret_cast<CardTrans>(plugin.resolve("ZoCardTrans"));
    if (!vip || !card)
        return 3;
    std::vector<char> out(64 * 1024);
    vip(R"({"reqtype":"51"})", out.data());
    card("{}", "{}", nullptr, nullptr, out.data());
    if (mode == QLatin1String("unload-first")) {
        plugin.unload();
        delete app;
    } else if (mode == QLatin1String("app-first")) {
        delete app;
        plugin.unload();
    } else { // "exit": the library stays loaded until the process ends
        delete app;
    }
    return 0;
}

} // namespace

class TestPluginHost : public QObject {
    Q_OBJECT
private slots:
    void exportsOnlyTheTwoCalls();
    void memberAndTenderCalls();
    void nullInputsReadAsEmptyTexts();
    void callWhileACallIsRunningIsRefused();
    void teardown_data();
    void teardown();
};

void TestPluginHost::exportsOnlyTheTwoCalls() {
    QProcess nm;
    nm.start("nm", {"-D", "--defined-only", ZOVORDA_PLUGIN_PATH});
    QVERIFY(nm.waitForFinished());
    QStringList ours;
    for (const QByteArray& line : nm.readAllStandardOutput().split('\n')) {
        const QList<QByteArray> parts = line.split(' ');
        if (parts.size() == 3 && parts.at(1) == "T")
            ours.append(QString::fromLatin1(parts.at(2)));
    }
    ours.sort();
    QCOMPARE(ours, (QStringList{"ZoCardTrans", "ZoVipTrans"}));
}

void TestPluginHost::memberAndTenderCalls() {
    crmsim::Server crm;
    QVERIFY(crm.start());
    WorkDir dir;
    dir.configureTill(crm.baseUrl());
    crm.enqueue("pmb001",
                crmsim::Reply::json(CrmReplies::members({CrmReplies::member("M1", "C1", "王五", "139")})));
    crm.enqueue("pmb020", crmsim::Reply::json(CrmReplies::accepted()));

    QLibrary plugin(ZOVORDA_PLUGIN_PATH);
    auto vip = reinterpret_cast<VipTrans>(plugin.resolve("ZoVipTrans"));
    auto card = reinterpret_cast<CardTrans>(plugin.resolve("ZoCardTrans"));
    QVERIFY2(vip && card, qPrintable(plugin.errorString()));

    std::vector<char> out(64 * 1024, 'x');
    vip(Requests::json(Requests::verifyRequest("139")).constData(), out.data());
    QCOMPARE(
        QByteArray(out.data()),
        QByteArray(
            R"({"HasVipRight":"1","JfRecord":[],"address":"深圳市南山区","balance":"0","birthday":"1990-01-01","code":"C1","name":"王五","phone":"139","rtncode":"111111","rtnmsg":"成功","score":"0","type_code":"G1","type_name":"金卡","vipcardid":"M1"})"));

    // A points refund needs no cashier: the host's texts go straight to the CRM.
    QJsonObject head = Requests::tenderHead("J", "REFUND");
    head.insert("oribill_no", "B0");
    head.insert("orisale_no", "S0");
    head.insert("tr_amt", -12.5);
    card(Requests::json(head).constData(), Requests::json(Requests::products()).constData(), "", nullptr,
         out.data());
    QCOMPARE(
        QByteArray(out.data()),
        QByteArray(
            R"({"ActualTotal":"-12.5","AmountTotal":"-12.5","CardNo":"","MchOrderNo":"","OtherInfo":"","RtnCode":"111111","RtnMsg":"交易成功"})"));
    QCOMPARE(
        crm.requests().value(1).body,
        QByteArray(
            R"({"member_id":"M0001","order_id":"B0001","score_cash":"12.50","shop_id":"S01","sorder_id":"B0","type":"-1"})"));
    // The log of this call sits in the host's working directory.
    QVERIFY(dir.logSteps().contains("返回结果"));
}

void TestPluginHost::nullInputsReadAsEmptyTexts() {
    WorkDir dir;
    QLibrary plugin(ZOVORDA_PLUGIN_PATH);
    auto vip = reinterpret_cast<VipTrans>(plugin.resolve("ZoVipTrans"));
    auto card = reinterpret_cast<CardTrans>(plugin.resolve("ZoCardTrans"));
    QVERIFY(vip && card);
    std::vector<char> out(1024);
    vip(nullptr, out.data());
    QCOMPARE(QByteArray(out.data()), QByteArray(R"({"rtncode":"000000","rtnmsg":"TranVipIn参数解析错误"})"));
    card(nullptr, nullptr, nullptr, nullptr, out.data());
    QCOMPARE(
        QByteArray(out.data()),
        QByteArray(
            R"({"ActualTotal":"0","AmountTotal":"0","CardNo":"","MchOrderNo":"","OtherInfo":"","RtnCode":"000000","RtnMsg":"TranHead解析错误"})"));
}

void TestPluginHost::callWhileACallIsRunningIsRefused() {
    WorkDir dir;
    QLibrary plugin(ZOVORDA_PLUGIN_PATH);
    auto vip = reinterpret_cast<VipTrans>(plugin.resolve("ZoVipTrans"));
    auto card = reinterpret_cast<CardTrans>(plugin.resolve("ZoCardTrans"));
    QVERIFY(vip && card);
    // While the management screen of the first call is open, a host timer fires
    // both calls; then the cashier leaves the screen.
    QByteArray second, third;
    QTimer::singleShot(100, [&] {
        std::vector<char> out(1024);
        vip(R"({"reqtype":"50"})", out.data());
        second = out.data();
        card("{}", "{}", "", nullptr, out.data());
        third = out.data();
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (w->objectName() == "MemberManage" && w->isVisible())
                QTest::keyClick(w, Qt::Key_Escape);
        }
    });
    std::vector<char> out(1024);
    vip(R"({"reqtype":"78","store_id":"0101"})", out.data());
    QCOMPARE(QByteArray(out.data()), QByteArray(R"({"rtncode":"000000","rtnmsg":"CLOSE"})"));
    QCOMPARE(second, QByteArray(R"({"rtncode":"000000","rtnmsg":"上一笔交易尚未结束，请稍后再试"})"));
    QCOMPARE(
        third,
        QByteArray(
            R"({"ActualTotal":"0","AmountTotal":"0","CardNo":"","MchOrderNo":"","OtherInfo":"","RtnCode":"000000","RtnMsg":"上一笔交易尚未结束，请稍后再试"})"));
    // The next call is served normally.
    vip(R"({"reqtype":"51"})", out.data());
    QCOMPARE(QByteArray(out.data()), QByteArray(R"({"rtncode":"000000","rtnmsg":"交易类型错误"})"));
}

void TestPluginHost::teardown_data() {
    QTest::addColumn<QString>("mode");
    QTest::newRow("unload, then application gone") << "unload-first";
    QTest::newRow("application gone, then unload") << "app-first";
    QTest::newRow("process exit without unload") << "exit";
}

void TestPluginHost::teardown() {
    QFETCH(QString, mode);
    WorkDir dir;
    QProcess host;
    host.start(QCoreApplication::applicationFilePath(), {"--host", mode});
    QVERIFY(host.waitForFinished(30000));
    const QString err = QString::fromUtf8(host.readAllStandardError());
    QCOMPARE(host.exitStatus(), QProcess::NormalExit);
    QCOMPARE(host.exitCode(), 0);
    // Nothing about widgets or objects outliving the application, no assertion.
    for (const QString& line : err.split('\n', Qt::SkipEmptyParts)) {
        if (line.startsWith("This plugin does not support") || line.startsWith("QStandardPaths:"))
            continue;
        QFAIL(qPrintable("host said: " + line));
    }
}

int main(int argc, char** argv) {
    if (argc > 2 && qstrcmp(argv[1], "--host") == 0)
        return runHost(argc, argv);
    QApplication app(argc, argv);
    TestPluginHost test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_PluginHost.moc"
