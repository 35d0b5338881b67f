// The CRM simulator over a real socket: what it answers when nothing is scripted, and in
// business mode the CRM's rules as a till meets them, with the till's headers and the
// state in a real SQLite file loaded with the demo data.
#include "Business.h"
#include "CrmSim.h"

#include <QtNetwork>
#include <QtTest>

#include <memory>

using Fault = crmsim::Business::Fault;
using Headers = QMap<QByteArray, QByteArray>;
using Points = QVector<int>; // a member's point accounts, A01 first

namespace {

const QString kBadToken = QStringLiteral("token无效，请重新签到");

QJsonObject ok(QJsonObject fields = {}, const QString& msg = QStringLiteral("成功")) {
    fields.insert("result_code", "1");
    fields.insert("result_msg", msg);
    return fields;
}
QJsonObject no(const QString& msg) {
    return {{"result_code", "0"}, {"result_msg", msg}};
}
QJsonObject scored(const char* score, const char* total) {
    return ok({{"score", score}, {"score_value", total}});
}
QByteArray text(const QJsonObject& o) {
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}
QString day(int fromToday) {
    return QDate::currentDate().addDays(fromToday).toString(Qt::ISODate);
}
// A request body with these coupons as its coupon_list.
QJsonObject withCoupons(const QStringList& numbers, QJsonObject body) {
    QJsonArray list;
    for (const QString& no : numbers)
        list.append(QJsonObject{{"coupon_no", no}});
    body.insert("coupon_list", list);
    return body;
}
QJsonObject check(const char* member, const char* value, const QStringList& numbers) {
    return withCoupons(numbers, {{"member_id", member}, {"s_value", value}});
}
QJsonObject writeOff(const char* order, const char* member, const QStringList& numbers) {
    return withCoupons(numbers, {{"order_id", order}, {"member_id", member}});
}
QJsonObject settle(const char* order, const char* member, const char* type, const char* value) {
    return {{"order_id", order}, {"member_id", member}, {"sale_type", type}, {"value", value}};
}
QJsonObject pay(const char* order, const char* member, const char* type, const char* cash,
                const char* original = "") {
    QJsonObject body{{"order_id", order}, {"member_id", member}, {"type", type}, {"score_cash", cash}};
    body.insert("sorder_id", original);
    return body;
}
QJsonObject zip(const QStringList& keys, const QStringList& values) {
    QJsonObject o;
    for (int i = 0; i < keys.size(); ++i)
        o.insert(keys.at(i), values.at(i));
    return o;
}
// The reply of a coupon check or a write-off: per coupon, these keys with these values.
QJsonObject perCoupon(const QStringList& keys, std::initializer_list<QStringList> coupons) {
    QJsonArray list;
    for (const QStringList& values : coupons)
        list.append(zip(keys, values));
    return ok({{"coupon_list", list}});
}
QJsonObject verdicts(std::initializer_list<QStringList> coupons) {
    return perCoupon({"coupon_no", "useflag", "pay_value"}, coupons);
}
const QStringList kCouponKeys{"begin_date", "coupon_no", "end_date", "ticket_name", "ticket_value", "remark"};
QJsonObject couponQueried(int from, const char* no, int until, const char* status, const char* name,
                          const char* value) {
    QJsonObject info = zip(kCouponKeys, {day(from), no, day(until), name, value, "全场通用"});
    info.insert("status", status);
    return ok({{"couponInfo", info}});
}
QJsonObject store(const char* serial, const char* device, const char* password) {
    return {{"serial_num", serial}, {"device_id", device}, {"entry_pwd", password}};
}
// A row of the exchanges table. after: the accounts of the member named (else M1001) after the
// exchange; left empty, those of the demo data.
void row(const char* name, const char* txcode, const QJsonObject& body, const QJsonObject& reply,
         const Points& after = {}, const Headers& headers = {}) {
    static const QMap<QString, Points> demo{{"M1001", {1200, 300}}, {"M1002", {5000}}, {"M1003", {500}}};
    const QString member = body.value("member_id").toString("M1001");
    QTest::newRow(name) << QByteArray(txcode) << body << headers << reply
                        << (after.isEmpty() ? demo.value(member) : after);
}

// Coupons cover the sale in the order given, each as far as it is still uncovered.
void couponChecks() {
    const QStringList both{"Q0001", "Q0002"};
    row("both in full", "pmb011", check("M1001", "100.00", both),
        verdicts({{"Q0001", "1", "10.00"}, {"Q0002", "1", "20.00"}}));
    row("second covers the rest", "pmb011", check("M1001", "25.00", both),
        verdicts({{"Q0001", "1", "10.00"}, {"Q0002", "1", "15.00"}}));
    row("nothing left for the second", "pmb011", check("M1001", "8.00", both),
        verdicts({{"Q0001", "1", "8.00"}, {"Q0002", "0", "0.00"}}));
    row("used one is skipped", "pmb011", check("M1001", "100.00", {"Q0003", "Q0001"}),
        verdicts({{"Q0003", "0", "0.00"}, {"Q0001", "1", "10.00"}}));
    row("expired", "pmb011", check("M1001", "100.00", {"Q0004"}), verdicts({{"Q0004", "0", "0.00"}}));
    row("unknown", "pmb011", check("M1001", "100.00", {"Q0009"}), verdicts({{"Q0009", "0", "0.00"}}));
    row("another's", "pmb011", check("M1001", "100.00", {"Q0005"}), verdicts({{"Q0005", "0", "0.00"}}));
    row("the owner's", "pmb011", check("M1002", "100.00", {"Q0005"}), verdicts({{"Q0005", "1", "15.00"}}));
    row("entered twice", "pmb011", check("M1001", "100.00", {"Q0002", "Q0002"}),
        verdicts({{"Q0002", "1", "20.00"}, {"Q0002", "0", "0.00"}}));
}

// Settlements earn a point per whole yuan, and a voucher from 200 on; points pay from
// every account in turn.
void orders() {
    row("sale", "pmb021", settle("B1", "M1001", "1", "199.99"), scored("199", "1699"), {1399, 300});
    QJsonObject gift = scored("200", "1700");
    gift.insert("couponInfo",
                QJsonArray{zip(kCouponKeys, {day(0), "Q90001", day(30), "满200送20", "20", "下次消费可用"})});
    row("sale of 200 earns a voucher", "pmb021", settle("B1", "M1001", "1", "200"), gift, {1400, 300});
    row("return", "pmb021", settle("B1", "M1001", "2", "50.5"), scored("-50", "1450"), {1150, 300});
    row("return of 300 earns none", "pmb021", settle("B1", "M1001", "2", "300"), scored("-300", "1200"),
        {900, 300});
    row("points from both accounts", "pmb020", pay("P1", "M1001", "1", "13.00"), scored("-1300", "200"),
        {0, 200});
    row("every point", "pmb020", pay("P1", "M1003", "1", "5.00"), scored("-500", "0"), {0});
    row("one fen short", "pmb020", pay("P1", "M1003", "1", "5.01"), no("积分不足"), {500});
    row("nothing", "pmb020", pay("P1", "M1003", "1", "0.00"), no("积分支付金额无效"), {500});
}

} // namespace

