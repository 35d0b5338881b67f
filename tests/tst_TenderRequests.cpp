// Tender requests as the host sends them: the first problem found in the three texts is
// the answer, a transaction no tender takes is refused, and the answer has its limits.
#include "support/Columns.h"
#include "support/TillFixture.h"

#include <QtTest>

using namespace Requests;

namespace {

const QStringList kInputSteps{"传入参数TranHead", "传入参数TranPlu", "传入参数UdpIn1"};

QJsonObject refundHead(const QString& payType) {
    return with(with(tenderHead(payType, "REFUND"), "oribill_no", "OB7"), "orisale_no", "OS7");
}

QJsonObject payLine(const QString& payNo, const QString& amount = "10") {
    return QJsonObject{
        {"code", "41"}, {"name", "券"}, {"pay_amt", amount}, {"payno", payNo}, {"extranno", "F1"}};
}

QByteArray payLines(const QJsonArray& pays, const QJsonArray& paysNow = {}) {
    return json({{"pays", pays}, {"paysnow", paysNow}});
}

// One row of the refusal table each: a head with the usual products; products after the
// usual sale head; payment lines after a coupon refund's head (whose answer lists its coupons).
void headRow(const QString& name, const QJsonObject& head, const QString& message) {
    QTest::newRow(qPrintable(name)) << json(head) << json(products()) << QByteArray() << message << false;
}

void goodsRow(const QString& name, const QByteArray& plu, const QString& message) {
    QTest::newRow(qPrintable(name)) << json(tenderHead()) << plu << QByteArray() << message << false;
}

void paysRow(const QString& name, const QByteArray& udp, const QString& message) {
    QTest::newRow(qPrintable(name)) << json(refundHead("Q")) << json(products()) << udp << message << true;
}

// Figures that are no money and lists that are no list, wherever the tender reads them.
void malformedRows() {
    const QList<QPair<const char*, QJsonValue>> notMoney{
        {"nan", "nan"},
        {"inf", "-inf"},
        {"ten thousand million", 1e10},
        {"ten thousand million at two decimals", 9999999999.996},
        {"1e308 as text", "1e308"},
        {"true", true},
        {"an object", QJsonObject{{"v", 1}}},
        {"an array", QJsonArray{1}}};
    for (const auto& v : notMoney) {
        for (const QString key : {"order_amount", "tr_amt"})
            headRow(QString("%1 of %2").arg(key, v.first), with(tenderHead(), key, v.second),
                    "参数" + key + "格式错误");
    }
    headRow("a null tender amount counts 0", with(tenderHead(), "tr_amt", QJsonValue::Null),
            "支付金额不允许为0");
    headRow("a points refund of true", with(refundHead("J"), "tr_amt", true), "参数tr_amt格式错误");
    const auto line = [](const QString& key, const QJsonValue& value) {
        return json(
            {{"plu", QJsonArray{productLine("1001", 60, 2), with(productLine("1002", 1, 1), key, value)}}});
    };
    for (const QString key : {"yj", "hyj", "fsp", "st"})
        goodsRow("a product line's " + key + " of inf", line(key, "inf"), "参数" + key + "格式错误");
    goodsRow("a quantity of ten million", line("sc", 1e7), "参数sc格式错误");
    goodsRow("a quantity that is false", line("sc", false), "参数sc格式错误");
    goodsRow("products that are an object", R"({"plu":{"pi":"1001"}})", "参数plu格式错误");
    goodsRow("products that are a text", R"({"plu":"1001"})", "参数plu格式错误");
    paysRow("payment lines of the sale that are an object", R"({"pays":{},"paysnow":[]})",
            "参数pays格式错误");
    paysRow("payment lines of the refund that are a text", R"({"pays":[],"paysnow":"x"})",
            "参数paysnow格式错误");
    paysRow("a sale's line paying nan", payLines({payLine("Q1", "nan")}), "参数pay_amt格式错误");
    paysRow("a refund's line paying true", payLines({}, {with(payLine("Q2"), "pay_amt", true)}),
            "参数pay_amt格式错误");
}

} // namespace

class TestTenderRequests : public ScriptedTillSuite {
    Q_OBJECT
    QByteArray call(const QByteArray& head, const QByteArray& plu, const QByteArray& udp) {
        return ResultFrame::tenderCall(m_till->ctl, head.constData(), plu.constData(), udp.constData());
    }

private slots:
    void init() { startTill(); }
    void cleanup() { endTill(); }

