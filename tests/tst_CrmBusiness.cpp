// The simulated CRM's business rules as a till meets them: every request goes over a
// real socket with the till's headers, and the state lives in a real SQLite database
// loaded with the demo data.
//
// Most cases are scripts of exchanges. A request reads "pmb002 member_id=M1002 password=1":
// the code, then body fields (coupon_list takes coupon numbers separated by commas),
// "@Header=value" to change a header ("@Token=previous" is the token held before the
// last sign-in), and "> key1:key2" to read only those keys of every object of the reply
// that has key1. "accounts M1001" reads a member's point accounts as "A01=1200 A02=300".
// A reply reads "<result_code> <result_msg>", then the rest of its data as compact JSON
// (a fresh token as "<token>", "{day+30}" for a date) or the keys asked for.
#include "Business.h"
#include "CrmSim.h"

#include <QDate>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

using Fault = crmsim::Business::Fault;
using Steps = QList<QPair<QString, QString>>;

namespace {

void table(std::initializer_list<std::pair<const char*, Steps>> rows) {
    QTest::addColumn<Steps>("steps");
    for (const auto& r : rows)
        QTest::newRow(r.first) << r.second;
}

// The values of the keys in every object under v that has the first key, depth first.
void pick(const QJsonValue& v, const QStringList& keys, QStringList& out) {
    if (v.isArray()) {
        for (const QJsonValue& e : v.toArray())
            pick(e, keys, out);
    } else if (v.isObject()) {
        const QJsonObject o = v.toObject();
        if (o.contains(keys.first())) {
            QStringList values;
            for (const QString& k : keys)
                values << o.value(k).toString();
            out << values.join(':');
        }
        for (const QJsonValue& e : o)
            pick(e, keys, out);
    }
}

} // namespace

class tst_CrmBusiness : public QObject {
    Q_OBJECT

    std::unique_ptr<crmsim::Business> biz;
    std::unique_ptr<crmsim::Server> sim;
    std::unique_ptr<QNetworkAccessManager> nam;
    QByteArray token, previous;

    QNetworkReply* send(const QByteArray& txcode, const QJsonObject& body,
                        const QMap<QByteArray, QByteArray>& changed) {
        QNetworkRequest req(QUrl(sim->baseUrl() + "/txCtrl?txcode=" + QString::fromUtf8(txcode)));
        QMap<QByteArray, QByteArray> headers{{"Content-Type", "application/json;charset=utf-8"},
                                             {"Accept", "application/json"},
                                             {"Token", token},
                                             {"dataType", "json"},
                                             {"DeviceId", "POS01"},
                                             {"CompanyId", "C001"}};
        for (auto it = changed.cbegin(); it != changed.cend(); ++it)
            headers.insert(it.key(), it.value());
        for (auto it = headers.cbegin(); it != headers.cend(); ++it)
            req.setRawHeader(it.key(), it.value());
        return nam->post(req, QJsonDocument(body).toJson(QJsonDocument::Compact));
    }

    // True when the reply came within the time.
    static bool wait(QNetworkReply* reply, int timeoutMs = 10000) {
        return reply->isFinished() || QSignalSpy(reply, &QNetworkReply::finished).wait(timeoutMs);
    }

    // One exchange of a script, answered as text (see the top of the file).
    QString exchange(const QString& step) {
        QStringList words = step.split(' ', Qt::SkipEmptyParts);
        if (words.first() == "accounts") {
            QStringList out;
            pick(post("pmb001", {{"cardno", words.at(1)}}, {}).value("memberinfo").toArray().at(0),
                 {"action_no", "score_value"}, out);
            return out.join(' ').replace(':', '=');
        }
        const QByteArray txcode = words.takeFirst().toUtf8();
        QJsonObject body;
        QMap<QByteArray, QByteArray> headers;
        QStringList keys;
        for (int i = 0; i < words.size(); ++i) {
            const QString name = words[i].section('=', 0, 0), value = words[i].section('=', 1);
            if (name == ">")
                keys = words.value(++i).split(':');
            else if (name.startsWith('@'))
                headers.insert(name.mid(1).toUtf8(), value == "previous" ? previous : value.toUtf8());
            else if (name == "coupon_list") {
                QJsonArray list;
                for (const QString& no : value.split(','))
                    list.append(QJsonObject{{"coupon_no", no}});
                body.insert(name, list);
            } else
                body.insert(name, value);
        }
        QJsonObject data = post(txcode, body, headers);
        QString text = data.take("result_code").toString() + ' ' + data.take("result_msg").toString();
        if (!keys.isEmpty()) {
            QStringList out;
            pick(data, keys, out);
            return (text + ' ' + out.join(',')).trimmed();
        }
        const QString issued = data.value("token").toString();
        if (QRegularExpression("^[0-9a-f]{32}$").match(issued).hasMatch() && issued != token) {
            previous = token;
            token = issued.toUtf8();
            data.insert("token", "<token>");
        }
        return data.isEmpty() ? text : text + ' ' + QJsonDocument(data).toJson(QJsonDocument::Compact);
    }

