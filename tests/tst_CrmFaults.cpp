// The CRM failing in every way we know of, for each of the eight transactions, met
// through the host's own calls. Every case must end in the operation's own message,
// with the settings files as they were, the busy screen gone and no question left
// open: a cashier may retry at once, and nothing half-done is left behind.
#include "support/CrmReplies.h"
#include "support/TillFixture.h"

#include <QtTest>

#include <functional>

using crmsim::Reply;

namespace {

const QString kNetwork = "网络错误，请再次尝试或联系管理员处理。错误代码: ";
// With the CRM away, member verification asks the local table, which is not set up here.
const QString kOfflineNoDb = "本地查询会员信息失败：未设置数据库类型";
const QString kSlowMsg = "处理较慢";

// Instead of a reply: a setting emptied, or the CRM stopped.
struct Broken {
    QString file, key;
    bool stop;
};

struct Fault {
    const char* name;
    // What the exchange itself says, "%1" being the request's URL; empty for a reply the
    // operation reads (its not-JSON or refusal message applies then).
    QString exchangeText;
    int requests; // how often the request reaches the CRM, each time with this reply
    Reply reply;
    Broken broken;
};

QList<Fault> faults() {
    Reply hang, drop;
    hang.hang = true;
    drop.drop = true;
    const auto page = [](int status, const QByteArray& body) {
        Reply r;
        r.status = status;
        r.body = body;
        return r;
    };
    // About 60 bytes in 8-byte pieces, well inside the time-out.
    Reply slow = Reply::json(CrmReplies::refused(kSlowMsg));
    slow.trickleMs = 120;
    Reply dropMid =
        Reply::json(CrmReplies::accepted({{"memberinfo", QJsonArray{}}, {"coupon_list", QJsonArray{}}}));
    dropMid.dropMidBody = true;
    const QString transfer = kNetwork + "%1 Error transferring %2 - server replied: %3";
    return {
        {"address not configured", "未配置VordaCRM地址", 0, {}, {"ZoVORDA.ini", "Config/HttpAddress", false}},
        {"company not configured", "请求未配置公司ID", 0, {}, {"ZoVORDA.ini", "Config/company_id", false}},
        {"device not configured", "请求未配置设备编码", 0, {}, {"RVX_Config.ini", "NAV/pointcode", false}},
        {"connection refused", kNetwork + "1 Connection refused", 0, {}, {{}, {}, true}},
        {"no answer", "请求超时，请再次尝试或联系管理员处理", 1, hang, {}},
        {"HTTP 400 page", transfer.arg("302", "%1", "Bad Request"), 1, page(400, "bad request"), {}},
        {"HTTP 404", transfer.arg("203", "%1", "Not Found"), 1, page(404, "not found"), {}},
        {"HTTP 500", transfer.arg("401", "%1", "Internal Server Error"), 1, page(500, "server error"), {}},
        {"empty body", {}, 1, Reply::json(QByteArray()), {}},
        {"not JSON", {}, 1, Reply::json("<html><body>系统维护中</body></html>"), {}},
        // A perfectly good acceptance behind the NUL must not be taken.
        {"NUL byte first", {}, 1, Reply::json(QByteArray(1, '\0') + CrmReplies::accepted()), {}},
        {"10 MB not JSON", {}, 1, Reply::json("{\"data\":\"" + QByteArray(10 * 1024 * 1024, 'x')), {}},
        {"slow refusal", {}, 1, slow, {}},
        {"dropped mid-body", kNetwork + "2 Connection closed", 1, dropMid, {}},
        // The toolkit would post once more by itself; the CRM may have applied the first.
        {"dropped without a reply", kNetwork + "2 Connection closed", 1, drop, {}},
    };
}

// A scripted cashier who, at the moment the transaction under test comes next, lets
// the fault happen: before he keys the password, or inside the coupon dialog.
class FaultCashier : public ScriptedCashier {
public:
    std::function<void()> breakNow = [] {};
    std::optional<QString> password(const QString& cardNo) override {
        breakNow();
        return ScriptedCashier::password(cardNo);
    }
};

// A till whose CRM answers every transaction well unless a fault is queued for it.
struct Till {
    crmsim::Server crm;
    WorkDir dir;
    FaultCashier* cashier = new FaultCashier;
    Controller ctl{std::unique_ptr<Cashier>(cashier)};

