// The CRM simulator's business mode over a real socket: the CRM's rules as a till meets
// them, with the till's headers, on the demo data in memory.
#include "Business.h"
#include "CrmSim.h"

#include <QtNetwork>
#include <QtTest>

#include <memory>

using Headers = QMap<QByteArray, QByteArray>;
using Points = QVector<int>; // a member's point accounts, A01 first

namespace {

const QString kBadToken = QStringLiteral("token无效，请重新签到");
const QStringList kVerdict{"coupon_no", "useflag", "pay_value"}; // of a coupon check
const QStringList kCouponKeys{"begin_date", "coupon_no", "end_date", "ticket_name", "ticket_value", "remark"};

QJsonObject ok(QJsonObject fields = {}, const QString& msg = QStringLiteral("成功")) {
    fields.insert("result_code", "1");
    fields.insert("result_msg", msg);
    return fields;
}
QByteArray text(const QJsonObject& o) {
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}
QJsonObject no(const QString& msg) {
    return {{"result_code", "0"}, {"result_msg", msg}};
}
QJsonObject scored(const char* score, const char* total) {
    return ok({{"score", score}, {"score_value", total}});
}
QString day(int fromToday) {
    return QDate::currentDate().addDays(fromToday).toString(Qt::ISODate);
}
QJsonObject zip(const QStringList& keys, const QStringList& values) {
    QJsonObject o;
    for (int i = 0; i < keys.size(); ++i)
        o.insert(keys.at(i), values.at(i));
    return o;
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
// The reply of a coupon check or a write-off: per coupon, these keys with these values.
QJsonObject perCoupon(const QStringList& keys, std::initializer_list<QStringList> coupons) {
    QJsonArray list;
    for (const QStringList& values : coupons)
        list.append(zip(keys, values));
    return ok({{"coupon_list", list}});
}
QJsonObject store(const char* password) {
    return {{"serial_num", "0101"}, {"device_id", "POS01"}, {"entry_pwd", password}};
}
const QByteArray kZhang =
    R"({"result_code":"1","result_msg":"成功","memberinfo":[{"actionlist":[{"action_name":"消费积分",)"
    R"("action_no":"A01","score_cash":"12.00","score_value":"1200"},{"action_name":"活动积分",)"
    R"("action_no":"A02","score_cash":"3.00","score_value":"300"}],"address":"深圳市南山区科技园",)"
    R"("birthday":"1990-05-01","cardno":"8800001","grade_level":"G1","grade_name":"金卡",)"
    R"("member_id":"M1001","member_name":"张三","mobile":"13800000001"}]})";

// A row of the exchanges table. after: the accounts of the member named (else M1001) after
// the exchange; left empty, those of the demo data.
void row(const char* name, const char* txcode, const QJsonObject& body, const QJsonObject& reply,
         const Points& after = {}) {
    static const QMap<QString, Points> demo{{"M1001", {1200, 300}}, {"M1002", {5000}}, {"M1003", {500}}};
    const QString member = body.value("member_id").toString("M1001");
    QTest::newRow(name) << QByteArray(txcode) << body << reply
                        << (after.isEmpty() ? demo.value(member) : after);
}

void accessAndCoupons() {
    const QJsonObject zhang{{"cardno", "8800001"}};
    const auto pw = [](const char* password) {
        return QJsonObject{{"member_id", "M1002"}, {"password", password}, {"type", "1"}};
    };
    const auto query = [](const char* no) { return QJsonObject{{"coupon_no", no}}; };
    const QStringList both{"Q0001", "Q0002"};
    row("sign-in with a wrong password", "sig999", store("pw0102"), no("签到密码错误"));
    row("whole member record", "pmb001", zhang, QJsonDocument::fromJson(kZhang).object());
    row("right password", "pmb002", pw("123456"), ok());
    row("wrong password", "pmb002", pw("654321"), no("密码错误"));
    QJsonObject usable = zip(kCouponKeys, {day(-30), "Q0001", day(365), "满100减10", "10", "全场通用"});
    usable.insert("status", "1");
    row("usable coupon", "pmb010", query("Q0001"), ok({{"couponInfo", usable}}));
    row("unknown coupon", "pmb010", query("Q0009"), no("券不存在"));
    // Coupons cover the sale in the order given, each as far as it is still uncovered.
    row("both in full", "pmb011", check("M1001", "100.00", both),
        perCoupon(kVerdict, {{"Q0001", "1", "10.00"}, {"Q0002", "1", "20.00"}}));
    row("second covers the rest", "pmb011", check("M1001", "25.00", both),
        perCoupon(kVerdict, {{"Q0001", "1", "10.00"}, {"Q0002", "1", "15.00"}}));
    row("nothing left for the second", "pmb011", check("M1001", "8.00", both),
        perCoupon(kVerdict, {{"Q0001", "1", "8.00"}, {"Q0002", "0", "0.00"}}));
    row("another's coupon", "pmb011", check("M1001", "100.00", {"Q0005"}),
        perCoupon(kVerdict, {{"Q0005", "0", "0.00"}}));
    row("write-off of a used coupon", "pmb023", writeOff("B1", "M1001", {"Q0002", "Q0003"}),
        no("券已使用: Q0003"));
}

// Settlements earn a point per whole yuan, and a voucher from 200 on; points pay from
// every account in turn.
void orders() {
    QJsonObject gift = scored("200", "1700");
    gift.insert("couponInfo",
                QJsonArray{zip(kCouponKeys, {day(0), "Q90001", day(30), "满200送20", "20", "下次消费可用"})});
    row("sale", "pmb021", settle("B1", "M1001", "1", "199.99"), scored("199", "1699"), {1399, 300});
    row("sale of 200 earns a voucher", "pmb021", settle("B1", "M1001", "1", "200"), gift, {1400, 300});
    row("return", "pmb021", settle("B1", "M1001", "2", "50.5"), scored("-50", "1450"), {1150, 300});
    row("points from both accounts", "pmb020", pay("P1", "M1001", "1", "13.00"), scored("-1300", "200"),
        {0, 200});
    row("one fen short", "pmb020", pay("P1", "M1003", "1", "5.01"), no("积分不足"), {500});
}

} // namespace

class tst_CrmSim : public QObject {
    Q_OBJECT