    QJsonObject post(const QByteArray& txcode, const QJsonObject& body,
                     const QMap<QByteArray, QByteArray>& headers) {
        std::unique_ptr<QNetworkReply> reply(send(txcode, body, headers));
        wait(reply.get());
        return QJsonDocument::fromJson(reply->readAll()).object().value("data").toObject();
    }

    void signIn() {
        QVERIFY(
            exchange("sig999 serial_num=0101 device_id=POS01 entry_pwd=pw0101").startsWith("1 签到成功 {"));
        QCOMPARE(token.size(), 32);
    }

    void serve(crmsim::Business* b) {
        sim->setFallback([b](const crmsim::Request& r) { return b->handle(r); });
    }

    void run() {
        QFETCH(Steps, steps);
        QRegularExpression day("\\{day([-+]\\d+)\\}");
        for (const auto& step : steps) {
            QString expected = step.second;
            for (QRegularExpressionMatch m = day.match(expected); m.hasMatch(); m = day.match(expected))
                expected.replace(m.captured(),
                                 QDate::currentDate().addDays(m.captured(1).toInt()).toString(Qt::ISODate));
            QCOMPARE(exchange(step.first), expected);
        }
    }

private slots:
    void init() {
        biz = std::make_unique<crmsim::Business>();
        QString error;
        QVERIFY2(biz->open(":memory:", &error), qPrintable(error));
        sim = std::make_unique<crmsim::Server>();
        QVERIFY(sim->start());
        serve(biz.get());
        nam = std::make_unique<QNetworkAccessManager>();
        token.clear();
        signIn();
    }

    void cleanup() {
        sim.reset(); // before the business it calls into
        biz.reset();
        nam.reset();
    }

    // A sign-in replaces the device's token; refused, it leaves the old one working.
    void signInAndCredentials_data() {
        const QString in = "sig999 serial_num=%1 device_id=%2 entry_pwd=%3",
                      look = "pmb001 cardno=8800001 > member_id";
        const auto refusedSignIn = [&](const QString& s, const QString& d, const QString& p,
                                       const QString& reply) {
            return Steps{{in.arg(s, d, p), reply}, {look, "1 成功 M1001"}};
        };
        table({
            {"enabled store",
             {{in.arg("0101", "POS01", "pw0101"),
               R"(1 签到成功 {"shop_id":"S0101","status":"1","token":"<token>"})"},
              {look + " @Token=previous", "0 token无效，请重新签到"},
              {look, "1 成功 M1001"}}},
            {"wrong password", refusedSignIn("0101", "POS01", "pw0102", "0 签到密码错误")},
            {"unknown store", refusedSignIn("0102", "POS01", "pw0101", "0 门店不存在")},
            {"unknown device", refusedSignIn("0101", "POS09", "pw0101", "0 设备未注册")},
            {"disabled store", refusedSignIn("0999", "POS01", "pw0999", R"(1 门店已停用 {"status":"0"})")},
            {"stale token", {{look + " @Token=0123456789abcdef0123456789abcdef", "0 token无效，请重新签到"}}},
            {"no token", {{look + " @Token=", "0 token无效，请重新签到"}}},
            {"other company", {{look + " @CompanyId=C002", "0 公司ID无效"}}},
            {"unregistered device", {{look + " @DeviceId=POS02", "0 设备未注册"}}},
        });
    }
    void signInAndCredentials() { run(); }

