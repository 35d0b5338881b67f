// Settling a finished order: the whole request body, the points and the receipt text.
#include "CrmSim.h"
#include "core/ZoVORDACtl.h"
#include "support/CrmReplies.h"
#include "support/WorkDir.h"

#include <QtTest>

using crmsim::Reply;

class TestOrderSettlement : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void requestBody();
    void saleTypeAndSourceBill_data();
    void saleTypeAndSourceBill();
    void replies_data();
    void replies();

private:
    void fillOrder(const QString& bizType);
    crmsim::Server* m_crm = nullptr;
    WorkDir* m_dir = nullptr;
    ZoVORDACtl* m_ctl = nullptr;
};

void TestOrderSettlement::init() {
    m_crm = new crmsim::Server;
    QVERIFY(m_crm->start());
    m_dir = new WorkDir;
    m_dir->configureTill(m_crm->baseUrl());
    m_ctl = new ZoVORDACtl;
    QString e;
    m_ctl->ResetCall(e);
}

void TestOrderSettlement::cleanup() {
    delete m_ctl;
    delete m_dir;
    delete m_crm;
}

void TestOrderSettlement::fillOrder(const QString& bizType) {
    OrderRec& o = m_ctl->orderRec;
    o.operator_id = "8001", o.business_date = "2026-12-06", o.pos_saleno = "S1", o.pos_billno = "B1";
    o.vipcardid = "M1", o.old_pos_billno = "OB1", o.emp_id = "E7", o.biztype = bizType,
    o.sourcebillno = "SB1";
    o.plucounttotal = "3", o.shouldtotal = "-25.5", o.actualtotal = "1000000", o.pos_salebgntime = "10:00";
    m_ctl->settlePays = {QVariantMap{
        {"code", "01"}, {"extranno", "T1"}, {"payno", "P1"}, {"pay_amount", -10}, {"zf_amount", "9.999"}}};
    m_ctl->goodsLines = {QVariantMap{{"pi", 1001},
                                     {"bc", "6901"},
                                     {"pn", "牛奶"},
                                     {"yj", "12"},
                                     {"hyj", 11.5},
                                     {"fsp", -11},
                                     {"sc", 1.5},
                                     {"st", "16.5"}},
                         QVariantMap{{"pi", "1002"}, {"sc", "abc"}}};
}

void TestOrderSettlement::requestBody() {
    fillOrder("1");
    m_crm->enqueue("pmb021", Reply::json(CrmReplies::accepted({{"score", 12}, {"score_value", "112"}})));
    QString error;
    QVERIFY2(m_ctl->SettleOrder(error), qPrintable(error));
    const QByteArray body =
        R"({"adviser_no":"E7","bizdate":"2026-12-06","cashier_no":"8001","coupon_rebate":"0",)"
        R"("detail_list":[{"act_price":"11.00","adviser_no":"E7","bar_code":"6901","cu_price":"11.00","goods_id":"1001","goods_name":"牛奶","goods_num":"1.5","member_price":"11.50","sum_value":"16.50","unit_price":"12.00"},)"
        R"({"act_price":"0.00","adviser_no":"E7","bar_code":"","cu_price":"0.00","goods_id":"1002","goods_name":"","goods_num":"0","member_price":"0.00","sum_value":"0.00","unit_price":"0.00"}],)"
        R"("goods_num_total":"3","member_id":"M1","member_rebate":"0","order_id":"B1",)"
        R"("payinfo":[{"pay_code":"P1","pay_value":"10.00","paytype":"01","rec_value":"10.00","rej_code_cn":"","return_value":"0","trace_no":"T1","trade_date":"","trade_time":""}],)"
        R"("pos_no":"S1","s_value":"25.5","sale_type":"1","score_rebate":"0","score_value":"","shop_id":"S01",)"
        R"("sorder_id":"OB1","sourcebillno":"","spend_time":"10:00","status":"1","value":"1e+06"})";
    QCOMPARE(m_crm->requests().value(0).body, body);
    QCOMPARE(m_dir->lastLogText("订单结算"), QString::fromUtf8(body));
    QCOMPARE(m_ctl->orderRec.cent, QStringLiteral("12"));
    QCOMPARE(m_ctl->orderRec.sum_cent, QStringLiteral("112"));
    QCOMPARE(m_ctl->orderRec.sendticket, QString(""));
}

