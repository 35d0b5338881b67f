// Settling a finished order: the request the CRM receives, the points the host gets back
// and the coupons' text for the receipt.
#include "support/Columns.h"
#include "support/CrmReplies.h"
#include "support/TillFixture.h"

#include <QtTest>

using namespace Requests;

namespace {

QByteArray settled(const QString& points, const QString& total, const QString& ticket) {
    return QStringLiteral(R"({"cent":"%1","printcent":"1","rtncode":"111111","rtnmsg":"成功",)"
                          R"("sendticket":"%3","sum_cent":"%2"})")
        .arg(points, total, ticket)
        .toUtf8();
}

QByteArray failed(const QString& message) {
    return QStringLiteral(R"({"rtncode":"000000","rtnmsg":"%1"})").arg(message).toUtf8();
}

const QString kRetry = QStringLiteral("，请再次尝试或联系管理员处理");

} // namespace

class TestOrderSettlement : public ScriptedTillSuite {
    Q_OBJECT
    QJsonObject sentBody(const QJsonObject& request) {
        m_till->script("pmb021", {CrmReplies::refused("x")});
        m_till->vip(request);
        return QJsonDocument::fromJson(m_till->bodies("pmb021").value(0)).object();
    }

private slots:
    void init() { startTill(); }
    void cleanup() { endTill(); }

    // Amounts go without sign; totals and quantities in six significant digits, the totals
    // to the cent with exact amounts.
    void requestBody_data() {
        columns<bool, QJsonValue, QJsonValue, QString, QString>(
            {"exact", "shouldTotal", "actualTotal", "sValue", "value"});
        tableRow("six significant digits", false, QJsonValue("-25.505"), QJsonValue(1000000),
                 QString("25.505"), QString("1e+06"));
        tableRow("12345.67 in six digits", false, QJsonValue(12345.67), QJsonValue("12345.67"),
                 QString("12345.7"), QString("12345.7"));
        tableRow("exact amounts: to the cent", true, QJsonValue(-12345.67), QJsonValue(1000000),
                 QString("12345.67"), QString("1000000.00"));
    }

    void requestBody() {
        QFETCH(bool, exact);
        QFETCH(QJsonValue, shouldTotal);
        QFETCH(QJsonValue, actualTotal);
        QFETCH(QString, sValue);
        QFETCH(QString, value);
        m_till->exactAmounts(exact);
        QJsonObject request =
            with(with(settleRequest(), "shouldtotal", shouldTotal), "actualtotal", actualTotal);
        request.insert("products", QJsonArray{QJsonObject{{"pi", 1001},
                                                          {"bc", "6901"},
                                                          {"pn", "牛奶"},
                                                          {"yj", "12"},
                                                          {"hyj", 11.5},
                                                          {"fsp", -11},
                                                          {"sc", -1.5},
                                                          {"st", "16.5"}},
                                              QJsonObject{{"pi", "1002"}, {"sc", "abc"}}});
        request.insert("pays", QJsonArray{QJsonObject{{"code", "01"},
                                                      {"extranno", "T1"},
                                                      {"payno", "P1"},
                                                      {"pay_amount", -10},
                                                      {"zf_amount", "9.999"}}});
        m_till->script("pmb021", {CrmReplies::accepted({{"score", 12}, {"score_value", "112"}})});
        QCOMPARE(m_till->vip(request), settled("12", "112", ""));
        const QByteArray body =
            QString::fromUtf8(
                R"({"adviser_no":"E7","bizdate":"2026-12-06","cashier_no":"8001","coupon_rebate":"0",)"
                R"("detail_list":[{"act_price":"11.00","adviser_no":"E7","bar_code":"6901","cu_price":"11.00",)"
                R"("goods_id":"1001","goods_name":"牛奶","goods_num":"1.5","member_price":"11.50",)"
                R"("sum_value":"16.50","unit_price":"12.00"},{"act_price":"0.00","adviser_no":"E7","bar_code":"",)"
                R"("cu_price":"0.00","goods_id":"1002","goods_name":"","goods_num":"0","member_price":"0.00",)"
                R"("sum_value":"0.00","unit_price":"0.00"}],"goods_num_total":"3","member_id":"M1",)"
                R"("member_rebate":"0","order_id":"B1","payinfo":[{"pay_code":"P1","pay_value":"10.00",)"
                R"("paytype":"01","rec_value":"10.00","rej_code_cn":"","return_value":"0","trace_no":"T1",)"
                R"("trade_date":"","trade_time":""}],"pos_no":"S1","s_value":"%1","sale_type":"1",)"
                R"("score_rebate":"0","score_value":"","shop_id":"S01","sorder_id":"","sourcebillno":"",)"
                R"("spend_time":"2026-12-06 10:00:00","status":"1","value":"%2"})")
                .arg(sValue, value)
                .toUtf8();
        QCOMPARE(m_till->bodies("pmb021"), QByteArrayList{body});
        QCOMPARE(m_till->dir.logSteps(), (QStringList{"传入参数", "订单结算", "调用成功", "返回结果"}));
        QCOMPARE(m_till->dir.lastLogText("订单结算").toUtf8(), body);
    }

