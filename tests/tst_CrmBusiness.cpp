// The simulated CRM's business rules as a till meets them: every request goes over a
// real socket with the till's headers, and the state lives in a real SQLite database
// loaded with the demo data.

#include "Business.h"
#include "CrmSim.h"

#include <QDate>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <memory>

using Fault = crmsim::Business::Fault;
Q_DECLARE_METATYPE(Fault)

namespace {

struct Answer {
    bool finished = false;
    int error = -1;
    int status = 0;
    QByteArray body;
    QJsonObject data; // "data" of the reply
    qint64 elapsedMs = 0;
};

QJsonObject ok(QJsonObject fields = {}, const QString& msg = QStringLiteral("成功")) {
    fields.insert("result_code", "1");
    fields.insert("result_msg", msg);
    return fields;
}

QJsonObject refused(const QString& msg) {
    return QJsonObject{{"result_code", "0"}, {"result_msg", msg}};
}

QJsonArray coupons(const QStringList& numbers) {
    QJsonArray list;
    for (const QString& no : numbers)
        list.append(QJsonObject{{"coupon_no", no}});
    return list;
}

QString day(int fromToday) {
    return QDate::currentDate().addDays(fromToday).toString(Qt::ISODate);
}

} // namespace

// Readable JSON in failure messages.
char* toString(const QJsonObject& o) {
    return qstrdup(QJsonDocument(o).toJson(QJsonDocument::Compact).constData());
}
char* toString(const QJsonArray& a) {
    return qstrdup(QJsonDocument(a).toJson(QJsonDocument::Compact).constData());
}
char* toString(const QJsonValue& v) {
    return toString(QJsonArray{v});
}

class tst_CrmBusiness : public QObject {
    Q_OBJECT

    std::unique_ptr<crmsim::Business> biz;
    std::unique_ptr<crmsim::Server> sim;
    std::unique_ptr<QNetworkAccessManager> nam;
    QByteArray token;

    QNetworkReply* send(const QByteArray& txcode, const QJsonObject& body, const QByteArray& tok,
                        const QByteArray& company = "C001", const QByteArray& device = "POS01") {
        QNetworkRequest req(QUrl(sim->baseUrl() + "/txCtrl?txcode=" + QString::fromUtf8(txcode)));
        req.setRawHeader("Content-Type", "application/json;charset=utf-8");
        req.setRawHeader("Accept", "application/json");
        req.setRawHeader("Token", tok);
        req.setRawHeader("dataType", "json");
        req.setRawHeader("DeviceId", device);
        req.setRawHeader("CompanyId", company);
        return nam->post(req, QJsonDocument(body).toJson(QJsonDocument::Compact));
    }

    static Answer finish(QNetworkReply* reply, int timeoutMs = 10000) {
        QElapsedTimer clock;
        clock.start();
        if (!reply->isFinished()) {
            QEventLoop loop;
            QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
            QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
            loop.exec();
        }
        Answer a;
        a.elapsedMs = clock.elapsed();
        a.finished = reply->isFinished();
        if (a.finished) {
            a.error = reply->error();
            a.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
            a.body = reply->readAll();
            a.data = QJsonDocument::fromJson(a.body).object().value("data").toObject();
            reply->deleteLater();
        }
        return a;
    }

    const QJsonObject call(const QByteArray& txcode, const QJsonObject& body) {
        return finish(send(txcode, body, token)).data;
    }

    const QJsonObject signIn(const QString& serial, const QString& device, const QString& pwd) {
        return call("sig999", {{"serial_num", serial}, {"device_id", device}, {"entry_pwd", pwd}});
    }

    // The member's point accounts as "A01=1200", from the member lookup.
    QStringList accounts(const QString& memberId) {
        QStringList out;
        const QJsonArray found =
            call("pmb001", {{"shop_id", "S0101"}, {"cardno", memberId}})["memberinfo"].toArray();
        for (const QJsonValue& acc : found.at(0)["actionlist"].toArray())
            out << acc["action_no"].toString() + "=" + acc["score_value"].toString();
        return out;
    }

    const QJsonObject settle(const QString& order, const QString& member, const QString& saleType,
                             const QString& value) {
        return call("pmb021", {{"order_id", order},
                               {"member_id", member},
                               {"sale_type", saleType},
                               {"shop_id", "S0101"},
                               {"s_value", value},
                               {"value", value}});
    }

