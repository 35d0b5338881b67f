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

#include <cstdio>
#include <thread>
#include <vector>

namespace {

const QByteArray kTenderHead =
    R"({"ActualTotal":"0","AmountTotal":"0","CardNo":"","MchOrderNo":"","OtherInfo":"",)";

// The plug-in's two calls as a host resolves them.
struct Plugin {
    QLibrary library{QStringLiteral(ZOVORDA_PLUGIN_PATH)};
    void (*vipTrans)(const char*, char*) = nullptr;
    void (*cardTrans)(const char*, const char*, const char*, void*, char*) = nullptr;
    std::vector<char> out = std::vector<char>(64 * 1024);

    Plugin() {
        vipTrans = reinterpret_cast<decltype(vipTrans)>(library.resolve("ZoVipTrans"));
        cardTrans = reinterpret_cast<decltype(cardTrans)>(library.resolve("ZoCardTrans"));
    }
    bool loaded() const { return vipTrans && cardTrans; }
    QByteArray vip(const char* in) {
        vipTrans(in, out.data());
        return out.data();
    }
    QByteArray card(const char* head, const char* plu, const char* udp) {
        cardTrans(head, plu, udp, nullptr, out.data());
        return out.data();
    }
};

// A host process: loads the plug-in, makes both calls, and ends in the way named; or,
// "before-app", settles an order before it has made its QApplication and prints the answer.
int runHost(int argc, char** argv) {
    const QByteArray mode = argv[2];
    if (mode == "before-app") {
        Plugin plugin;
        if (!plugin.loaded())
            return 3;
        std::fputs(plugin.vip(Requests::json(Requests::settleRequest()).constData()).constData(), stdout);
        return 0;
    }
    auto* app = new QApplication(argc, argv);
    Plugin plugin;
    if (!plugin.loaded())
        return 3;
    plugin.vip(R"({"reqtype":"51"})");
    plugin.card("{}", "{}", nullptr);
    if (mode == "unload-first") {
        plugin.library.unload();
        delete app;
    } else if (mode == "app-first") {
        delete app;
        plugin.library.unload();
    } else { // "exit": the library stays loaded until the process ends
        delete app;
    }
    return 0;
}

} // namespace

// One working directory and CRM for the whole run, as a host has: the plug-in's log
// stays in the directory its first call was made in.
class TestPluginHost : public QObject {
    Q_OBJECT
    crmsim::Server m_crm;
    std::unique_ptr<WorkDir> m_dir;

private slots:
    void initTestCase() {
        QVERIFY(m_crm.start());
        m_dir = std::make_unique<WorkDir>();
        m_dir->configureTill(m_crm.baseUrl());
    }
    void exportsOnlyTheTwoCalls();
    void memberAndTenderCalls();
    void resultNeverOverrunsTheHostsBuffer();
    void nullInputsReadAsEmptyTexts();
    void callWhileACallIsRunningIsRefused();
    void callBeforeTheApplicationIsRefused();
    void callFromAnotherThreadIsRefused();
    void callWithoutBufferIsRefused();
    void teardown_data();
    void teardown();

    // The answer to a call refused before anything else happened, in the member form and the tender form.
    static QByteArray refusedMember(const QString& message) {
        return QStringLiteral(R"({"rtncode":"000000","rtnmsg":"%1"})").arg(message).toUtf8();
    }
    static QByteArray refusedTender(const QString& message) {
        return kTenderHead + QStringLiteral(R"("RtnCode":"000000","RtnMsg":"%1"})").arg(message).toUtf8();
    }
    // The last n records of the log, each as "step: text".
    QStringList lastLogged(int n) const {
        QStringList records;
        for (const LogRecord& r : m_dir->logRecords())
            records.append(r.step + ": " + r.text);
        return records.mid(records.size() - n);
    }
    // What a refused member call and a refused tender call log, one after the other.
    static QStringList refusalLogged(const QString& message) {
        return {"调用被拒绝: " + message, "返回结果: " + QString::fromUtf8(refusedMember(message)),
                "调用被拒绝: " + message, "返回结果: " + QString::fromUtf8(refusedTender(message))};
    }
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
    m_crm.enqueue("pmb001",
                  crmsim::Reply::json(CrmReplies::members({CrmReplies::member("M1", "C1", "王五", "139")})));
    m_crm.enqueue("pmb020", crmsim::Reply::json(CrmReplies::accepted()));
    Plugin plugin;
    QVERIFY2(plugin.loaded(), qPrintable(plugin.library.errorString()));