    crmsim::Business biz;
    std::unique_ptr<crmsim::Server> sim;
    QNetworkAccessManager nam;
    QByteArray token;

    // The data of the CRM's reply, as compact JSON text.
    QByteArray post(const QByteArray& txcode, const QJsonObject& body, const Headers& changed = {}) {
        QNetworkRequest req(QUrl(sim->baseUrl() + "/txCtrl?txcode=" + txcode));
        Headers headers{{"Token", token}, {"DeviceId", "POS01"}, {"CompanyId", "C001"}};
        headers.insert(changed);
        for (auto it = headers.cbegin(); it != headers.cend(); ++it)
            req.setRawHeader(it.key(), it.value());
        req.setHeader(QNetworkRequest::ContentTypeHeader, "application/json;charset=utf-8");
        std::unique_ptr<QNetworkReply> reply(
            nam.post(req, QJsonDocument(body).toJson(QJsonDocument::Compact)));
        if (!reply->isFinished())
            QSignalSpy(reply.get(), &QNetworkReply::finished).wait(10000);
        return text(QJsonDocument::fromJson(reply->readAll()).object().value("data").toObject());
    }
    QJsonObject data(const QByteArray& txcode, const QJsonObject& body) {
        return QJsonDocument::fromJson(post(txcode, body)).object();
    }
    QJsonArray lookup(const QString& key) {
        return data("pmb001", {{"cardno", key}})["memberinfo"].toArray();
    }
    Points points(const QString& member) {
        Points out;
        for (const QJsonValue& a : lookup(member).at(0)["actionlist"].toArray())
            out << a["score_value"].toString().toInt();
        return out;
    }

private slots:
    void init() {
        QString error;
        QVERIFY2(biz.open(":memory:", &error), qPrintable(error));
        sim = std::make_unique<crmsim::Server>();
        QVERIFY(sim->start());
        sim->setFallback([this](const crmsim::Request& r) { return biz.handle(r); });
        token = data("sig999", store("pw0101")).value("token").toString().toUtf8();
    }
    void cleanup() { sim.reset(); }