    const QJsonObject check(const QString& member, const QString& sValue, const QStringList& numbers) {
        return call("pmb011", {{"shop_id", "S0101"},
                               {"type", "1"},
                               {"member_id", member},
                               {"s_value", sValue},
                               {"coupon_list", coupons(numbers)}});
    }

    const QJsonObject payPoints(const QString& order, const QString& member, const QString& type,
                                const QString& cash, const QString& original = QString()) {
        return call("pmb020", {{"shop_id", "S0101"},
                               {"order_id", order},
                               {"member_id", member},
                               {"type", type},
                               {"score_cash", cash},
                               {"sorder_id", original}});
    }

    const QJsonObject writeOff(const QString& order, const QString& member, const QStringList& numbers) {
        return call("pmb023", {{"shop_id", "S0101"},
                               {"order_id", order},
                               {"member_id", member},
                               {"coupon_list", coupons(numbers)}});
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
        nam = std::make_unique<QNetworkAccessManager>();
        token = signIn("0101", "POS01", "pw0101")["token"].toString().toUtf8();
        QCOMPARE(token.size(), 32);
    }

    void cleanup() {
        sim.reset(); // before the business it calls into
        biz.reset();
        nam.reset();
    }

    void signIn_data() {
        QTest::addColumn<QString>("serial");
        QTest::addColumn<QString>("device");
        QTest::addColumn<QString>("pwd");
        QTest::addColumn<QJsonObject>("expected"); // without the token

        QTest::newRow("enabled store") << "0101"
                                       << "POS01"
                                       << "pw0101" << ok({{"status", "1"}, {"shop_id", "S0101"}}, "签到成功");
        QTest::newRow("wrong password") << "0101"
                                        << "POS01"
                                        << "pw0102" << refused("签到密码错误");
        QTest::newRow("unknown store") << "0102"
                                       << "POS01"
                                       << "pw0101" << refused("门店不存在");
        QTest::newRow("unknown device") << "0101"
                                        << "POS09"
                                        << "pw0101" << refused("设备未注册");
        QTest::newRow("disabled store") << "0999"
                                        << "POS01"
                                        << "pw0999" << ok({{"status", "0"}}, "门店已停用");
    }

    void signIn() {
        QFETCH(QString, serial);
        QFETCH(QString, device);
        QFETCH(QString, pwd);
        QFETCH(QJsonObject, expected);

        QJsonObject data = signIn(serial, device, pwd);
        const QByteArray issued = data.take("token").toString().toUtf8();
        QCOMPARE(data, expected);

        const QJsonObject lookup{{"shop_id", "S0101"}, {"cardno", "8800001"}};
        if (expected["status"] == "1") {
            QVERIFY(QRegularExpression("^[0-9a-f]{32}$").match(issued).hasMatch());
            QVERIFY(issued != token);
            // The new token replaces the one the till held.
            QCOMPARE(finish(send("pmb001", lookup, token)).data, refused("token无效，请重新签到"));
            QCOMPARE(finish(send("pmb001", lookup, issued)).data["result_code"], "1");
        } else {
            QVERIFY(issued.isEmpty());
            QCOMPARE(finish(send("pmb001", lookup, token)).data["result_code"], "1");
        }
    }

    void credentialsAreChecked_data() {
        QTest::addColumn<QByteArray>("tok");
        QTest::addColumn<QByteArray>("company");
        QTest::addColumn<QByteArray>("device");
        QTest::addColumn<QString>("refusal"); // empty: served

        QTest::newRow("signed in") << QByteArray() << QByteArray("C001") << QByteArray("POS01") << "";
        QTest::newRow("stale token") << QByteArray("0123456789abcdef0123456789abcdef") << QByteArray("C001")
                                     << QByteArray("POS01") << "token无效，请重新签到";
        QTest::newRow("no token") << QByteArray("-") << QByteArray("C001") << QByteArray("POS01")
                                  << "token无效，请重新签到";
        QTest::newRow("other company")
            << QByteArray() << QByteArray("C002") << QByteArray("POS01") << "公司ID无效";
        QTest::newRow("unknown device")
            << QByteArray() << QByteArray("C001") << QByteArray("POS02") << "设备未注册";
    }