    QCOMPARE(plugin.vip(Requests::json(Requests::verifyRequest("139")).constData()),
             QByteArray(
                 R"({"HasVipRight":"1","JfRecord":[],"address":"深圳市南山区","balance":"0","birthday":)"
                 R"("1990-01-01","code":"C1","name":"王五","phone":"139","rtncode":"111111","rtnmsg":"成功",)"
                 R"("score":"0","type_code":"G1","type_name":"金卡","vipcardid":"M1"})"));
    // A points refund needs no cashier: the host's texts go straight to the CRM.
    QJsonObject head = Requests::tenderHead("J", "REFUND");
    head.insert("oribill_no", "B0");
    head.insert("orisale_no", "S0");
    head.insert("tr_amt", -12.5);
    QCOMPARE(
        plugin.card(Requests::json(head).constData(), Requests::json(Requests::products()).constData(), ""),
        QByteArray(R"({"ActualTotal":"-12.5","AmountTotal":"-12.5","CardNo":"","MchOrderNo":"",)"
                   R"("OtherInfo":"","RtnCode":"111111","RtnMsg":"交易成功"})"));
    QCOMPARE(m_crm.requests().value(1).body,
             QByteArray(R"({"member_id":"M0001","order_id":"B0001","score_cash":"12.50","shop_id":"S01",)"
                        R"("sorder_id":"B0","type":"-1"})"));
    // The log of these calls sits in the host's working directory.
    QCOMPARE(m_dir->logSteps().count("返回结果"), 2);
}

void TestPluginHost::resultNeverOverrunsTheHostsBuffer() {
    // A member with so many point accounts that the result would not fit in 64 KiB.
    QJsonArray accounts;
    for (int i = 0; i < 1000; ++i)
        accounts.append(CrmReplies::account(QString::number(i), i, i));
    m_crm.enqueue("pmb001", crmsim::Reply::json(CrmReplies::members(
                                {CrmReplies::member("M1", "C1", "王五", "139", accounts)})));
    Plugin plugin;
    QVERIFY(plugin.loaded());
    plugin.out.assign(64 * 1024 + 64, 'x');
    QCOMPARE(plugin.vip(Requests::json(Requests::verifyRequest("139")).constData()),
             QByteArray(R"({"rtncode":"000000","rtnmsg":"返回结果过长"})"));
    QVERIFY(std::all_of(plugin.out.begin() + 64 * 1024, plugin.out.end(), [](char c) { return c == 'x'; }));
    // The whole result is logged before the short one.
    const QList<LogRecord> log = m_dir->logRecords();
    QVERIFY(log.value(log.size() - 2).text.size() > 64 * 1024);
    QCOMPARE(log.value(log.size() - 2).step, QStringLiteral("返回结果"));
}

void TestPluginHost::nullInputsReadAsEmptyTexts() {
    Plugin plugin;
    QVERIFY(plugin.loaded());
    QCOMPARE(plugin.vip(nullptr), QByteArray(R"({"rtncode":"000000","rtnmsg":"TranVipIn参数解析错误"})"));
    QCOMPARE(plugin.card(nullptr, nullptr, nullptr),
             kTenderHead + R"("RtnCode":"000000","RtnMsg":"TranHead解析错误"})");
}

