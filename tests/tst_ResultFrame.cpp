// The frame around both exported calls: what the host gets back, byte for byte.
#include "api/ResultFrame.h"
#include "core/ZoVORDACtl.h"
#include "support/Requests.h"
#include "support/WorkDir.h"

#include <QtTest>

class TestResultFrame : public QObject {
    Q_OBJECT
private slots:
    void memberCallFailures_data();
    void memberCallFailures();
    void tenderCallFailures_data();
    void tenderCallFailures();
    void failedTenderIsLoggedUnderItsType();
    void memberResult_data();
    void memberResult();
    void tenderAmountFormat_data();
    void tenderAmountFormat();
    void couponDetailsListOnlyUsableCoupons();
    void couponRefundDetailsAreNegative();
    void resetClearsStateAndReloadsShopId();
    void inputAndResultAreLogged();
    void refusedSecondCallLeavesTheRunningCallAlone();
};

void TestResultFrame::memberCallFailures_data() {
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QByteArray>("result");
    QTest::newRow("not json") << QByteArray("{reqtype:")
                              << QByteArray(R"({"rtncode":"000000","rtnmsg":"TranVipIn参数解析错误"})");
    QTest::newRow("array") << QByteArray("[1,2]")
                           << QByteArray(R"({"rtncode":"000000","rtnmsg":"TranVipIn参数解析失败"})");
    QTest::newRow("empty") << QByteArray("")
                           << QByteArray(R"({"rtncode":"000000","rtnmsg":"TranVipIn参数解析错误"})");
    QTest::newRow("no reqtype") << QByteArray("{}")
                                << QByteArray(R"({"rtncode":"000000","rtnmsg":"reqtype参数传入不全"})");
    QTest::newRow("reqtype 51") << QByteArray(R"({"reqtype":51})")
                                << QByteArray(R"({"rtncode":"000000","rtnmsg":"交易类型错误"})");
    QTest::newRow("no store") << QByteArray(R"({"reqtype":50})")
                              << QByteArray(R"({"rtncode":"000000","rtnmsg":"store_id参数传入不全"})");
    QTest::newRow("63 zero amount") << Requests::json({{"reqtype", "63"},
                                                       {"store_id", "1"},
                                                       {"station_id", "1"},
                                                       {"operator_id", "1"},
                                                       {"business_date", "1"},
                                                       {"pos_saleno", "1"},
                                                       {"pos_billno", "1"},
                                                       {"pos_salebgntime", "1"},
                                                       {"sale_type", "sale"},
                                                       {"amount", 0.004}})
                                    << QByteArray(R"({"rtncode":"000000","rtnmsg":"订单金额不允许为0"})");
}

void TestResultFrame::memberCallFailures() {
    QFETCH(QByteArray, input);
    QFETCH(QByteArray, result);
    WorkDir dir;
    ZoVORDACtl ctl;
    QCOMPARE(ResultFrame::VipTrans(ctl, input.constData()), result);
}

void TestResultFrame::tenderCallFailures_data() {
    QTest::addColumn<QJsonObject>("head");
    QTest::addColumn<QByteArray>("result");
    QJsonObject lower = Requests::tenderHead("J", "sale");
    QTest::newRow("txn_type lower case")
        << lower
        << QByteArray(
               R"({"ActualTotal":"0","AmountTotal":"0","CardNo":"","MchOrderNo":"","OtherInfo":"","RtnCode":"000000","RtnMsg":"交易类型错误"})");
    QTest::newRow("cancel points")
        << Requests::tenderHead("J", "CANCEL")
        << QByteArray(
               R"({"ActualTotal":"0","AmountTotal":"0","CardNo":"","MchOrderNo":"","OtherInfo":"","RtnCode":"000000","RtnMsg":"该支付方式不允许清除"})");
    // A failed coupon tender still lists its (here: no) paid coupons.
    QTest::newRow("cancel coupons")
        << Requests::tenderHead("Q", "CANCEL")
        << QByteArray(
               R"({"ActualTotal":"0","AmountTotal":"0","CardNo":"","MchOrderNo":"","OtherInfo":"","PayDetails":[],"RtnCode":"000000","RtnMsg":"该支付方式不允许清除"})");
    // Neither tender: the operation leaves the message alone, so the host reads an empty one.
    QTest::newRow("unknown pay type")
        << Requests::tenderHead("X", "SALE")
        << QByteArray(
               R"({"ActualTotal":"0","AmountTotal":"0","CardNo":"","MchOrderNo":"","OtherInfo":"","RtnCode":"000000","RtnMsg":""})");
    QJsonObject noPay = Requests::tenderHead();
    noPay.remove("pay_type");
    QTest::newRow("no pay_type")
        << noPay
        << QByteArray(
               R"({"ActualTotal":"0","AmountTotal":"0","CardNo":"","MchOrderNo":"","OtherInfo":"","RtnCode":"000000","RtnMsg":"pay_type参数传入不全"})");
}