    // A product's name goes to the CRM escaped exactly as Qt's JSON writer escapes it.
    void namesInTheBody_data() {
        columns<QString>({"name"});
        tableRow("quote and backslash", QString("a\"b\\c"));
        tableRow("control characters", QString("\x01\b\f\n\r\t\x1f"));
        tableRow("delete and slash", QString("\x7f/"));
        tableRow("two- and three-byte UTF-8", QString(u8"é牛奶\u2028\uffff"));
        tableRow("an emoji", QString(u8"😀"));
        tableRow("a surrogate without its partner", QString(QChar(0xD800)) + "x" + QChar(0xDC00));
    }

    void namesInTheBody() {
        QFETCH(QString, name);
        // The name as the plug-in reads it from the host's JSON text, and as Qt writes it.
        const QJsonArray given{name};
        const QString read = QJsonDocument::fromJson(QJsonDocument(given).toJson()).array().at(0).toString();
        const QByteArray written =
            QJsonDocument(QJsonArray{read}).toJson(QJsonDocument::Compact).mid(1).chopped(1);
        QJsonObject request = settleRequest();
        request.insert("products", QJsonArray{QJsonObject{{"pi", "1"}, {"pn", name}}});
        m_till->script("pmb021", {CrmReplies::refused("x")});
        m_till->vip(request);
        const QByteArray body = m_till->bodies("pmb021").value(0);
        QVERIFY2(body.contains(R"("goods_name":)" + written + R"(,"goods_num")"), body.constData());
    }

    void numbersInTheBody_data() {
        columns<QString, QJsonValue, QString, QString>({"key", "value", "sent", "text"});
        tableRow("a total that is no number", QString("actualtotal"), QJsonValue("abc"), QString("value"),
                 QString("0"));
        tableRow("a negative piece count", QString("plucounttotal"), QJsonValue(-3),
                 QString("goods_num_total"), QString("3"));
        tableRow("a piece count of 1.5", QString("plucounttotal"), QJsonValue("1.5"),
                 QString("goods_num_total"), QString("1.5"));
        tableRow("a negative amount still settles", QString("amount"), QJsonValue(-25), QString("value"),
                 QString("88.5"));
    }

    void numbersInTheBody() {
        QFETCH(QString, key);
        QFETCH(QJsonValue, value);
        QFETCH(QString, sent);
        QFETCH(QString, text);
        QCOMPARE(sentBody(with(settleRequest(), key, value)).value(sent).toString(), text);
    }

    // A list given as null is no list at all: the order settles without lines.
    void listsGivenAsNull() {
        const QJsonObject body =
            sentBody(with(with(settleRequest(), "products", QJsonValue::Null), "pays", QJsonValue::Null));
        QCOMPARE(body.value("detail_list"), QJsonValue(QJsonArray()));
        QCOMPARE(body.value("payinfo"), QJsonValue(QJsonArray()));
    }