    void credentialsAreChecked() {
        QFETCH(QByteArray, tok);
        QFETCH(QByteArray, company);
        QFETCH(QByteArray, device);
        QFETCH(QString, refusal);
        const QByteArray sent = tok.isEmpty() ? token : tok == "-" ? QByteArray() : tok;

        const QJsonObject data =
            finish(send("pmb001", {{"shop_id", "S0101"}, {"cardno", "8800001"}}, sent, company, device)).data;

        if (refusal.isEmpty())
            QCOMPARE(data["memberinfo"].toArray().size(), 1);
        else
            QCOMPARE(data, refused(refusal));
    }

    void memberLookup_data() {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QStringList>("members");

        QTest::newRow("card number") << "8800002" << QStringList{"M1002"};
        QTest::newRow("mobile") << "13900000002" << QStringList{"M1002"};
        QTest::newRow("member id") << "M1003" << QStringList{"M1003"};
        QTest::newRow("name") << "王小五" << QStringList{"M1004"};
        QTest::newRow("part of a name") << "王" << QStringList{};
        QTest::newRow("shared phone") << "13700000003" << QStringList{"M1003", "M1004"};
        QTest::newRow("unknown") << "8800009" << QStringList{};
    }

    void memberLookup() {
        QFETCH(QString, key);
        QFETCH(QStringList, members);

        const QJsonObject data = call("pmb001", {{"shop_id", "S0101"}, {"cardno", key}});

        QCOMPARE(data["result_code"], "1");
        QStringList found;
        for (const QJsonValue& m : data["memberinfo"].toArray())
            found << m["member_id"].toString();
        QCOMPARE(found, members);
    }

    void memberRecordCarriesAccountsAndTheirCashValue() {
        const QJsonObject zhang{{"member_id", "M1001"},
                                {"cardno", "8800001"},
                                {"grade_level", "G1"},
                                {"grade_name", "金卡"},
                                {"member_name", "张三"},
                                {"birthday", "1990-05-01"},
                                {"mobile", "13800000001"},
                                {"address", "深圳市南山区科技园"},
                                {"actionlist", QJsonArray{QJsonObject{{"action_no", "A01"},
                                                                      {"action_name", "消费积分"},
                                                                      {"score_value", "1200"},
                                                                      {"score_cash", "12.00"}},
                                                          QJsonObject{{"action_no", "A02"},
                                                                      {"action_name", "活动积分"},
                                                                      {"score_value", "300"},
                                                                      {"score_cash", "3.00"}}}}};
        QCOMPARE(call("pmb001", {{"shop_id", "S0101"}, {"cardno", "8800001"}}),
                 ok({{"memberinfo", QJsonArray{zhang}}}));
    }

    void password_data() {
        QTest::addColumn<QString>("member");
        QTest::addColumn<QString>("password");
        QTest::addColumn<QJsonObject>("expected");

        QTest::newRow("right") << "M1002"
                               << "123456" << ok();
        QTest::newRow("wrong") << "M1002"
                               << "654321" << refused("密码错误");
        QTest::newRow("empty for a set password") << "M1002"
                                                  << "" << refused("密码错误");
        QTest::newRow("none set, empty given") << "M1001"
                                               << "" << ok();
        QTest::newRow("none set, some given") << "M1001"
                                              << "123456" << refused("密码错误");
        QTest::newRow("unknown member") << "M1009"
                                        << "" << refused("会员不存在");
    }

    void password() {
        QFETCH(QString, member);
        QFETCH(QString, password);
        QFETCH(QJsonObject, expected);
        QCOMPARE(call("pmb002", {{"member_id", member}, {"password", password}, {"type", "1"}}), expected);
    }

    void settlement_data() {
        QTest::addColumn<QString>("saleType");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QJsonObject>("expected");

        const QJsonObject gift{{"ticket_name", "满200送20"}, {"ticket_value", "20"},
                               {"coupon_no", "Q90001"},      {"begin_date", day(0)},
                               {"end_date", day(30)},        {"remark", "下次消费可用"}};
        QTest::newRow("sale") << "1"
                              << "199.99" << ok({{"score", "199"}, {"score_value", "1699"}});
        QTest::newRow("sale of 200")
            << "1"
            << "200" << ok({{"score", "200"}, {"score_value", "1700"}, {"couponInfo", QJsonArray{gift}}});
        QTest::newRow("return") << "2"
                                << "50.5" << ok({{"score", "-50"}, {"score_value", "1450"}});
        QTest::newRow("return of 300") << "2"
                                       << "300" << ok({{"score", "-300"}, {"score_value", "1200"}});
    }