    // couponDetails: the head was read as a coupon tender, so the answer lists its (no) coupons.
    void refusedBeforeAnyExchange_data() {
        columns<QByteArray, QByteArray, QByteArray, QString, bool>(
            {"head", "plu", "udp", "message", "couponDetails"});
        const QByteArray plu = json(products());
        QTest::newRow("a head that is no JSON")
            << QByteArray("{") << plu << QByteArray() << QString("TranHead解析错误") << false;
        QTest::newRow("a head that is an array")
            << QByteArray("[]") << plu << QByteArray() << QString("TranHead参数解析失败") << false;
        const QStringList keys{"pay_type",   "shop_code", "pos_no", "oper_code",
                               "tr_bizdate", "bill_no",   "sale_no"};
        for (const auto& c : missingInOrder(tenderHead(), keys))
            headRow("a head without " + c.first, c.second, c.first + "参数传入不全");
        headRow("a head without transaction type", without(tenderHead(), {"txn_type", "vip_cardno"}),
                "参数传入不全");
        for (const auto& c : missingInOrder(refundHead("J"), {"oribill_no", "orisale_no"}))
            headRow("a refund without " + c.first, c.second, c.first + "参数传入不全");
        headRow("an empty member card number", with(tenderHead(), "vip_cardno", ""), "未登录会员");
        headRow("no member id", without(tenderHead(), {"vip_cardid", "order_amount"}), "未登录会员");
        const QStringList amounts{"order_amount", "tr_amt", "pay_code", "pay_name"};
        for (const auto& c : missingInOrder(tenderHead(), amounts))
            headRow("a head without " + c.first, c.second, c.first + "参数传入不全");
        headRow("an order amount of 0.004", with(tenderHead(), "order_amount", 0.004), "订单金额不允许为0");
        headRow("an order amount of -0.004", with(tenderHead(), "order_amount", "-0.004"),
                "订单金额不允许为0");
        headRow("a tender amount that is no number", with(tenderHead(), "tr_amt", "abc"),
                "支付金额不允许为0");
        headRow("a tender amount of -0.004", with(tenderHead(), "tr_amt", -0.004), "支付金额不允许为0");
        goodsRow("products of two characters", "{}", "无商品明细");
        goodsRow("products that are no JSON", "{plu", "商品参数解析错误");
        goodsRow("products that are an array", "[1,2]", "商品参数解析失败");
        goodsRow("products without their list", R"({"x":1})", "plu参数传入不全");
        QTest::newRow("a coupon sale without products")
            << json(tenderHead("Q")) << QByteArray("{}") << QByteArray() << QString("无商品明细") << true;
        paysRow("a coupon refund without payment lines", "", "无原单支付信息，仅原单可退");
        paysRow("payment lines that are no JSON", "{pays", "支付参数解析错误");
        paysRow("payment lines that are an array", "[]", "支付参数解析失败");
        paysRow("no payment lines of the sale", R"({"paysnow":[]})", "无支付信息");
        paysRow("no payment lines of the refund", R"({"pays":[]})", "无支付信息");
        const QStringList lineKeys{"code", "name", "pay_amt", "payno", "extranno"};
        const QStringList lineMessages{"支付编码参数不完整", "支付名称参数不完整", "支付金额参数不完整",
                                       "支付金额参数不完整", "支付金额参数不完整"};
        const auto lines = missingInOrder(payLine("Q1"), lineKeys);
        for (int i = 0; i < lines.size(); ++i)
            paysRow("a sale's line without " + lines[i].first, payLines({lines[i].second}), lineMessages[i]);
        paysRow("a refund's line without payno",
                payLines({payLine("Q1")}, {without(payLine("Q2"), {"payno"})}), "支付金额参数不完整");
        malformedRows();
    }

    void refusedBeforeAnyExchange() {
        QFETCH(QByteArray, head);
        QFETCH(QByteArray, plu);
        QFETCH(QByteArray, udp);
        QFETCH(QString, message);
        QFETCH(bool, couponDetails);
        QCOMPARE(call(head, plu, udp), cardResult("000000", message, "0", couponDetails ? "" : QString()));
        QCOMPARE(m_till->crm.requestCount(), 0);
        QCOMPARE(m_till->dir.logSteps(), kInputSteps + QStringList{"返回结果"});
        const QByteArrayList inputs{head, plu, udp};
        for (int i = 0; i < inputs.size(); ++i)
            QCOMPARE(m_till->dir.lastLogText(kInputSteps[i]).toUtf8(), inputs[i]);
    }