void TestOrderSettlement::saleTypeAndSourceBill_data() {
    QTest::addColumn<QString>("bizType");
    QTest::addColumn<QString>("saleType"); // empty: not sent
    QTest::addColumn<QString>("sorder");
    QTest::addColumn<QString>("source");
    QTest::newRow("1") << "1"
                       << "1"
                       << "OB1"
                       << "";
    QTest::newRow("2") << "2"
                       << "2"
                       << "OB1"
                       << "";
    QTest::newRow("3") << "3"
                       << "3"
                       << "OB1"
                       << "SB1";
    QTest::newRow("4") << "4"
                       << "4"
                       << "OB1"
                       << "SB1";
    QTest::newRow("5") << "5"
                       << "4"
                       << "OB1"
                       << "";
    QTest::newRow("6") << "6"
                       << "5"
                       << "SB1"
                       << "";
    QTest::newRow("7") << "7"
                       << ""
                       << "OB1"
                       << "";
    QTest::newRow("empty") << ""
                           << ""
                           << "OB1"
                           << "";
}

void TestOrderSettlement::saleTypeAndSourceBill() {
    QFETCH(QString, bizType);
    QFETCH(QString, saleType);
    QFETCH(QString, sorder);
    QFETCH(QString, source);
    fillOrder(bizType);
    m_crm->enqueue("pmb021", Reply::json(CrmReplies::refused("x")));
    QString error;
    QVERIFY(!m_ctl->SettleOrder(error));
    const QJsonObject body = QJsonDocument::fromJson(m_crm->requests().value(0).body).object();
    QCOMPARE(body.contains("sale_type"), !saleType.isEmpty());
    QCOMPARE(body.value("sale_type").toString(), saleType);
    QCOMPARE(body.value("sorder_id").toString(), sorder);
    QCOMPARE(body.value("sourcebillno").toString(), source);
}

void TestOrderSettlement::replies_data() {
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QString>("error");
    QTest::addColumn<QString>("cent");
    QTest::addColumn<QString>("ticket");
    QTest::newRow("not json") << QByteArray("x") << false
                              << "订单结算解析Vorda返回数据错误，请再次尝试或联系管理员处理"
                              << ""
                              << "";
    QTest::newRow("array") << QByteArray("[1]") << false
                           << "订单结算解析Vorda返回数据失败，请再次尝试或联系管理员处理"
                           << ""
                           << "";
    QTest::newRow("no data") << QByteArray("{}") << false << "订单结算未获取到Vorda返回数据节点"
                             << ""
                             << "";
    QTest::newRow("no result_code") << QByteArray(R"({"data":{}})") << false << "订单结算时未返回result_code"
                                    << ""
                                    << "";
    QTest::newRow("refused with text")
        << CrmReplies::refused("会员已冻结") << false << "订单结算失败，会员已冻结"
        << ""
        << "";
    QTest::newRow("refused") << QByteArray(R"({"data":{"result_code":"2"}})") << false << "订单结算失败。"
                             << ""
                             << "";
    QTest::newRow("no score") << CrmReplies::accepted({{"score_value", 1}}) << false
                              << "订单结算时未返回score"
                              << ""
                              << "";
    QTest::newRow("no score_value") << CrmReplies::accepted({{"score", 5}}) << false
                                    << "订单结算时未返回score_value"
                                    << "5"
                                    << "";
    const QJsonObject full{{"ticket_name", "满100减10"}, {"ticket_value", "10"},     {"coupon_no", "Q123"},
                           {"begin_date", "2026-12-06"}, {"end_date", "2026-12-31"}, {"remark", "全场通用"}};
    QTest::newRow("coupon with face value")
        << CrmReplies::accepted({{"score", 5}, {"score_value", 105}, {"couponInfo", QJsonArray{full}}})
        << true << ""
        << "5"
        << "满100减10@+面额：10@+券号：Q123@+barcode：Q123@+券有效开始日期：2026-12-06@+券有效结束日期：2026-"
           "12-31@+"
           "全场通用@+-------------------@+";
    QJsonObject bare{{"ticket_name", "生日券"}, {"ticket_value", ""}, {"coupon_no", "Q9"}};
    QTest::newRow("coupon without face value, two coupons")
        << CrmReplies::accepted({{"score", 5}, {"score_value", 105}, {"couponInfo", QJsonArray{bare, bare}}})
        << true << ""
        << "5"
        << QString(
               "生日券@+券号：Q9@+barcode：Q9@+券有效开始日期：@+券有效结束日期：@+@+-------------------@+")
               .repeated(2);
}

void TestOrderSettlement::replies() {
    QFETCH(QByteArray, reply);
    QFETCH(bool, ok);
    QFETCH(QString, error);
    QFETCH(QString, cent);
    QFETCH(QString, ticket);
    fillOrder("1");
    m_crm->enqueue("pmb021", Reply::json(reply));
    QString message;
    QCOMPARE(m_ctl->SettleOrder(message), ok);
    QCOMPARE(message, error);
    QCOMPARE(m_ctl->orderRec.cent, cent);
    QCOMPARE(m_ctl->orderRec.sendticket, ticket);
}

QTEST_MAIN(TestOrderSettlement)
#include "tst_OrderSettlement.moc"