void TestResultFrame::tenderCallFailures() {
    QFETCH(QJsonObject, head);
    QFETCH(QByteArray, result);
    WorkDir dir;
    ZoVORDACtl ctl;
    const QByteArray plu = Requests::json(Requests::products());
    QCOMPARE(ResultFrame::CardTrans(ctl, Requests::json(head).constData(), plu.constData(), ""), result);
}

void TestResultFrame::failedTenderIsLoggedUnderItsType() {
    WorkDir dir;
    ZoVORDACtl ctl;
    const QByteArray head = Requests::json(Requests::tenderHead("J", "sale"));
    ResultFrame::CardTrans(ctl, head.constData(), "{\"plu\":[]}", nullptr);
    QCOMPARE(dir.logSteps(),
             (QStringList{"传入参数TranHead", "传入参数TranPlu", "传入参数UdpIn1", "执行sale", "返回结果"}));
    QCOMPARE(dir.lastLogText("执行sale"), QStringLiteral("交易类型错误"));
    QCOMPARE(dir.lastLogText("传入参数UdpIn1"), QString());
}

void TestResultFrame::memberResult_data() {
    QTest::addColumn<QString>("reqtype");
    QTest::addColumn<bool>("withAccounts");
    QTest::addColumn<QByteArray>("result");
    QTest::newRow("50 no accounts")
        << "50" << false
        << QByteArray(
               R"({"HasVipRight":"1","JfRecord":[],"address":"深圳","balance":"0","birthday":"1990-01-01","code":"C1","name":"张三","phone":"138","rtncode":"111111","rtnmsg":"成功","score":"0","type_code":"G1","type_name":"金卡","vipcardid":"M1"})");
    QTest::newRow("50 two accounts")
        << "50" << true
        << QByteArray(
               R"({"HasVipRight":"1","JfRecord":[{"BalanceJfTotal":"1.5","JfTotal":"10","PrjCode":"A1","PrjName":"积分"},{"BalanceJfTotal":"0.25","JfTotal":"5","PrjCode":"A2","PrjName":"活动"}],"address":"深圳","balance":"0","birthday":"1990-01-01","code":"C1","name":"张三","phone":"138","rtncode":"111111","rtnmsg":"成功","score":"0","type_code":"G1","type_name":"金卡","vipcardid":"M1"})");
    QTest::newRow("63")
        << "63" << false
        << QByteArray(
               R"({"cent":"12","printcent":"1","rtncode":"111111","rtnmsg":"成功","sendticket":"券@+","sum_cent":"112"})");
    QTest::newRow("78") << "78" << false << QByteArray(R"({"rtncode":"111111","rtnmsg":"成功"})");
}