    void memberLookup_data() {
        const auto find = [](const char* key, const char* found) {
            return Steps{{QString("pmb001 cardno=%1 > member_id").arg(key),
                          QString("1 成功 %1").arg(found).trimmed()}};
        };
        const QString zhang =
            R"({"actionlist":[{"action_name":"消费积分","action_no":"A01","score_cash":"12.00","score_value":"1200"},)"
            R"({"action_name":"活动积分","action_no":"A02","score_cash":"3.00","score_value":"300"}],)"
            R"("address":"深圳市南山区科技园","birthday":"1990-05-01","cardno":"8800001","grade_level":"G1",)"
            R"("grade_name":"金卡","member_id":"M1001","member_name":"张三","mobile":"13800000001"})";
        table({
            {"whole record with accounts and their cash value",
             {{"pmb001 cardno=8800001", "1 成功 {\"memberinfo\":[" + zhang + "]}"}}},
            {"card number", find("8800002", "M1002")},
            {"mobile", find("13900000002", "M1002")},
            {"member id", find("M1003", "M1003")},
            {"name", find("王小五", "M1004")},
            {"part of a name", find("王", "")},
            {"shared phone", find("13700000003", "M1003,M1004")},
            {"unknown", find("8800009", "")},
        });
    }
    void memberLookup() { run(); }

    void password_data() {
        const QString pw = "pmb002 member_id=%1 password=%2 type=1";
        table({
            {"right", {{pw.arg("M1002", "123456"), "1 成功"}}},
            {"wrong", {{pw.arg("M1002", "654321"), "0 密码错误"}}},
            {"empty for a set password", {{pw.arg("M1002", ""), "0 密码错误"}}},
            {"none set, empty given", {{pw.arg("M1001", ""), "1 成功"}}},
            {"none set, some given", {{pw.arg("M1001", "123456"), "0 密码错误"}}},
            {"unknown member", {{pw.arg("M1009", ""), "0 会员不存在"}}},
        });
    }
    void password() { run(); }

    // A retry after a time-out gets the same answer and earns nothing twice.
    void settlement_data() {
        const QString settle = "pmb021 order_id=%1 member_id=%2 sale_type=%3 value=%4";
        const auto twice = [&](const QString& type, const QString& value, const QString& reply,
                               const QString& after) {
            return Steps{{settle.arg("B1", "M1001", type, value), reply},
                         {settle.arg("B1", "M1001", type, value), reply},
                         {"accounts M1001", after},
                         {settle.arg("B2", "M1009", type, value), "0 会员不存在"}};
        };
        table({
            {"sale",
             twice("1", "199.99", R"(1 成功 {"score":"199","score_value":"1699"})", "A01=1399 A02=300")},
            {"sale of 200",
             twice(
                 "1", "200",
                 R"(1 成功 {"couponInfo":[{"begin_date":"{day+0}","coupon_no":"Q90001","end_date":"{day+30}",)"
                 R"("remark":"下次消费可用","ticket_name":"满200送20","ticket_value":"20"}],"score":"200","score_value":"1700"})",
                 "A01=1400 A02=300")},
            {"return",
             twice("2", "50.5", R"(1 成功 {"score":"-50","score_value":"1450"})", "A01=1150 A02=300")},
            {"return of 300",
             twice("2", "300", R"(1 成功 {"score":"-300","score_value":"1200"})", "A01=900 A02=300")},
            {"issued coupon is the member's own",
             {{settle.arg("B1", "M1004", "1", "250") + " > coupon_no", "1 成功 Q90001"},
              {settle.arg("B2", "M1004", "1", "300") + " > coupon_no", "1 成功 Q90002"},
              {"accounts M1004", "A01=550"},
              {"pmb011 member_id=M1004 s_value=100.00 coupon_list=Q90001 > useflag", "1 成功 1"},
              {"pmb011 member_id=M1003 s_value=100.00 coupon_list=Q90001 > useflag", "1 成功 0"}}},
        });
    }
    void settlement() { run(); }

    void couponQuery_data() {
        const QString query = "pmb010 coupon_no=%1 member_id=M1001";
        const QString info = R"(1 成功 {"couponInfo":{"begin_date":"%1","coupon_no":"%2","end_date":"%3",)"
                             R"("remark":"全场通用","status":"%4","ticket_name":"%5","ticket_value":"%6"}})";
        table({
            {"usable",
             {{query.arg("Q0001"), info.arg("{day-30}", "Q0001", "{day+365}", "1", "满100减10", "10")}}},
            {"used",
             {{query.arg("Q0003"), info.arg("{day-30}", "Q0003", "{day+365}", "2", "代金券5元", "5")}}},
            {"expired",
             {{query.arg("Q0004"), info.arg("{day-90}", "Q0004", "{day-1}", "3", "过期券", "10")}}},
            {"unknown", {{query.arg("Q0009"), "0 券不存在"}}},
        });
    }
    void couponQuery() { run(); }