class tst_CrmSim : public QObject {
    Q_OBJECT

    std::unique_ptr<crmsim::Business> biz;
    std::unique_ptr<crmsim::Server> sim;
    QNetworkAccessManager nam;
    QByteArray token;

    QNetworkReply* send(const crmsim::Server& to, const QByteArray& txcode, const QJsonObject& body,
                        const Headers& changed = {}) {
        QNetworkRequest req(QUrl(to.baseUrl() + "/txCtrl?txcode=" + txcode));
        Headers headers{{"Token", token}, {"DeviceId", "POS01"}, {"CompanyId", "C001"}};
        headers.insert(changed);
        for (auto it = headers.cbegin(); it != headers.cend(); ++it)
            req.setRawHeader(it.key(), it.value());
        req.setHeader(QNetworkRequest::ContentTypeHeader, "application/json;charset=utf-8");
        QNetworkReply* reply = nam.post(req, QJsonDocument(body).toJson(QJsonDocument::Compact));
        if (!reply->isFinished())
            QSignalSpy(reply, &QNetworkReply::finished).wait(10000);
        return reply;
    }
    QJsonObject post(const QByteArray& txcode, const QJsonObject& body, const Headers& headers = {}) {
        std::unique_ptr<QNetworkReply> reply(send(*sim, txcode, body, headers));
        return QJsonDocument::fromJson(reply->readAll()).object().value("data").toObject();
    }
    QJsonObject lookup(const QString& key) { return post("pmb001", {{"cardno", key}}); }
    Points points(const QString& member) {
        Points out;
        for (const QJsonValue& a : lookup(member).value("memberinfo")[0]["actionlist"].toArray())
            out << a["score_value"].toString().toInt();
        return out;
    }
    void signIn() {
        token = post("sig999", store("0101", "POS01", "pw0101")).value("token").toString().toUtf8();
        QCOMPARE(token.size(), 32);
    }
    void serve(crmsim::Business* b) {
        sim->setFallback([b](const crmsim::Request& r) { return b->handle(r); });
    }

private slots:
    void init() {
        biz = std::make_unique<crmsim::Business>();
        QString error;
        QVERIFY2(biz->open(":memory:", &error), qPrintable(error));
        sim = std::make_unique<crmsim::Server>();
        QVERIFY(sim->start());
        serve(biz.get());
        signIn();
    }
    void cleanup() {
        sim.reset(); // before the business it calls into
        biz.reset();
    }