void TestResultFrame::memberResult() {
    QFETCH(QString, reqtype);
    QFETCH(bool, withAccounts);
    QFETCH(QByteArray, result);
    WorkDir dir;
    ZoVORDACtl ctl;
    ctl.reqtype = reqtype;
    MemberRec& m = ctl.memberRec;
    m.type_code = "G1", m.type_name = "金卡", m.name = "张三", m.code = "C1", m.vipcardid = "M1";
    m.birthday = "1990-01-01", m.score = "0", m.phone = "138", m.balance = "0", m.address = "深圳";
    if (withAccounts)
        m.jfRecords = {{"10", "1.5", "A1", "积分"}, {"5", "0.25", "A2", "活动"}};
    ctl.orderRec.cent = "12", ctl.orderRec.sum_cent = "112", ctl.orderRec.sendticket = "券@+";
    resultCode = "111111";
    resultMsg = "成功";
    QCOMPARE(QJsonDocument(ResultFrame::VipResult(ctl)).toJson(QJsonDocument::Compact), result);
    // The same records after a failure: only the code and the message.
    resultCode = "000000";
    resultMsg = "X";
    QCOMPARE(QJsonDocument(ResultFrame::VipResult(ctl)).toJson(QJsonDocument::Compact),
             QByteArray(R"({"rtncode":"000000","rtnmsg":"X"})"));
}

void TestResultFrame::tenderAmountFormat_data() {
    QTest::addColumn<double>("amount");
    QTest::addColumn<QString>("text");
    QTest::newRow("zero") << 0.0 << "0";
    QTest::newRow("25.5") << 25.5 << "25.5";
    QTest::newRow("million") << 1000000.0 << "1e+06";
    QTest::newRow("-12.3") << -12.3 << "-12.3";
    QTest::newRow("-15.5") << -15.5 << "-15.5";
    QTest::newRow("123456.7") << 123456.7 << "123457";
    QTest::newRow("10.004") << 10.004 << "10.004";
}

void TestResultFrame::tenderAmountFormat() {
    QFETCH(double, amount);
    QFETCH(QString, text);
    WorkDir dir;
    ZoVORDACtl ctl;
    ctl.tenderRec.pay_type = "J";
    ctl.tenderRec.AmountTotal = amount;
    resultCode = "111111";
    resultMsg = "交易成功";
    const QJsonObject result = ResultFrame::CardResult(ctl);
    QCOMPARE(result.value("AmountTotal").toString(), text);
    QCOMPARE(result.value("ActualTotal").toString(), text);
    QVERIFY(!result.contains("PayDetails"));
}

void TestResultFrame::couponDetailsListOnlyUsableCoupons() {
    WorkDir dir;
    ZoVORDACtl ctl;
    ctl.tenderRec.pay_type = "Q";
    ctl.tenderRec.pay_code = "41";
    ctl.tenderRec.pay_name = "券";
    ctl.couponList = {new CouponRec{"Q1", "满减", 20, "1", "F1"}, new CouponRec{"Q2", "折扣", 5, "2", ""},
                      new CouponRec{"Q3", "代金", 5.5, "1", "F3"}, new CouponRec{"Q4", "代金", 7, "0", ""}};
    resultCode = "111111";
    resultMsg = "交易成功";
    QCOMPARE(
        QJsonDocument(ResultFrame::CardResult(ctl)).toJson(QJsonDocument::Compact),
        QByteArray(
            R"({"ActualTotal":"25.5","AmountTotal":"25.5","CardNo":"","MchOrderNo":"","OtherInfo":"","PayDetails":[{"ActualTotal":"20.00","AmountTotal":"20.00","CardNo":"Q1","ChildPayCode":"41","ChildPayName":"券","MchOrderNo":"F1"},{"ActualTotal":"5.50","AmountTotal":"5.50","CardNo":"Q3","ChildPayCode":"41","ChildPayName":"券","MchOrderNo":"F3"}],"RtnCode":"111111","RtnMsg":"交易成功"})"));
    QCOMPARE(ctl.tenderRec.AmountTotal, 25.5);
}

void TestResultFrame::couponRefundDetailsAreNegative() {
    WorkDir dir;
    ZoVORDACtl ctl;
    ctl.tenderRec.pay_type = "Q";
    ctl.couponList = {new CouponRec{"Q1", "", -10, "1", "F1"}, new CouponRec{"Q2", "", -5.5, "1", "F2"}};
    const QJsonObject result = ResultFrame::CardResult(ctl);
    const QJsonArray details = result.value("PayDetails").toArray();
    QCOMPARE(details.size(), 2);
    QCOMPARE(details.at(0).toObject().value("AmountTotal").toString(), QStringLiteral("-10.00"));
    QCOMPARE(details.at(1).toObject().value("ActualTotal").toString(), QStringLiteral("-5.50"));
    QCOMPARE(result.value("AmountTotal").toString(), QStringLiteral("-15.5"));
}