    void saleTypeAndSourceBill_data() {
        columns<QString, QString, QString, QString, QString>(
            {"saleType", "bizType", "sent", "sorder", "source"});
        const auto row = [](const char* name, const QString& saleType, const QString& bizType,
                            const QString& sent, const QString& sorder, const QString& source) {
            QTest::newRow(name) << saleType << bizType << sent << sorder << source;
        };
        const QString none, ret = "return";
        row("business type 1", ret, "1", "1", "OB1", "");
        row("business type 2", ret, "2", "2", "OB1", "");
        row("business type 3 names its source bill", ret, "3", "3", "OB1", "SB1");
        row("business type 4 names its source bill", ret, "4", "4", "OB1", "SB1");
        row("business type 5 is sale type 4", ret, "5", "4", "OB1", "");
        row("business type 6 settles against its source bill", ret, "6", "5", "SB1", "");
        row("business type 7 sends no sale type", ret, "7", none, "OB1", "");
        row("an empty business type sends none", ret, "", none, "OB1", "");
        row("a sale reads no old bill", "sale", "1", "1", "", "");
        row("RETURN in capitals is no return", "RETURN", "1", "1", "", "");
    }

    void saleTypeAndSourceBill() {
        QFETCH(QString, saleType);
        QFETCH(QString, bizType);
        QFETCH(QString, sent);
        QFETCH(QString, sorder);
        QFETCH(QString, source);
        const QJsonObject body =
            sentBody(with(with(settleRequest(), "sale_type", saleType), "biztype", bizType));
        QCOMPARE(body.contains("sale_type"), !sent.isNull());
        QCOMPARE(body.value("sale_type").toString(), sent);
        QCOMPARE(body.value("sorder_id").toString(), sorder);
        QCOMPARE(body.value("sourcebillno").toString(), source);
    }

    void replies_data() {
        columns<QByteArray, QByteArray>({"reply", "result"});
        const auto row = [](const char* name, const QByteArray& reply, const QByteArray& result) {
            QTest::newRow(name) << reply << result;
        };
        row("an answer that is no JSON", "x", failed("订单结算解析Vorda返回数据错误" + kRetry));
        row("a JSON array", "[1]", failed("订单结算解析Vorda返回数据失败" + kRetry));
        row("no data", "{}", failed("订单结算未获取到Vorda返回数据节点"));
        row("no result code", R"({"data":{}})", failed("订单结算时未返回result_code"));
        row("a refusal with its text", CrmReplies::refused("会员已冻结"), failed("订单结算失败，会员已冻结"));
        row("a refusal without text", R"({"data":{"result_code":"2"}})", failed("订单结算失败。"));
        row("no points", CrmReplies::accepted({{"score_value", 1}}), failed("订单结算时未返回score"));
        row("no points total", CrmReplies::accepted({{"score", 5}}), failed("订单结算时未返回score_value"));
        const QJsonObject full{{"ticket_name", "满100减10"}, {"ticket_value", "10"},
                               {"coupon_no", "Q123"},        {"begin_date", "2026-12-06"},
                               {"end_date", "2026-12-31"},   {"remark", "全场通用"}};
        row("a coupon with its face value",
            CrmReplies::accepted({{"score", 5}, {"score_value", 105}, {"couponInfo", QJsonArray{full}}}),
            settled("5", "105",
                    "满100减10@+面额：10@+券号：Q123@+barcode：Q123@+券有效开始日期：2026-12-06@+"
                    "券有效结束日期：2026-12-31@+全场通用@+-------------------@+"));
        const QJsonObject bare{{"ticket_name", "生日券"}, {"ticket_value", ""}, {"coupon_no", "Q9"}};
        row("two coupons without face value",
            CrmReplies::accepted(
                {{"score", "5"}, {"score_value", "105"}, {"couponInfo", QJsonArray{bare, bare}}}),
            settled("5", "105",
                    QString("生日券@+券号：Q9@+barcode：Q9@+券有效开始日期：@+券有效结束日期：@+@+-----------"
                            "--------@+")
                        .repeated(2)));
    }

    void replies() {
        QFETCH(QByteArray, reply);
        QFETCH(QByteArray, result);
        m_till->script("pmb021", {reply});
        QCOMPARE(m_till->vip(settleRequest()), result);
    }
};

QTEST_MAIN(TestOrderSettlement)
#include "tst_OrderSettlement.moc"