    // Unless a business or another fallback is plugged in, what is not scripted is a 404.
    void unscriptedRequestsAndABusyPort() {
        crmsim::Server s;
        QVERIFY(s.start());
        QVERIFY(!s.start());
        std::unique_ptr<QNetworkReply> r(send(s, "pmb001", {}));
        QCOMPARE(r->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(), 404);
        QCOMPARE(r->readAll(), QByteArray(R"({"error":"no scripted reply"})"));
        QTcpServer other;
        QVERIFY(other.listen(QHostAddress::LocalHost));
        crmsim::Server second;
        QVERIFY(!second.start(QStringLiteral("127.0.0.1"), other.serverPort()));
        QCOMPARE(second.baseUrl(), QString());
    }

    // A sign-in replaces the device's token; the old one is refused from then on.
    void signInReplacesTheToken() {
        const QByteArray before = token;
        QJsonObject got = post("sig999", store("0101", "POS01", "pw0101"));
        token = got.take("token").toString().toUtf8();
        QCOMPARE(text(got), text(ok({{"shop_id", "S0101"}, {"status", "1"}}, "签到成功")));
        QVERIFY(QRegularExpression("^[0-9a-f]{32}$").match(token).hasMatch() && token != before);
        QCOMPARE(points("M1001"), (Points{1200, 300}));
        QCOMPARE(text(post("pmb001", {{"cardno", "8800001"}}, {{"Token", before}})), text(no(kBadToken)));
    }

    void memberLookup_data() {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QStringList>("found");
        QTest::newRow("card number") << "8800002" << QStringList{"M1002"};
        QTest::newRow("mobile") << "13900000002" << QStringList{"M1002"};
        QTest::newRow("member id") << "M1003" << QStringList{"M1003"};
        QTest::newRow("name") << "王小五" << QStringList{"M1004"};
        QTest::newRow("part of a name") << "王" << QStringList();
        QTest::newRow("shared phone") << "13700000003" << QStringList{"M1003", "M1004"};
        QTest::newRow("unknown") << "8800009" << QStringList();
    }
    void memberLookup() {
        QFETCH(QString, key);
        QStringList found;
        for (const QJsonValue& m : lookup(key).value("memberinfo").toArray())
            found << m["member_id"].toString();
        QTEST(found, "found");
    }

