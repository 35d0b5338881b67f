// Reading a tender call: the first problem found is the message.
#include "core/ZoVORDACtl.h"
#include "support/Requests.h"
#include "support/WorkDir.h"

#include <QtTest>

namespace {

QJsonObject without(QJsonObject o, const QStringList& keys) {
    for (const QString& k : keys)
        o.remove(k);
    return o;
}

QJsonObject with(QJsonObject o, const QString& key, const QJsonValue& v) {
    o.insert(key, v);
    return o;
}

QJsonObject payLine(const QString& code, const QString& amount, const QString& payno, const QString& serial) {
    return QJsonObject{
        {"code", code}, {"name", "券"}, {"pay_amt", amount}, {"payno", payno}, {"extranno", serial}};
}

} // namespace

class TestTenderInput : public QObject {
    Q_OBJECT
private slots:
    void messages_data();
    void messages();
    void headIsStoredWithAbsoluteAmounts();
    void couponRefundReadsPaymentLines();
    void failedHeadLeavesTenderEmpty();
};

void TestTenderInput::messages_data() {
    QTest::addColumn<QByteArray>("head");
    QTest::addColumn<QByteArray>("plu");
    QTest::addColumn<QByteArray>("udp");
    QTest::addColumn<QString>("error");

    const QJsonObject sale = Requests::tenderHead("J", "SALE");
    const QJsonObject refundQ =
        with(with(Requests::tenderHead("Q", "REFUND"), "oribill_no", "B0"), "orisale_no", "S0");
    const QByteArray plu = Requests::json(Requests::products());
    const QByteArray okUdp =
        Requests::json({{"pays", QJsonArray{payLine("41", "10", "Q1", "F1")}}, {"paysnow", QJsonArray{}}});
    auto row = [&](const char* name, const QJsonObject& head, const QString& error) {
        QTest::newRow(name) << Requests::json(head) << plu << okUdp << error;
    };
    QTest::newRow("head not json") << QByteArray("{") << plu << QByteArray() << "TranHead解析错误";
    QTest::newRow("head array") << QByteArray("[]") << plu << QByteArray() << "TranHead参数解析失败";
    // Every required key in check order: removing it and all after it names exactly it.
    const QStringList order{"pay_type",   "shop_code", "pos_no", "oper_code",
                            "tr_bizdate", "bill_no",   "sale_no"};
    for (int i = 0; i < order.size(); ++i) {
        QTest::newRow(qPrintable("missing " + order[i])) << Requests::json(without(sale, order.mid(i))) << plu
                                                         << QByteArray() << order[i] + "参数传入不全";
    }
    row("missing txn_type", without(sale, {"txn_type", "vip_cardno"}), "参数传入不全");
    row("refund without oribill_no", without(with(sale, "txn_type", "REFUND"), {"oribill_no"}),
        "oribill_no参数传入不全");
    row("refund without orisale_no", with(with(sale, "txn_type", "REFUND"), "oribill_no", "B0"),
        "orisale_no参数传入不全");
    row("empty vip_cardno", with(sale, "vip_cardno", ""), "未登录会员");
    row("missing vip_cardid", without(sale, {"vip_cardid", "order_amount"}), "未登录会员");
    row("missing order_amount", without(sale, {"order_amount"}), "order_amount参数传入不全");
    row("order_amount 0.004", with(sale, "order_amount", 0.004), "订单金额不允许为0");
    row("missing tr_amt", without(sale, {"tr_amt"}), "tr_amt参数传入不全");
    row("tr_amt text", with(sale, "tr_amt", "abc"), "支付金额不允许为0");
    row("tr_amt -0.004", with(sale, "tr_amt", -0.004), "支付金额不允许为0");
    row("missing pay_code", without(sale, {"pay_code", "pay_name"}), "pay_code参数传入不全");
    row("missing pay_name", without(sale, {"pay_name"}), "pay_name参数传入不全");

    QTest::newRow("plu of two characters")
        << Requests::json(sale) << QByteArray("{}") << QByteArray() << "无商品明细";
    QTest::newRow("plu not json") << Requests::json(sale) << QByteArray("{plu") << QByteArray()
                                  << "商品参数解析错误";
    QTest::newRow("plu array") << Requests::json(sale) << QByteArray("[1,2]") << QByteArray()
                               << "商品参数解析失败";
    QTest::newRow("plu missing") << Requests::json(sale) << QByteArray(R"({"x":1})") << QByteArray()
                                 << "plu参数传入不全";

    auto udpRow = [&](const char* name, const QByteArray& udp, const QString& error) {
        QTest::newRow(name) << Requests::json(refundQ) << plu << udp << error;
    };
    udpRow("coupon refund without udp", QByteArray(), "无原单支付信息，仅原单可退");
    udpRow("udp not json", "{pays", "支付参数解析错误");
    udpRow("udp array", "[]", "支付参数解析失败");
    udpRow("no pays", R"({"paysnow":[]})", "无支付信息");
    udpRow("no paysnow", R"({"pays":[]})", "无支付信息");
    const QJsonObject line = payLine("41", "10", "Q1", "F1");
    udpRow("line without code", Requests::json({{"pays", QJsonArray{without(line, {"code", "name"})}}}),
           "支付编码参数不完整");
    udpRow("line without name", Requests::json({{"pays", QJsonArray{without(line, {"name"})}}}),
           "支付名称参数不完整");
    for (const char* key : {"pay_amt", "payno", "extranno"}) {
        QTest::newRow(qPrintable(QString("line without %1").arg(key)))
            << Requests::json(refundQ) << plu << Requests::json({{"pays", QJsonArray{without(line, {key})}}})
            << "支付金额参数不完整";
    }
    udpRow("paysnow line without payno",
           Requests::json({{"pays", QJsonArray{line}}, {"paysnow", QJsonArray{without(line, {"payno"})}}}),
           "支付金额参数不完整");
}