void TestPluginHost::callWhileACallIsRunningIsRefused() {
    Plugin plugin;
    QVERIFY(plugin.loaded());
    // While the management screen of the first call is open, a host timer fires
    // both calls; then the cashier leaves the screen.
    QByteArray second, third;
    QTimer::singleShot(100, [&] {
        Plugin timer;
        second = timer.vip(R"({"reqtype":"50"})");
        third = timer.card("{}", "{}", "");
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (w->objectName() == "MemberManage" && w->isVisible())
                QTest::keyClick(w, Qt::Key_Escape);
        }
    });
    QCOMPARE(plugin.vip(R"({"reqtype":"78","store_id":"0101"})"),
             QByteArray(R"({"rtncode":"000000","rtnmsg":"CLOSE"})"));
    QCOMPARE(second, QByteArray(R"({"rtncode":"000000","rtnmsg":"上一笔交易尚未结束，请稍后再试"})"));
    QCOMPARE(third, kTenderHead + R"("RtnCode":"000000","RtnMsg":"上一笔交易尚未结束，请稍后再试"})");
    QCOMPARE(m_dir->lastLogText("重复调用"), QStringLiteral("上一笔交易尚未结束，请稍后再试"));
    // The next call is served normally.
    QCOMPARE(plugin.vip(R"({"reqtype":"51"})"),
             QByteArray(R"({"rtncode":"000000","rtnmsg":"交易类型错误"})"));
}

void TestPluginHost::callBeforeTheApplicationIsRefused() {
    WorkDir dir;
    QProcess host;
    host.start(QCoreApplication::applicationFilePath(), {"--host", "before-app"});
    QVERIFY(host.waitForFinished(30000));
    QCOMPARE(host.exitStatus(), QProcess::NormalExit);
    QCOMPARE(host.exitCode(), 0);
    const QString message = "插件须在主程序创建QApplication之后调用";
    QCOMPARE(host.readAllStandardOutput(), refusedMember(message));
    QCOMPARE(dir.logSteps(), (QStringList{"调用被拒绝", "返回结果"}));
    QCOMPARE(dir.lastLogText("调用被拒绝"), message);
}

// A settlement and a points refund, each of which would go to the CRM at once.
const QByteArray kSettlement = Requests::json(Requests::settleRequest());
const QByteArray kRefundHead = Requests::json(Requests::with(
    Requests::with(Requests::tenderHead("J", "REFUND"), "oribill_no", "B0"), "orisale_no", "S0"));
const QByteArray kProducts = Requests::json(Requests::products());

void TestPluginHost::callFromAnotherThreadIsRefused() {
    m_crm.clearRequests();
    Plugin plugin;
    QVERIFY(plugin.loaded());
    QByteArray member, tender;
    std::thread caller([&] {
        member = plugin.vip(kSettlement.constData());
        tender = plugin.card(kRefundHead.constData(), kProducts.constData(), "");
    });
    caller.join();
    const QString message = "插件须在主程序界面线程中调用";
    QCOMPARE(member, refusedMember(message));
    QCOMPARE(tender, refusedTender(message));
    QCOMPARE(m_crm.requestCount(), 0);
    QCOMPARE(lastLogged(4), refusalLogged(message));
}

void TestPluginHost::callWithoutBufferIsRefused() {
    m_crm.clearRequests();
    Plugin plugin;
    QVERIFY(plugin.loaded());
    plugin.vipTrans(kSettlement.constData(), nullptr);
    plugin.cardTrans(kRefundHead.constData(), kProducts.constData(), "", nullptr, nullptr);
    QCOMPARE(m_crm.requestCount(), 0);
    const QString message = "插件调用未提供返回结果缓冲区";
    QCOMPARE(lastLogged(4), refusalLogged(message));
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
        if (!line.startsWith("This plugin does not support") && !line.startsWith("QStandardPaths:"))
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
