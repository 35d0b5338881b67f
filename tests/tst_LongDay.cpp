// A long day at one till: thousands of mixed member and tender calls through the
// result frame, in one process, against a CRM that answers every transaction. Each
// answer must stay exactly what it was the first time, and the plug-in must give
// back after every call the threads and descriptors it took, and not grow in memory.
// ZOVORDA_LONGDAY_CALLS raises the number of calls (default 2000) for a soak run.
#include "CrmSim.h"
#include "api/ResultFrame.h"
#include "core/ZoVORDACtl.h"
#include "support/CashierRobot.h"
#include "support/CrmReplies.h"
#include "support/Requests.h"
#include "support/WorkDir.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QtTest>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using crmsim::Reply;

namespace {

// The CRM of this day: it knows one member, accepts password 123456, refuses the
// order B-REFUSED, breaks down (HTTP 500) for the order B-500 and accepts the rest.
Reply answer(const crmsim::Request& r) {
    const QJsonObject in = QJsonDocument::fromJson(r.body).object();
    if (r.txcode == "pmb001") {
        if (in.value("cardno").toString() == "00000000")
            return Reply::json(CrmReplies::refused("会员不存在"));
        return Reply::json(CrmReplies::members({CrmReplies::member("M0001", "C0001", "张三", "13800000001",
                                                                   {CrmReplies::account("A1", 300, 30)})}));
    }
    if (r.txcode == "pmb002")
        return Reply::json(in.value("password").toString() == "123456" ? CrmReplies::accepted()
                                                                       : CrmReplies::refused("密码错误"));
    if (r.txcode == "pmb021") {
        if (in.value("order_id").toString() == "B-REFUSED")
            return Reply::json(CrmReplies::refused("订单重复"));
        const QJsonObject coupon{{"ticket_name", "满100减20"}, {"ticket_value", "20"},
                                 {"coupon_no", "Q9"},          {"begin_date", "2026-01-01"},
                                 {"end_date", "2026-12-31"},   {"remark", "限本店使用"}};
        return Reply::json(CrmReplies::accepted(
            {{"score", "12"}, {"score_value", "312"}, {"couponInfo", QJsonArray{coupon}}}));
    }
    if (r.txcode == "pmb020") {
        if (in.value("order_id").toString() == "B-500")
            return Reply::json("{}", 500);
        return Reply::json(CrmReplies::accepted());
    }
    if (r.txcode == "pmb010")
        return Reply::json(CrmReplies::accepted({{"couponInfo", QJsonObject{{"ticket_name", "满100减20"}}}}));
    QJsonArray coupons;
    for (const QJsonValue& c : in.value("coupon_list").toArray()) {
        const QString no = c.toObject().value("coupon_no").toString();
        coupons.append(r.txcode == "pmb011"
                           ? QJsonObject{{"coupon_no", no}, {"useflag", "1"}, {"pay_value", 20}}
                           : QJsonObject{{"coupon_no", no}, {"payflow", "PF-" + no}});
    }
    return Reply::json(CrmReplies::accepted({{"coupon_list", coupons}}));
}

enum Kind {
    Verify,
    VerifyUnknown,
    VerifyWithPassword,
    Settle,
    SettleRefused,
    PointsSale,
    CouponSale,
    PointsRefund,
    PointsRefundCrmDown,
    CouponRefund,
    Cancel,
    KindCount
};

const char* const kKindNames[] = {"verification",  "unknown member", "verification with password",
                                  "settlement",    "refused order",  "points sale",
                                  "coupon sale",   "points refund",  "points refund, CRM broken",
                                  "coupon refund", "cancel"};

QJsonObject settleRequest(const QString& billNo) {
    return QJsonObject{
        {"reqtype", "63"},
        {"store_id", "0101"},
        {"station_id", "01"},
        {"operator_id", "8001"},
        {"business_date", "2026-12-06"},
        {"pos_saleno", "S1"},
        {"pos_billno", billNo},
        {"pos_salebgntime", "2026-12-06 10:00:00"},
        {"code", "C0001"},
        {"vipcardid", "M0001"},
        {"sale_type", "sale"},
        {"amount", 88.5},
        {"biztype", "1"},
        {"plucounttotal", "3"},
        {"shouldtotal", "90"},
        {"actualtotal", "88.5"},
        {"products", QJsonArray{Requests::productLine("1001", 30, 3)}},
        {"pays", QJsonArray{QJsonObject{{"code", "01"}, {"pay_amount", 88.5}, {"zf_amount", 90}}}}};
}

QByteArray card(ZoVORDACtl& ctl, QJsonObject head, const QJsonObject& udp = {}) {
    if (head.value("pay_type") == "Q")
        head.insert("pay_code", "41");
    const QByteArray h = Requests::json(head), p = Requests::json(Requests::products()),
                     u = udp.isEmpty() ? QByteArray() : Requests::json(udp);
    return ResultFrame::CardTrans(ctl, h.constData(), p.constData(), u.constData());
}

QByteArray vip(ZoVORDACtl& ctl, const QJsonObject& in) {
    return ResultFrame::VipTrans(ctl, Requests::json(in).constData());
}

QByteArray runCall(ZoVORDACtl& ctl, Kind kind, CashierRobot& robot) {
    switch (kind) {
    case Verify:
        return vip(ctl, Requests::verifyRequest());
    case VerifyUnknown:
        return vip(ctl, Requests::verifyRequest("00000000"));
    case VerifyWithPassword:
        robot.when("MemberLogin", CashierRobot::typeAndEnter("123456"));
        return vip(ctl, Requests::verifyRequest("13800000001", "3"));
    case Settle:
        return vip(ctl, settleRequest("B1"));
    case SettleRefused:
        return vip(ctl, settleRequest("B-REFUSED"));
    case PointsSale:
        robot.when("MemberLogin", CashierRobot::typeAndEnter("123456"))
            .when("JFPayWidget", CashierRobot::typeAndEnter("5"));
        return card(ctl, Requests::tenderHead("J", "SALE"));
    case CouponSale:
        robot.when("CouponWidget", CashierRobot::sequence(
                                       {CashierRobot::typeAndEnter("Q1"), CashierRobot::press(Qt::Key_F2)}));
        return card(ctl, Requests::tenderHead("Q", "SALE"));
    case PointsRefund:
    case PointsRefundCrmDown: {
        QJsonObject head = Requests::tenderHead("J", "REFUND");
        head.insert("oribill_no", "OB7");
        head.insert("orisale_no", "OS7");
        if (kind == PointsRefundCrmDown)
            head.insert("bill_no", "B-500");
        return card(ctl, head);
    }
    case CouponRefund: {
        const auto line = [](const char* code, double amount, const char* payno, const char* serial) {
            return QJsonObject{{"code", code},
                               {"name", "付款"},
                               {"pay_amt", amount},
                               {"payno", payno},
                               {"extranno", serial}};
        };
        QJsonObject head = Requests::tenderHead("Q", "REFUND");
        head.insert("oribill_no", "OB7");
        head.insert("orisale_no", "OS7");
        return card(ctl, head,
                    {{"pays", QJsonArray{line("01", 80, "", ""), line("41", 20, "Q1", "PF-Q1")}},
                     {"paysnow", QJsonArray{}}});
    }
    case Cancel:
        return card(ctl, Requests::tenderHead("J", "CANCEL"));
    default:
        return QByteArray();
    }
}

// The code and message every call of a kind must end with.
QPair<QString, QString> expectedOutcome(Kind kind, const QString& baseUrl) {
    const QString ok = "111111", no = "000000";
    switch (kind) {
    case Verify:
    case VerifyWithPassword:
    case Settle:
        return {ok, "成功"};
    case VerifyUnknown:
        return {no, "会员验证失败，会员不存在，请再次尝试或联系管理员处理"};
    case SettleRefused:
        return {no, "订单结算失败，订单重复"};
    case PointsRefundCrmDown:
        return {no, "网络错误，请再次尝试或联系管理员处理。错误代码: 401 Error transferring " + baseUrl +
                        "/txCtrl?txcode=pmb020 - server replied: Internal Server Error"};
    case Cancel:
        return {no, "该支付方式不允许清除"};
    default:
        return {ok, "交易成功"};
    }
}

QPair<QString, QString> outcome(const QByteArray& result) {
    const QJsonObject o = QJsonDocument::fromJson(result).object();
    return o.contains("rtncode") ? qMakePair(o.value("rtncode").toString(), o.value("rtnmsg").toString())
                                 : qMakePair(o.value("RtnCode").toString(), o.value("RtnMsg").toString());
}

qint64 residentBytes() {
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return -1;
    return statm.readAll().split(' ').value(1).toLongLong() * sysconf(_SC_PAGESIZE);
}

// Open descriptors, less the simulator's sockets (those on its port, listening or
// accepted): what the plug-in side holds.
int pluginDescriptors(quint16 serverPort) {
    int count = 0;
    const QStringList fds = QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::AllEntries | QDir::System);
    for (const QString& fd : fds) {
        sockaddr_storage address{};
        socklen_t size = sizeof address;
        if (getsockname(fd.toInt(), reinterpret_cast<sockaddr*>(&address), &size) == 0) {
            quint16 port = 0;
            if (address.ss_family == AF_INET)
                port = ntohs(reinterpret_cast<const sockaddr_in*>(&address)->sin_port);
            else if (address.ss_family == AF_INET6)
                port = ntohs(reinterpret_cast<const sockaddr_in6*>(&address)->sin6_port);
            if (port == serverPort)
                continue;
        }
        ++count;
    }
    return count;
}