void TestTenderInput::messages() {
    QFETCH(QByteArray, head);
    QFETCH(QByteArray, plu);
    QFETCH(QByteArray, udp);
    QFETCH(QString, error);
    WorkDir dir;
    ZoVORDACtl ctl;
    QString message;
    QVERIFY(!ctl.ParseTenderInput(QString::fromUtf8(head), QString::fromUtf8(plu), QString::fromUtf8(udp),
                                  message));
    QCOMPARE(message, error);
}

void TestTenderInput::headIsStoredWithAbsoluteAmounts() {
    WorkDir dir;
    ZoVORDACtl ctl;
    QJsonObject head = with(with(Requests::tenderHead("J", "SALE"), "order_amount", -100), "tr_amt", "12.5");
    head.insert("oribill_no", "B0"); // not read for a sale
    head.insert("bill_no", 778);     // a number where text is expected reads as its text
    QString message;
    QVERIFY(ctl.ParseTenderInput(Requests::json(head), R"({"plu":[{"pi":"1"}]})", "", message));
    const TenderRec& t = ctl.tenderRec;
    QCOMPARE(t.order_amount, 100.0);
    QCOMPARE(t.tr_amt, 12.5);
    QCOMPARE(t.bill_no, QStringLiteral("778"));
    QVERIFY(t.oribill_no.isEmpty());
    QCOMPARE(t.pay_name, QStringLiteral("积分"));
    QCOMPARE(t.vip_cardid, QStringLiteral("M0001"));
    QCOMPARE(ctl.goodsLines.size(), 1);
    QCOMPARE(ctl.goodsLines.at(0).toMap().value("pi").toString(), QStringLiteral("1"));

    // A points refund neither needs nor reads UdpIn1.
    QJsonObject refund =
        with(with(Requests::tenderHead("J", "REFUND"), "oribill_no", "B0"), "orisale_no", "S0");
    QVERIFY(ctl.ParseTenderInput(Requests::json(refund), R"({"plu":[]})", "{broken", message));
    QCOMPARE(ctl.tenderRec.oribill_no, QStringLiteral("B0"));
    QVERIFY(ctl.goodsLines.isEmpty());
}

void TestTenderInput::couponRefundReadsPaymentLines() {
    WorkDir dir;
    ZoVORDACtl ctl;
    const QJsonObject head =
        with(with(Requests::tenderHead("Q", "REFUND"), "oribill_no", "B0"), "orisale_no", "S0");
    const QByteArray udp =
        Requests::json({{"pays", QJsonArray{payLine("01", "60", "", ""), payLine("41", "40", "Q1", "F1")}},
                        {"paysnow", QJsonArray{payLine("41", "40", "Q9", "F9")}}});
    QString message;
    QVERIFY(ctl.ParseTenderInput(Requests::json(head), Requests::json(Requests::products()), udp, message));
    QCOMPARE(ctl.oriPays.size(), 2);
    QCOMPARE(ctl.oriPays.at(1).payno, QStringLiteral("Q1"));
    QCOMPARE(ctl.oriPays.at(1).extranno, QStringLiteral("F1"));
    QCOMPARE(ctl.oriPays.at(1).pay_amt, QStringLiteral("40"));
    QCOMPARE(ctl.oriPaysNow.size(), 1);
    QCOMPARE(ctl.oriPaysNow.at(0).payno, QStringLiteral("Q9"));
}

void TestTenderInput::failedHeadLeavesTenderEmpty() {
    WorkDir dir;
    ZoVORDACtl ctl;
    QString message;
    QVERIFY(!ctl.ParseTenderInput(Requests::json(without(Requests::tenderHead(), {"pay_name"})), "{}", "",
                                  message));
    QVERIFY(ctl.tenderRec.pay_type.isEmpty());
    QCOMPARE(ctl.tenderRec.tr_amt, 0.0);
}

QTEST_MAIN(TestTenderInput)
#include "tst_TenderInput.moc"