    explicit Till(int timeout) {
        crm.start();
        dir.configureTill(crm.baseUrl(), timeout);
        crm.setFallback([](const crmsim::Request& r) {
            if (r.txcode == "pmb001")
                return Reply::json(CrmReplies::members({CrmReplies::member("M1", "C1", "张三", "139")}));
            if (r.txcode == "pmb010")
                return Reply::json(
                    CrmReplies::accepted({{"couponInfo", QJsonObject{{"ticket_name", "券"}}}}));
            QJsonArray usable;
            for (const QJsonValue& c :
                 QJsonDocument::fromJson(r.body).object().value("coupon_list").toArray())
                usable.append(QJsonObject{{"coupon_no", c["coupon_no"]}, {"useflag", "1"}, {"pay_value", 5}});
            return Reply::json(CrmReplies::accepted({{"coupon_list", usable}}));
        });
    }
    QString vip(const QJsonObject& in) {
        return QJsonDocument::fromJson(ResultFrame::memberCall(ctl, Requests::json(in).constData()))
            .object()["rtnmsg"]
            .toString();
    }
    QString card(const QJsonObject& head) {
        const QByteArray h = Requests::json(head), p = Requests::json(Requests::products());
        return QJsonDocument::fromJson(ResultFrame::tenderCall(ctl, h.constData(), p.constData(), ""))
            .object()["RtnMsg"]
            .toString();
    }
    // A coupon sale in which the cashier does this with the coupon desk, then confirms.
    QString couponSale(const std::function<void(CouponDesk&)>& cashierDoes) {
        cashier->couponRuns = {[cashierDoes](CouponDesk& desk) {
            cashierDoes(desk);
            return true;
        }};
        return card(Requests::tenderHead("Q", "SALE"));
    }
};

// One transaction: its words for a reply that is not JSON and for a refusal ("%1"),
// the caption the cashier reads before them, and the host call that reaches it,
// answering the text the host or the cashier read.
struct Operation {
    const char* txcode;
    QString notJson, refusal, caption;
    std::function<QString(Till&)> run;
};

const QString kTenderNotJson = "解析Vorda返回数据错误，请再次尝试或联系管理员处理";

QString firstMessage(const Till& t) {
    return t.cashier->messages.value(0);
}

QList<Operation> operations() {
    return {
        {"sig999", kTenderNotJson, "签到失败，%1，请再次尝试或联系管理员处理", "",
         [](Till& t) {
             t.cashier->breakNow();
             t.cashier->signins = {true};
             return t.vip({{"reqtype", "78"}, {"store_id", "0101"}});
         }},
        {"pmb001", kOfflineNoDb, "会员验证失败，%1，请再次尝试或联系管理员处理", "",
         [](Till& t) {
             t.cashier->breakNow();
             return t.vip(Requests::verifyRequest());
         }},
        // Each refused password is shown; the cashier then closes the entry.
        {"pmb002", "会员密码校验Vorda返回数据错误，请再次尝试或联系管理员处理",
         "会员验证失败，%1，请再次尝试或联系管理员处理", "",
         [](Till& t) {
             t.cashier->passwords = {QString("123456"), std::nullopt};
             return t.vip(Requests::verifyRequest("139", "3")) == "CLOSE" ? firstMessage(t) : "not closed";
         }},
        {"pmb021", "订单结算解析Vorda返回数据错误，请再次尝试或联系管理员处理", "订单结算失败，%1", "",
         [](Till& t) {
             t.cashier->breakNow();
             return t.vip(Requests::settleRequest());
         }},
        {"pmb010", kTenderNotJson, "0 %1", "券查询失败 ",
         [](Till& t) {
             t.couponSale([&t](CouponDesk& desk) {
                 t.cashier->breakNow();
                 desk.addCoupon("Q1");
             });
             return firstMessage(t);
         }},
        // Taking a coupon off checks the rest again.
        {"pmb011", kTenderNotJson, "0 %1", "券校验失败 ",
         [](Till& t) {
             t.couponSale([&t](CouponDesk& desk) {
                 desk.addCoupon("Q1");
                 desk.addCoupon("Q2");
                 t.cashier->breakNow();
                 desk.removeCoupon("Q2");
             });
             return firstMessage(t);
         }},
        {"pmb020", kTenderNotJson, "0 %1", "",
         [](Till& t) {
             t.cashier->breakNow();
             return t.card(
                 Requests::with(Requests::with(Requests::tenderHead("J", "REFUND"), "oribill_no", "B0"),
                                "orisale_no", "S0"));
         }},
        {"pmb023", kTenderNotJson, "0 %1", "",
         [](Till& t) {
             return t.couponSale([&t](CouponDesk& desk) {
                 desk.addCoupon("Q1");
                 t.cashier->breakNow();
             });
         }},
    };
}

QString expectedText(const Operation& op, const Fault& f) {
    const QByteArray txcode = op.txcode;
    // The sign-in checks the device code itself before it builds the request.
    if (txcode == "sig999" && f.broken.key == "NAV/pointcode")
        return "未配置设备编码";
    if (f.reply.trickleMs > 0)
        return op.caption + op.refusal.arg(kSlowMsg);
    // Member verification turns every exchange failure and every unreadable reply
    // into a lookup in the local table.
    if (txcode == "pmb001")
        return kOfflineNoDb;
    return op.caption + (f.exchangeText.isEmpty() ? op.notJson : f.exchangeText);
}

} // namespace