    // A sign-in replaces the device's token; the old one is refused from then on.
    void signInReplacesTheToken() {
        const QByteArray before = token;
        QJsonObject got = data("sig999", store("pw0101"));
        token = got.take("token").toString().toUtf8();
        QCOMPARE(text(got), text(ok({{"shop_id", "S0101"}, {"status", "1"}}, "签到成功")));
        QVERIFY(QRegularExpression("^[0-9a-f]{32}$").match(token).hasMatch() && token != before);
        QCOMPARE(points("M1001"), (Points{1200, 300}));
        QCOMPARE(post("pmb001", {{"cardno", "8800001"}}, {{"Token", before}}), text(no(kBadToken)));
    }

    void memberLookup_data() {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QStringList>("found");
        QTest::newRow("card number") << "8800002" << QStringList{"M1002"};
        QTest::newRow("name") << "王小五" << QStringList{"M1004"};
        QTest::newRow("shared phone") << "13700000003" << QStringList{"M1003", "M1004"};
        QTest::newRow("unknown") << "8800009" << QStringList();
    }
    void memberLookup() {
        QFETCH(QString, key);
        QStringList found;
        for (const QJsonValue& m : lookup(key))
            found << m["member_id"].toString();
        QTEST(found, "found");
    }

    void exchanges_data() {
        QTest::addColumn<QByteArray>("txcode");
        QTest::addColumn<QJsonObject>("body");
        QTest::addColumn<QJsonObject>("reply");
        QTest::addColumn<Points>("after");
        accessAndCoupons();
        orders();
    }
    // The CRM's exact answer, the same again when the till retries after a time-out;
    // the member's points changed once at most.
    void exchanges() {
        QFETCH(QByteArray, txcode);
        QFETCH(QJsonObject, body);
        QFETCH(QJsonObject, reply);
        QCOMPARE(post(txcode, body), text(reply));
        QCOMPARE(post(txcode, body), text(reply));
        QTEST(points(body.value("member_id").toString("M1001")), "after");
    }

    // A refund gives back at most what the payment took, into the accounts it came from.
    void pointsRefund() {
        const QByteArray tooMuch = text(no("退还积分超过原支付积分"));
        QCOMPARE(post("pmb020", pay("P1", "M1001", "1", "13.00")), text(scored("-1300", "200")));
        QCOMPARE(post("pmb020", pay("R0", "M1001", "-1", "13.01", "P1")), tooMuch);
        QCOMPARE(post("pmb020", pay("R1", "M1001", "-1", "10.00", "P1")), text(scored("1000", "1200")));
        QCOMPARE(post("pmb020", pay("R1", "M1001", "-1", "10.00", "P1")), text(scored("1000", "1200")));
        QCOMPARE(post("pmb020", pay("R2", "M1001", "-1", "3.01", "P1")), tooMuch);
        QCOMPARE(post("pmb020", pay("R2", "M1001", "-1", "3.00", "P1")), text(scored("300", "1500")));
        QCOMPARE(points("M1001"), (Points{1200, 300}));
    }

    // A write-off takes every coupon or none; a retried one gets the same serials again.
    void writeOffSerials() {
        const QByteArray written =
            text(perCoupon({"coupon_no", "payflow"}, {{"Q0001", "WO00000001"}, {"Q0005", "WO00000002"}}));
        QCOMPARE(post("pmb023", writeOff("B1", "M1002", {"Q0001", "Q0005"})), written);
        QCOMPARE(post("pmb023", writeOff("B1", "M1002", {"Q0001", "Q0005"})), written);
        QCOMPARE(post("pmb023", writeOff("B2", "M1002", {"Q0002", "Q0001"})), text(no("券已使用: Q0001")));
        QCOMPARE(post("pmb023", writeOff("B2", "M1002", {"Q0002"})),
                 text(perCoupon({"coupon_no", "payflow"}, {{"Q0002", "WO00000003"}})));
    }

    // A CRM that goes down mid-exchange: the payment is applied though no reply comes back.
    void aDroppedReplyIsAppliedAllTheSame() {
        biz.setFault("pmb020", crmsim::Business::Fault::Drop);
        QCOMPARE(post("pmb020", pay("P1", "M1001", "1", "13.00")), QByteArray("{}"));
        biz.setFault("pmb020", crmsim::Business::Fault::None);
        QCOMPARE(points("M1001"), (Points{0, 200}));
    }
};

QTEST_MAIN(tst_CrmSim)
#include "tst_CrmSim.moc"