    void exchanges_data() {
        QTest::addColumn<QByteArray>("txcode");
        QTest::addColumn<QJsonObject>("body");
        QTest::addColumn<Headers>("headers");
        QTest::addColumn<QJsonObject>("reply");
        QTest::addColumn<Points>("after");
        const QJsonObject zhang{{"cardno", "8800001"}};
        row("sign-in with a wrong password", "sig999", store("0101", "POS01", "pw0102"), no("签到密码错误"));
        row("sign-in at an unknown store", "sig999", store("0102", "POS01", "pw0101"), no("门店不存在"));
        row("sign-in of an unknown device", "sig999", store("0101", "POS09", "pw0101"), no("设备未注册"));
        row("sign-in at a disabled store", "sig999", store("0999", "POS01", "pw0999"),
            ok({{"status", "0"}}, "门店已停用"));
        row("stale token", "pmb001", zhang, no(kBadToken), {1200, 300},
            {{"Token", "0123456789abcdef0123456789abcdef"}});
        row("no token", "pmb001", zhang, no(kBadToken), {}, {{"Token", ""}});
        row("other company", "pmb001", zhang, no("公司ID无效"), {}, {{"CompanyId", "C002"}});
        row("unregistered device", "pmb001", zhang, no("设备未注册"), {}, {{"DeviceId", "POS02"}});
        row("whole member record with accounts and their cash value", "pmb001", zhang,
            QJsonDocument::fromJson(
                R"({"result_code":"1","result_msg":"成功","memberinfo":[{"actionlist":[{"action_name":"消费积分",)"
                R"("action_no":"A01","score_cash":"12.00","score_value":"1200"},{"action_name":"活动积分",)"
                R"("action_no":"A02","score_cash":"3.00","score_value":"300"}],"address":"深圳市南山区科技园",)"
                R"("birthday":"1990-05-01","cardno":"8800001","grade_level":"G1","grade_name":"金卡",)"
                R"("member_id":"M1001","member_name":"张三","mobile":"13800000001"}]})")
                .object());
        const auto pw = [](const char* member, const char* password) {
            return QJsonObject{{"member_id", member}, {"password", password}, {"type", "1"}};
        };
        row("right password", "pmb002", pw("M1002", "123456"), ok());
        row("wrong password", "pmb002", pw("M1002", "654321"), no("密码错误"));
        row("none set, empty given", "pmb002", pw("M1001", ""), ok());
        row("password of an unknown member", "pmb002", pw("M1009", ""), no("会员不存在"));
        const auto query = [](const char* no) { return QJsonObject{{"coupon_no", no}}; };
        row("usable coupon", "pmb010", query("Q0001"),
            couponQueried(-30, "Q0001", 365, "1", "满100减10", "10"));
        row("used coupon", "pmb010", query("Q0003"), couponQueried(-30, "Q0003", 365, "2", "代金券5元", "5"));
        row("expired coupon", "pmb010", query("Q0004"), couponQueried(-90, "Q0004", -1, "3", "过期券", "10"));
        row("unknown coupon", "pmb010", query("Q0009"), no("券不存在"));
        couponChecks();
        row("write-off of a used coupon", "pmb023", writeOff("B1", "M1001", {"Q0002", "Q0003"}),
            no("券已使用: Q0003"));
        row("write-off of an expired one", "pmb023", writeOff("B1", "M1001", {"Q0002", "Q0004"}),
            no("券已过期: Q0004"));
        row("write-off of another's", "pmb023", writeOff("B1", "M1001", {"Q0002", "Q0005"}),
            no("券不属于该会员: Q0005"));
        row("write-off of an unknown one", "pmb023", writeOff("B1", "M1001", {"Q0002", "Q0009"}),
            no("券不存在: Q0009"));
        row("write-off of one twice", "pmb023", writeOff("B1", "M1001", {"Q0002", "Q0002"}),
            no("券重复: Q0002"));
        row("settlement of an unknown member", "pmb021", settle("B1", "M1009", "1", "10"), no("会员不存在"),
            {});
        orders();
    }
    // The CRM's exact answer, the same again when the till retries after a time-out;
    // the member's points changed once at most, and the till's token still good.
    void exchanges() {
        QFETCH(QByteArray, txcode);
        QFETCH(QJsonObject, body);
        QFETCH(Headers, headers);
        QFETCH(QJsonObject, reply);
        QCOMPARE(text(post(txcode, body, headers)), text(reply));
        QCOMPARE(text(post(txcode, body, headers)), text(reply));
        QTEST(points(body.value("member_id").toString("M1001")), "after");
    }

    void giftVoucherIsTheBuyersAlone() {
        QCOMPARE(
            post("pmb021", settle("B1", "M1004", "1", "250")).value("couponInfo")[0]["coupon_no"].toString(),
            QString("Q90001"));
        QCOMPARE(
            post("pmb021", settle("B2", "M1004", "1", "300")).value("couponInfo")[0]["coupon_no"].toString(),
            QString("Q90002"));
        QCOMPARE(points("M1004"), Points{550});
        QCOMPARE(text(post("pmb011", check("M1004", "9.00", {"Q90001"}))),
                 text(verdicts({{"Q90001", "1", "9.00"}})));
        QCOMPARE(text(post("pmb011", check("M1003", "9.00", {"Q90001"}))),
                 text(verdicts({{"Q90001", "0", "0.00"}})));
    }