class TestCrmFaults : public QObject {
    Q_OBJECT
private slots:
    void everyFaultEndsInTheOperationsMessage_data() {
        QTest::addColumn<int>("operation");
        QTest::addColumn<int>("fault");
        QTest::addColumn<QString>("expected");
        const QList<Operation> ops = operations();
        const QList<Fault> all = faults();
        for (int o = 0; o < ops.size(); ++o) {
            for (int f = 0; f < all.size(); ++f)
                QTest::addRow("%s: %s", ops[o].txcode, all[f].name) << o << f << expectedText(ops[o], all[f]);
        }
    }

    void everyFaultEndsInTheOperationsMessage() {
        QFETCH(int, operation);
        QFETCH(int, fault);
        QFETCH(QString, expected);
        const Operation op = operations().at(operation);
        const Fault f = faults().at(fault);
        // Only the hanging CRM waits for the time-out; the rest end on their own, also on a busy machine.
        Till till(f.reply.hang ? 1 : 20);
        QVERIFY(till.crm.isRunning());
        QByteArray ini, hostIni;
        int before = -1;
        till.cashier->breakNow = [&] {
            if (f.broken.stop)
                till.crm.stop();
            else if (!f.broken.key.isEmpty())
                till.dir.writeIni(f.broken.file, {{f.broken.key, ""}});
            for (int i = 0; i < f.requests; ++i)
                till.crm.enqueue(op.txcode, f.reply);
            ini = till.dir.readFile("ZoVORDA.ini");
            hostIni = till.dir.readFile("RVX_Config.ini");
            before = till.crm.requestCount();
            till.cashier->breakNow = [] {};
        };

        const QString text = op.run(till);

        QCOMPARE(text, expected.contains("%1")
                           ? expected.arg(till.crm.baseUrl() + "/txCtrl?txcode=" + op.txcode)
                           : expected);
        QVERIFY2(before >= 0, "the fault never came");
        QCOMPARE(till.dir.readFile("ZoVORDA.ini"), ini);
        QCOMPARE(till.dir.readFile("RVX_Config.ini"), hostIni);
        QVERIFY(!till.cashier->busyUp);
        VERIFY_SCRIPT(*till.cashier);
        int reached = 0;
        for (const crmsim::Request& r : till.crm.requests().mid(before))
            reached += r.txcode == op.txcode ? 1 : 0;
        QCOMPARE(reached, f.requests);
    }
};

QTEST_MAIN(TestCrmFaults)
#include "tst_CrmFaults.moc"