    void settlement() {
        QFETCH(QString, saleType);
        QFETCH(QString, value);
        QFETCH(QJsonObject, expected);

        QCOMPARE(settle("B1", "M1001", saleType, value), expected);
        // The till retries after a time-out: the same answer, nothing earned twice.
        QCOMPARE(settle("B1", "M1001", saleType, value), expected);
        const int total = expected["score_value"].toString().toInt();
        QCOMPARE(accounts("M1001"), (QStringList{QString("A01=%1").arg(total - 300), "A02=300"}));
        QCOMPARE(settle("B2", "M1009", saleType, value), refused("会员不存在"));
    }

    void issuedCouponIsTheMembersOwn() {
        const QString no = settle("B1", "M1004", "1", "250")["couponInfo"][0]["coupon_no"].toString();
        QCOMPARE(no, "Q90001");
        QCOMPARE(settle("B2", "M1004", "1", "300")["couponInfo"][0]["coupon_no"], "Q90002");
        QCOMPARE(accounts("M1004"), QStringList{"A01=550"});

        QCOMPARE(check("M1004", "100.00", {no})["coupon_list"][0]["useflag"], "1");
        QCOMPARE(check("M1003", "100.00", {no})["coupon_list"][0]["useflag"], "0");
    }

    void couponQuery_data() {
        QTest::addColumn<QString>("no");
        QTest::addColumn<QJsonObject>("expected");

        const auto info = [](const QString& no, const QString& name, const QString& value,
                             const QString& begin, const QString& end, const QString& remark,
                             const QString& status) {
            return ok({{"couponInfo", QJsonObject{{"coupon_no", no},
                                                  {"ticket_name", name},
                                                  {"ticket_value", value},
                                                  {"begin_date", begin},
                                                  {"end_date", end},
                                                  {"remark", remark},
                                                  {"status", status}}}});
        };
        QTest::newRow("usable") << "Q0001"
                                << info("Q0001", "满100减10", "10", day(-30), day(365), "全场通用", "1");
        QTest::newRow("used") << "Q0003"
                              << info("Q0003", "代金券5元", "5", day(-30), day(365), "全场通用", "2");
        QTest::newRow("expired") << "Q0004"
                                 << info("Q0004", "过期券", "10", day(-90), day(-1), "全场通用", "3");
        QTest::newRow("unknown") << "Q0009" << refused("券不存在");
    }

    void couponQuery() {
        QFETCH(QString, no);
        QFETCH(QJsonObject, expected);
        QCOMPARE(call("pmb010", {{"shop_id", "S0101"}, {"coupon_no", no}, {"member_id", "M1001"}}), expected);
    }

    void couponCheck_data() {
        QTest::addColumn<QString>("member");
        QTest::addColumn<QString>("sValue");
        QTest::addColumn<QStringList>("numbers");
        QTest::addColumn<QStringList>("verdicts"); // coupon:useflag:pay_value

        QTest::newRow("both in full")
            << "M1001"
            << "100.00" << QStringList{"Q0001", "Q0002"} << QStringList{"Q0001:1:10.00", "Q0002:1:20.00"};
        QTest::newRow("second covers the rest")
            << "M1001"
            << "25.00" << QStringList{"Q0001", "Q0002"} << QStringList{"Q0001:1:10.00", "Q0002:1:15.00"};
        QTest::newRow("nothing left for the second")
            << "M1001"
            << "8.00" << QStringList{"Q0001", "Q0002"} << QStringList{"Q0001:1:8.00", "Q0002:0:0.00"};
        QTest::newRow("used one is skipped")
            << "M1001"
            << "100.00" << QStringList{"Q0003", "Q0001"} << QStringList{"Q0003:0:0.00", "Q0001:1:10.00"};
        QTest::newRow("expired") << "M1001"
                                 << "100.00" << QStringList{"Q0004"} << QStringList{"Q0004:0:0.00"};
        QTest::newRow("unknown") << "M1001"
                                 << "100.00" << QStringList{"Q0009"} << QStringList{"Q0009:0:0.00"};
        QTest::newRow("another member's") << "M1001"
                                          << "100.00" << QStringList{"Q0005"} << QStringList{"Q0005:0:0.00"};
        QTest::newRow("the owner's") << "M1002"
                                     << "100.00" << QStringList{"Q0005"} << QStringList{"Q0005:1:15.00"};
        QTest::newRow("entered twice")
            << "M1001"
            << "100.00" << QStringList{"Q0002", "Q0002"} << QStringList{"Q0002:1:20.00", "Q0002:0:0.00"};
    }