    // A refund gives back at most what the payment took, into the accounts it came from.
    void pointsRefund() {
        const QByteArray tooMuch = text(no("退还积分超过原支付积分"));
        QCOMPARE(text(post("pmb020", pay("P1", "M1001", "1", "13.00"))), text(scored("-1300", "200")));
        QCOMPARE(text(post("pmb020", pay("R0", "M1001", "-1", "1.00", "P9"))),
                 text(no("原订单无积分支付记录")));
        QCOMPARE(text(post("pmb020", pay("R0", "M1003", "-1", "1.00", "P1"))), text(no("会员与原订单不符")));
        QCOMPARE(text(post("pmb020", pay("R0", "M1001", "-1", "13.01", "P1"))), tooMuch);
        QCOMPARE(text(post("pmb020", pay("R1", "M1001", "-1", "10.00", "P1"))), text(scored("1000", "1200")));
        QCOMPARE(text(post("pmb020", pay("R1", "M1001", "-1", "10.00", "P1"))), text(scored("1000", "1200")));
        QCOMPARE(points("M1001"), (Points{1000, 200}));
        QCOMPARE(text(post("pmb020", pay("R2", "M1001", "-1", "3.01", "P1"))), tooMuch);
        QCOMPARE(text(post("pmb020", pay("R2", "M1001", "-1", "3.00", "P1"))), text(scored("300", "1500")));
        QCOMPARE(points("M1001"), (Points{1200, 300}));
    }

    // A write-off takes every coupon or none; a retried one gets the same serials again.
    void writeOffSerials() {
        const QStringList keys{"coupon_no", "payflow"};
        const QByteArray written = text(perCoupon(keys, {{"Q0001", "WO00000001"}, {"Q0005", "WO00000002"}}));
        QCOMPARE(text(post("pmb023", writeOff("B1", "M1002", {"Q0001", "Q0005"}))), written);
        QCOMPARE(text(post("pmb023", writeOff("B1", "M1002", {"Q0001", "Q0005"}))), written);
        QCOMPARE(text(post("pmb023", writeOff("B2", "M1002", {"Q0002", "Q0001"}))),
                 text(no("券已使用: Q0001")));
        QCOMPARE(text(post("pmb011", check("M1002", "100.00", {"Q0001", "Q0002"}))),
                 text(verdicts({{"Q0001", "0", "0.00"}, {"Q0002", "1", "20.00"}})));
        QCOMPARE(text(post("pmb023", writeOff("B2", "M1002", {"Q0002"}))),
                 text(perCoupon(keys, {{"Q0002", "WO00000003"}})));
    }

    // A fault stands in for the business reply of its code only, until it is lifted.
    void faultOfOneCode() {
        biz->setFault("pmb001", Fault::Http500);
        std::unique_ptr<QNetworkReply> reply(send(*sim, "pmb001", {{"cardno", "8800001"}}));
        QCOMPARE(reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(), 500);
        QCOMPARE(reply->readAll(),
                 QByteArray("<html><body><h1>500 Internal Server Error</h1></body></html>"));
        QCOMPARE(text(post("pmb002", {{"member_id", "M1001"}, {"password", ""}})), text(ok()));
        biz->setFault("pmb001", Fault::None);
        QCOMPARE(points("M1001"), (Points{1200, 300}));
    }

    void stateOutlivesTheProcessUntilReset() {
        QTemporaryDir dir;
        auto first = std::make_unique<crmsim::Business>();
        QVERIFY(first->open(dir.filePath("crm.db")));
        serve(first.get());
        signIn();
        QCOMPARE(text(post("pmb021", settle("B1", "M1003", "1", "88"))), text(scored("88", "588")));
        sim->setFallback(nullptr);
        first.reset();

        crmsim::Business second;
        QVERIFY(second.open(dir.filePath("crm.db")));
        serve(&second);
        QCOMPARE(points("M1003"), Points{588}); // the token survived as well
        QVERIFY(second.reset());
        QCOMPARE(text(lookup("M1003")), text(no(kBadToken)));
        signIn();
        QCOMPARE(points("M1003"), Points{500});
        sim->setFallback(nullptr);
    }
};

QTEST_MAIN(tst_CrmSim)
#include "tst_CrmSim.moc"