    void transactionNoTenderTakes_data() {
        columns<QJsonObject, QString, QString, bool>({"head", "txnType", "message", "couponDetails"});
        tableRow("a cancel of points", tenderHead("J", "CANCEL"), QString("CANCEL"),
                 QString("该支付方式不允许清除"), false);
        tableRow("a cancel of coupons lists no coupons", tenderHead("Q", "CANCEL"), QString("CANCEL"),
                 QString("该支付方式不允许清除"), true);
        tableRow("a sale written in lower case", tenderHead("J", "sale"), QString("sale"),
                 QString("交易类型错误"), false);
        tableRow("a sale of another tender is answered without words", tenderHead("X", "SALE"),
                 QString("SALE"), QString(""), false);
        tableRow("a refund of pay type q in lower case", refundHead("q"), QString("REFUND"), QString(""),
                 false);
        tableRow("a refund of pay type j in lower case", refundHead("j"), QString("REFUND"), QString(""),
                 false);
    }

    void transactionNoTenderTakes() {
        QFETCH(QJsonObject, head);
        QFETCH(QString, txnType);
        QFETCH(QString, message);
        QFETCH(bool, couponDetails);
        QCOMPARE(m_till->card(head), cardResult("000000", message, "0", couponDetails ? "" : QString()));
        QCOMPARE(m_till->crm.requestCount(), 0);
        QCOMPARE(m_till->dir.logSteps(), kInputSteps + QStringList({"执行" + txnType, "返回结果"}));
        QCOMPARE(m_till->dir.lastLogText("执行" + txnType), message);
    }

    // A coupon refund of 400 coupons answers close to the limit; one number made longer
    // brings the answer to the largest size, one character more beyond it.
    void resultLimit() {
        QJsonArray pays;
        for (int i = 0; i < 400; ++i)
            pays.append(payLine(QString("Q%1").arg(i), "1"));
        const QJsonObject head = with(with(refundHead("Q"), "pay_code", "41"), "order_amount", 400);
        const auto refund = [&](int extra) {
            pays[0] = payLine("Q" + QString(extra, 'x'), "1");
            return m_till->card(head, products(), payLines(pays));
        };
        const int room = ResultFrame::MaxResultBytes - 1 - refund(0).size();
        QVERIFY2(room > 0 && room < 20000, qPrintable(QString::number(room)));
        const QByteArray largest = refund(room);
        QCOMPARE(largest.size(), ResultFrame::MaxResultBytes - 1);
        QVERIFY(largest.contains(R"("RtnCode":"111111")"));
        QCOMPARE(refund(room + 1), QByteArray(R"({"RtnCode":"000000","RtnMsg":"返回结果过长"})"));
        // The answer that was too long is logged before the one the host gets.
        const QList<LogRecord> records = m_till->dir.logRecords();
        QCOMPARE(records.value(records.size() - 2).step, QStringLiteral("返回结果"));
        QCOMPARE(records.value(records.size() - 2).text.toUtf8().size(), ResultFrame::MaxResultBytes);
        QCOMPARE(records.last().text, QStringLiteral(R"({"RtnCode":"000000","RtnMsg":"返回结果过长"})"));
    }

    // A host that calls again while a dialog of the running call is open.
    void callWhileAnotherRuns() {
        const QString busy = "上一笔交易尚未结束，请稍后再试";
        QCOMPARE(ResultFrame::busyMemberCall(m_till->ctl.log()),
                 QStringLiteral(R"({"rtncode":"000000","rtnmsg":"%1"})").arg(busy).toUtf8());
        QCOMPARE(ResultFrame::busyTenderCall(m_till->ctl.log()), cardResult("000000", busy, "0"));
        QCOMPARE(m_till->dir.logSteps(), (QStringList{"重复调用", "返回结果", "重复调用", "返回结果"}));
        QCOMPARE(m_till->dir.lastLogText("重复调用"), busy);
    }
};

QTEST_MAIN(TestTenderRequests)
#include "tst_TenderRequests.moc"