    void couponCheck() {
        QFETCH(QString, member);
        QFETCH(QString, sValue);
        QFETCH(QStringList, numbers);
        QFETCH(QStringList, verdicts);

        const QJsonObject data = check(member, sValue, numbers);

        QCOMPARE(data["result_code"], "1");
        QStringList got;
        for (const QJsonValue& c : data["coupon_list"].toArray())
            got << c["coupon_no"].toString() + ":" + c["useflag"].toString() + ":" +
                       c["pay_value"].toString();
        QCOMPARE(got, verdicts);
    }

    void pointsPayment_data() {
        QTest::addColumn<QString>("member");
        QTest::addColumn<QString>("cash");
        QTest::addColumn<QJsonObject>("expected");
        QTest::addColumn<QStringList>("after");

        QTest::newRow("from both accounts")
            << "M1001"
            << "13.00" << ok({{"score", "-1300"}, {"score_value", "200"}}) << QStringList{"A01=0", "A02=200"};
        QTest::newRow("every point") << "M1003"
                                     << "5.00" << ok({{"score", "-500"}, {"score_value", "0"}})
                                     << QStringList{"A01=0"};
        QTest::newRow("one fen short") << "M1003"
                                       << "5.01" << refused("积分不足") << QStringList{"A01=500"};
        QTest::newRow("nothing") << "M1003"
                                 << "0.00" << refused("积分支付金额无效") << QStringList{"A01=500"};
    }

    void pointsPayment() {
        QFETCH(QString, member);
        QFETCH(QString, cash);
        QFETCH(QJsonObject, expected);
        QFETCH(QStringList, after);

        QCOMPARE(payPoints("P1", member, "1", cash), expected);
        QCOMPARE(payPoints("P1", member, "1", cash), expected); // a retry pays nothing more
        QCOMPARE(accounts(member), after);
    }

    void pointsRefundGivesBackWhatWasPaid() {
        QCOMPARE(payPoints("P1", "M1001", "1", "13.00")["result_code"], "1");

        QCOMPARE(payPoints("R0", "M1001", "-1", "1.00", "P9"), refused("原订单无积分支付记录"));
        QCOMPARE(payPoints("R0", "M1003", "-1", "1.00", "P1"), refused("会员与原订单不符"));
        QCOMPARE(payPoints("R0", "M1001", "-1", "13.01", "P1"), refused("退还积分超过原支付积分"));

        const QJsonObject refund = ok({{"score", "1000"}, {"score_value", "1200"}});
        QCOMPARE(payPoints("R1", "M1001", "-1", "10.00", "P1"), refund);
        QCOMPARE(payPoints("R1", "M1001", "-1", "10.00", "P1"), refund);
        QCOMPARE(accounts("M1001"), (QStringList{"A01=1000", "A02=200"}));

        QCOMPARE(payPoints("R2", "M1001", "-1", "3.01", "P1"), refused("退还积分超过原支付积分"));
        QCOMPARE(payPoints("R2", "M1001", "-1", "3.00", "P1"),
                 ok({{"score", "300"}, {"score_value", "1500"}}));
        QCOMPARE(accounts("M1001"), (QStringList{"A01=1200", "A02=300"}));
    }

    void writeOffGivesSerials() {
        const QJsonObject written =
            ok({{"coupon_list", QJsonArray{QJsonObject{{"coupon_no", "Q0001"}, {"payflow", "WO00000001"}},
                                           QJsonObject{{"coupon_no", "Q0005"}, {"payflow", "WO00000002"}}}}});
        QCOMPARE(writeOff("B1", "M1002", {"Q0001", "Q0005"}), written);
        QCOMPARE(writeOff("B1", "M1002", {"Q0001", "Q0005"}), written); // the same serials again

        QCOMPARE(writeOff("B2", "M1002", {"Q0002", "Q0001"}), refused("券已使用: Q0001"));
        QCOMPARE(check("M1002", "100.00", {"Q0001", "Q0002"})["coupon_list"],
                 (QJsonArray{QJsonObject{{"coupon_no", "Q0001"}, {"useflag", "0"}, {"pay_value", "0.00"}},
                             QJsonObject{{"coupon_no", "Q0002"}, {"useflag", "1"}, {"pay_value", "20.00"}}}));
        QCOMPARE(writeOff("B2", "M1002", {"Q0002"})["coupon_list"][0]["payflow"], "WO00000003");
    }