// Threads other than the ones that carry the process's own name: the simulator's
// threads inherit that name, while every Qt thread is named after its class.
int pluginThreads(const QByteArray& processName) {
    int count = 0;
    const QStringList tasks =
        QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString& task : tasks) {
        QFile comm("/proc/self/task/" + task + "/comm");
        if (comm.open(QIODevice::ReadOnly) && comm.readAll().trimmed() != processName)
            ++count;
    }
    return count;
}

QByteArray processName() {
    QFile comm(QStringLiteral("/proc/self/comm"));
    return comm.open(QIODevice::ReadOnly) ? comm.readAll().trimmed() : QByteArray();
}

} // namespace

class TestLongDay : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void mixedCallsAllDayLong();
};

namespace {
QtMessageHandler g_testHandler = nullptr;
}

void TestLongDay::initTestCase() {
    // The headless platform says so each time a dialog is shown; thousands of those
    // would only bury what matters.
    g_testHandler =
        qInstallMessageHandler([](QtMsgType type, const QMessageLogContext& context, const QString& message) {
            if (message.startsWith(QLatin1String("This plugin does not support")))
                return;
            g_testHandler(type, context, message);
        });
}

void TestLongDay::mixedCallsAllDayLong() {
    const int warmUp = 200;
    const int asked = qEnvironmentVariableIntValue("ZOVORDA_LONGDAY_CALLS");
    const int calls = asked > warmUp ? asked : 2000;
    crmsim::Server crm;
    QVERIFY(crm.start());
    crm.setFallback(answer);
    WorkDir dir;
    dir.configureTill(crm.baseUrl());
    ZoVORDACtl ctl;

    const QByteArray name = processName();
    QHash<int, QByteArray> firstResult;
    qint64 spent[KindCount] = {};
    int baseFds = 0, baseThreads = 0, settled = 0;
    qint64 slowestSettle = 0;
    qint64 rssWarm = 0;
    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < calls; ++i) {
        const Kind kind = Kind(i % KindCount);
        CashierRobot robot;
        const qint64 started = clock.nsecsElapsed();
        const QByteArray result = runCall(ctl, kind, robot);
        spent[kind] += clock.nsecsElapsed() - started;
        const QString where = QStringLiteral("call %1 (%2)").arg(i).arg(kKindNames[kind]);
        QVERIFY2(robot.allDone(), qPrintable(where + ": " + robot.failures()));
        QCOMPARE(outcome(result), expectedOutcome(kind, crm.baseUrl()));
        if (!firstResult.contains(kind))
            firstResult.insert(kind, result);
        QVERIFY2(result == firstResult.value(kind), qPrintable(where + ": " + result));
        // The simulator keeps every request it saw; a day's worth would be counted as ours.
        crm.clearRequests();

        if (i == 0) {
            // Qt starts its network bearer watch (and the D-Bus thread it uses) with the
            // first exchange and keeps them; let them come up before counting.
            QTest::qWait(500);
            baseFds = pluginDescriptors(crm.port());
            baseThreads = pluginThreads(name);
        }
        // A finished thread may still be leaving the kernel's list for a moment after
        // wait() returned; give it that moment, and count how often it was needed.
        QElapsedTimer settle;
        settle.start();
        int fds = pluginDescriptors(crm.port()), threads = pluginThreads(name);
        if (fds != baseFds || threads != baseThreads) {
            ++settled;
            while ((fds != baseFds || threads != baseThreads) && settle.elapsed() < 1000) {
                QTest::qWait(1);
                fds = pluginDescriptors(crm.port());
                threads = pluginThreads(name);
            }
            slowestSettle = qMax(slowestSettle, settle.elapsed());
        }
        QVERIFY2(fds == baseFds, qPrintable(QStringLiteral("%1: %2 descriptors, %3 after the first call")
                                                .arg(where)
                                                .arg(fds)
                                                .arg(baseFds)));
        QVERIFY2(threads == baseThreads, qPrintable(QStringLiteral("%1: %2 threads, %3 after the first call")
                                                        .arg(where)
                                                        .arg(threads)
                                                        .arg(baseThreads)));
        if (i + 1 == warmUp)
            rssWarm = residentBytes();
        if ((i + 1) % 500 == 0)
            qInfo("%5d calls, %6lld ms, resident %lld kB", i + 1, clock.elapsed(), residentBytes() / 1024);
    }
    const qint64 rssEnd = residentBytes();
    const qint64 growth = rssEnd - rssWarm;
    qInfo("%d calls in %lld ms; resident after %d calls %lld kB, at the end %lld kB (%+lld kB); "
          "plug-in side: %d descriptors, %d threads after every call (%d calls needed up to %lld ms to get "
          "there)",
          calls, clock.elapsed(), warmUp, rssWarm / 1024, rssEnd / 1024, growth / 1024, baseFds, baseThreads,
          settled, slowestSettle);
    for (int k = 0; k < KindCount; ++k)
        qInfo("  %-28s %6.1f ms a call", kKindNames[k],
              spent[k] / 1e6 / ((calls - k + KindCount - 1) / KindCount));
    QVERIFY2(growth < 1024 * 1024, qPrintable(QStringLiteral("grew by %1 kB").arg(growth / 1024)));
    // The dialogs live as long as the till program: an entry field that kept an undo
    // history of every code, amount and coupon ever typed would grow all day.
    for (QWidget* dialog :
         std::initializer_list<QWidget*>{&ctl.memberLogin, &ctl.jfPayWidget, &ctl.couponWidget}) {
        for (const QLineEdit* field : dialog->findChildren<QLineEdit*>())
            QVERIFY2(!field->isUndoAvailable(), qPrintable(dialog->objectName() + "/" + field->objectName()));
    }
}

QTEST_MAIN(TestLongDay)
#include "tst_LongDay.moc"