void TestResultFrame::resetClearsStateAndReloadsShopId() {
    WorkDir dir;
    ZoVORDACtl ctl;
    QString error;
    QVERIFY(ctl.ResetCall(error));
    QCOMPARE(ctl.shop_id, QString(""));
    dir.writeIni("ZoVORDA.ini", {{"Config/shop_id", "S77"}});
    ctl.reqtype = "63";
    ctl.memberRec.name = "x";
    ctl.memberRec.jfRecords.append(PointAccountRec());
    ctl.orderRec.cent = "1";
    ctl.tenderRec.tr_amt = 5;
    ctl.tenderRec.AmountTotal = 5;
    ctl.tenderRec.pay_type = "Q";
    ctl.goodsLines.append(1);
    ctl.settlePays.append(1);
    ctl.oriPays.append(OriPayRec());
    ctl.oriPaysNow.append(OriPayRec());
    ctl.couponList.append(new CouponRec);
    QVERIFY(ctl.ResetCall(error));
    QCOMPARE(error, QString());
    QCOMPARE(ctl.shop_id, QStringLiteral("S77"));
    QCOMPARE(ctl.reqtype, QStringLiteral("63"));
    QVERIFY(ctl.memberRec.name.isEmpty() && ctl.memberRec.jfRecords.isEmpty() && ctl.orderRec.cent.isEmpty());
    QCOMPARE(ctl.tenderRec.tr_amt, 0.0);
    QCOMPARE(ctl.tenderRec.AmountTotal, 0.0);
    QVERIFY(ctl.tenderRec.pay_type.isEmpty());
    QVERIFY(ctl.goodsLines.isEmpty() && ctl.settlePays.isEmpty() && ctl.oriPays.isEmpty() &&
            ctl.oriPaysNow.isEmpty() && ctl.couponList.isEmpty());
}

void TestResultFrame::inputAndResultAreLogged() {
    WorkDir dir;
    ZoVORDACtl ctl;
    ResultFrame::VipTrans(ctl, "{\"reqtype\":\"51\"}");
    const QList<LogRecord> records = dir.logRecords();
    QCOMPARE(records.size(), 2);
    QCOMPARE(records.at(0).source, QStringLiteral("ZoVORDA动态库"));
    QCOMPARE(records.at(0).step, QStringLiteral("传入参数"));
    QCOMPARE(records.at(0).text, QStringLiteral("{\"reqtype\":\"51\"}"));
    QCOMPARE(records.at(1).step, QStringLiteral("返回结果"));
    QCOMPARE(records.at(1).text, QStringLiteral(R"({"rtncode":"000000","rtnmsg":"交易类型错误"})"));
}

void TestResultFrame::refusedSecondCallLeavesTheRunningCallAlone() {
    WorkDir dir;
    ZoVORDACtl ctl;
    ctl.memberRec.name = "running";
    resultCode = "111111";
    resultMsg = "成功";
    QCOMPARE(ResultFrame::VipBusy(ctl),
             QByteArray(R"({"rtncode":"000000","rtnmsg":"上一笔交易尚未结束，请稍后再试"})"));
    QCOMPARE(
        ResultFrame::CardBusy(ctl),
        QByteArray(
            R"({"ActualTotal":"0","AmountTotal":"0","CardNo":"","MchOrderNo":"","OtherInfo":"","RtnCode":"000000","RtnMsg":"上一笔交易尚未结束，请稍后再试"})"));
    QCOMPARE(ctl.memberRec.name, QStringLiteral("running"));
    QCOMPARE(resultCode, QStringLiteral("111111"));
    QCOMPARE(dir.logSteps(), (QStringList{"重复调用", "返回结果", "重复调用", "返回结果"}));
    QCOMPARE(dir.lastLogText("重复调用"), QStringLiteral("上一笔交易尚未结束，请稍后再试"));
}

QTEST_MAIN(TestResultFrame)
#include "tst_ResultFrame.moc"