    void couponCheck_data() {
        const auto check = [](const char* member, const char* value, const char* coupons,
                              const char* verdicts) {
            return Steps{
                {QString("pmb011 type=1 member_id=%1 s_value=%2 coupon_list=%3 > coupon_no:useflag:pay_value")
                     .arg(member, value, coupons),
                 QString("1 成功 ") + verdicts}};
        };
        table({
            {"both in full", check("M1001", "100.00", "Q0001,Q0002", "Q0001:1:10.00,Q0002:1:20.00")},
            {"second covers the rest", check("M1001", "25.00", "Q0001,Q0002", "Q0001:1:10.00,Q0002:1:15.00")},
            {"nothing left for the second",
             check("M1001", "8.00", "Q0001,Q0002", "Q0001:1:8.00,Q0002:0:0.00")},
            {"used one is skipped", check("M1001", "100.00", "Q0003,Q0001", "Q0003:0:0.00,Q0001:1:10.00")},
            {"expired", check("M1001", "100.00", "Q0004", "Q0004:0:0.00")},
            {"unknown", check("M1001", "100.00", "Q0009", "Q0009:0:0.00")},
            {"another member's", check("M1001", "100.00", "Q0005", "Q0005:0:0.00")},
            {"the owner's", check("M1002", "100.00", "Q0005", "Q0005:1:15.00")},
            {"entered twice", check("M1001", "100.00", "Q0002,Q0002", "Q0002:1:20.00,Q0002:0:0.00")},
        });
    }
    void couponCheck() { run(); }

    // Payments (type 1) are answered again unchanged when retried; refunds (type -1) give
    // back at most what the original order paid.
    void pointsPayment_data() {
        const QString pay = "pmb020 order_id=%1 member_id=%2 type=%3 score_cash=%4 sorder_id=%5";
        const auto twice = [&](const char* member, const char* cash, const QString& reply,
                               const QString& after) {
            return Steps{{pay.arg("P1", member, "1", cash, ""), reply},
                         {pay.arg("P1", member, "1", cash, ""), reply},
                         {QString("accounts ") + member, after}};
        };
        const QString tooMuch = "0 退还积分超过原支付积分",
                      refund = R"(1 成功 {"score":"%1","score_value":"%2"})";
        table({
            {"from both accounts",
             twice("M1001", "13.00", R"(1 成功 {"score":"-1300","score_value":"200"})", "A01=0 A02=200")},
            {"every point", twice("M1003", "5.00", R"(1 成功 {"score":"-500","score_value":"0"})", "A01=0")},
            {"one fen short", twice("M1003", "5.01", "0 积分不足", "A01=500")},
            {"nothing", twice("M1003", "0.00", "0 积分支付金额无效", "A01=500")},
            {"refund gives back what was paid",
             {{pay.arg("P1", "M1001", "1", "13.00", "") + " > score", "1 成功 -1300"},
              {pay.arg("R0", "M1001", "-1", "1.00", "P9"), "0 原订单无积分支付记录"},
              {pay.arg("R0", "M1003", "-1", "1.00", "P1"), "0 会员与原订单不符"},
              {pay.arg("R0", "M1001", "-1", "13.01", "P1"), tooMuch},
              {pay.arg("R1", "M1001", "-1", "10.00", "P1"), refund.arg("1000", "1200")},
              {pay.arg("R1", "M1001", "-1", "10.00", "P1"), refund.arg("1000", "1200")},
              {"accounts M1001", "A01=1000 A02=200"},
              {pay.arg("R2", "M1001", "-1", "3.01", "P1"), tooMuch},
              {pay.arg("R2", "M1001", "-1", "3.00", "P1"), refund.arg("300", "1500")},
              {"accounts M1001", "A01=1200 A02=300"}}},
        });
    }
    void pointsPayment() { run(); }