    void writeOffRefusesTheWholeSet_data() {
        QTest::addColumn<QStringList>("numbers");
        QTest::addColumn<QString>("refusal");

        QTest::newRow("used") << QStringList{"Q0002", "Q0003"} << "券已使用: Q0003";
        QTest::newRow("expired") << QStringList{"Q0002", "Q0004"} << "券已过期: Q0004";
        QTest::newRow("another member's") << QStringList{"Q0002", "Q0005"} << "券不属于该会员: Q0005";
        QTest::newRow("unknown") << QStringList{"Q0002", "Q0009"} << "券不存在: Q0009";
        QTest::newRow("entered twice") << QStringList{"Q0002", "Q0002"} << "券重复: Q0002";
    }

    void writeOffRefusesTheWholeSet() {
        QFETCH(QStringList, numbers);
        QFETCH(QString, refusal);

        QCOMPARE(writeOff("B1", "M1001", numbers), refused(refusal));
        QCOMPARE(check("M1001", "100.00", {"Q0002"})["coupon_list"][0]["useflag"], "1");
        QCOMPARE(writeOff("B2", "M1001", {"Q0002"})["coupon_list"][0]["payflow"], "WO00000001");
    }

    void faults_data() {
        QTest::addColumn<Fault>("fault");
        QTest::addColumn<int>("error");
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");

        QTest::newRow("500") << Fault::Http500 << int(QNetworkReply::InternalServerError) << 500
                             << QByteArray("<html><body><h1>500 Internal Server Error</h1></body></html>");
        QTest::newRow("not JSON") << Fault::NotJson << int(QNetworkReply::NoError) << 200
                                  << QByteArray("<html><body>Service temporarily unavailable</body></html>");
    }

    void faults() {
        QFETCH(Fault, fault);
        QFETCH(int, error);
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        const QJsonObject lookup{{"shop_id", "S0101"}, {"cardno", "8800001"}};

        biz->setFault("pmb001", fault);
        const Answer a = finish(send("pmb001", lookup, token));
        QCOMPARE(a.error, error);
        QCOMPARE(a.status, status);
        QCOMPARE(a.body, body);
        QCOMPARE(call("pmb002", {{"member_id", "M1001"}, {"password", ""}}), ok()); // only that code

        biz->setFault("pmb001", Fault::None);
        QCOMPARE(call("pmb001", lookup)["memberinfo"].toArray().size(), 1);
    }

    void hangAndLatency() {
        biz->setFault("pmb020", Fault::Hang);
        QNetworkReply* hanging = send("pmb020", {}, token);
        QVERIFY(!finish(hanging, 500).finished);

        biz->setLatency(300);
        const Answer slow = finish(send("pmb002", {{"member_id", "M1001"}, {"password", ""}}, token));
        QVERIFY2(slow.elapsedMs >= 300, qPrintable(QString::number(slow.elapsedMs)));
        QCOMPARE(slow.data, ok());

        sim->stop(); // releases the hanging request
        QVERIFY(finish(hanging, 5000).error != QNetworkReply::NoError);
    }

    void stateOutlivesTheProcessUntilReset() {
        QTemporaryDir dir;
        const QString file = dir.filePath("crm.db");
        auto first = std::make_unique<crmsim::Business>();
        QVERIFY(first->open(file));
        serve(first.get());
        token = signIn("0101", "POS01", "pw0101")["token"].toString().toUtf8();
        QCOMPARE(settle("B1", "M1003", "1", "88")["score_value"], "588");
        sim->setFallback(nullptr);
        first.reset();

        crmsim::Business second;
        QVERIFY(second.open(file));
        serve(&second);
        QCOMPARE(accounts("M1003"), QStringList{"A01=588"}); // the token survived as well
        QVERIFY(second.reset());
        QCOMPARE(call("pmb001", {{"cardno", "M1003"}}), refused("token无效，请重新签到"));
        token = signIn("0101", "POS01", "pw0101")["token"].toString().toUtf8();
        QCOMPARE(accounts("M1003"), QStringList{"A01=500"});
        sim->setFallback(nullptr);
    }
};

QTEST_MAIN(tst_CrmBusiness)
#include "tst_CrmBusiness.moc"