    // A write-off takes every coupon or none; a retried one gets the same serials again.
    void writeOff_data() {
        const QString off = "pmb023 order_id=%1 member_id=%2 coupon_list=%3";
        const auto refused = [&](const char* coupons, const QString& reply) {
            return Steps{{off.arg("B1", "M1001", coupons), reply},
                         {"pmb011 member_id=M1001 s_value=100.00 coupon_list=Q0002 > useflag", "1 成功 1"},
                         {off.arg("B2", "M1001", "Q0002") + " > payflow", "1 成功 WO00000001"}};
        };
        const QString written = R"(1 成功 {"coupon_list":[{"coupon_no":"Q0001","payflow":"WO00000001"},)"
                                R"({"coupon_no":"Q0005","payflow":"WO00000002"}]})";
        table({
            {"serials",
             {{off.arg("B1", "M1002", "Q0001,Q0005"), written},
              {off.arg("B1", "M1002", "Q0001,Q0005"), written},
              {off.arg("B2", "M1002", "Q0002,Q0001"), "0 券已使用: Q0001"},
              {"pmb011 member_id=M1002 s_value=100.00 coupon_list=Q0001,Q0002",
               R"(1 成功 {"coupon_list":[{"coupon_no":"Q0001","pay_value":"0.00","useflag":"0"},)"
               R"({"coupon_no":"Q0002","pay_value":"20.00","useflag":"1"}]})"},
              {off.arg("B2", "M1002", "Q0002") + " > payflow", "1 成功 WO00000003"}}},
            {"used", refused("Q0002,Q0003", "0 券已使用: Q0003")},
            {"expired", refused("Q0002,Q0004", "0 券已过期: Q0004")},
            {"another member's", refused("Q0002,Q0005", "0 券不属于该会员: Q0005")},
            {"unknown", refused("Q0002,Q0009", "0 券不存在: Q0009")},
            {"entered twice", refused("Q0002,Q0002", "0 券重复: Q0002")},
        });
    }
    void writeOff() { run(); }

    // A fault stands in for the business reply of its code only, until it is lifted.
    void faults() {
        const QByteArray html500 = "<html><body><h1>500 Internal Server Error</h1></body></html>";
        for (const Fault f : {Fault::Http500, Fault::NotJson}) {
            biz->setFault("pmb001", f);
            std::unique_ptr<QNetworkReply> reply(send("pmb001", {{"cardno", "8800001"}}, {}));
            QVERIFY(wait(reply.get()));
            QCOMPARE(reply->error(),
                     f == Fault::Http500 ? QNetworkReply::InternalServerError : QNetworkReply::NoError);
            QCOMPARE(reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(),
                     f == Fault::Http500 ? 500 : 200);
            QCOMPARE(reply->readAll(),
                     f == Fault::Http500
                         ? html500
                         : QByteArray("<html><body>Service temporarily unavailable</body></html>"));
            QCOMPARE(exchange("pmb002 member_id=M1001 password="), "1 成功"); // only that code
        }
        biz->setFault("pmb001", Fault::None);
        QCOMPARE(exchange("pmb001 cardno=8800001 > member_id"), "1 成功 M1001");

        biz->setFault("pmb020", Fault::Hang);
        std::unique_ptr<QNetworkReply> hanging(send("pmb020", {}, {}));
        QVERIFY(!wait(hanging.get(), 500));
        // Other codes are served while one hangs, also with a latency.
        biz->setLatency(300);
        QCOMPARE(exchange("pmb002 member_id=M1001 password="), "1 成功");
        sim->stop(); // releases the hanging request
        QVERIFY(wait(hanging.get(), 5000) && hanging->error() != QNetworkReply::NoError);
    }

    void stateOutlivesTheProcessUntilReset() {
        QTemporaryDir dir;
        const QString file = dir.filePath("crm.db");
        auto first = std::make_unique<crmsim::Business>();
        QVERIFY(first->open(file));
        serve(first.get());
        signIn();
        QCOMPARE(exchange("pmb021 order_id=B1 member_id=M1003 sale_type=1 value=88 > score_value"),
                 "1 成功 588");
        sim->setFallback(nullptr);
        first.reset();

        crmsim::Business second;
        QVERIFY(second.open(file));
        serve(&second);
        QCOMPARE(exchange("accounts M1003"), "A01=588"); // the token survived as well
        QVERIFY(second.reset());
        QCOMPARE(exchange("pmb001 cardno=M1003"), "0 token无效，请重新签到");
        signIn();
        QCOMPARE(exchange("accounts M1003"), "A01=500");
        sim->setFallback(nullptr);
    }
};

QTEST_MAIN(tst_CrmBusiness)
#include "tst_CrmBusiness.moc"
