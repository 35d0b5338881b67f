// Member requests as the host sends them: field checks, the cashier's part, the
// password attempts, the forced sign-in.
#include "CrmSim.h"
#include "api/ResultFrame.h"
#include "core/ZoVORDACtl.h"
#include "support/CashierRobot.h"
#include "support/CrmReplies.h"
#include "support/Requests.h"
#include "support/WorkDir.h"

#include <QLabel>
#include <QLineEdit>
#include <QtTest>

using crmsim::Reply;

namespace {

QJsonObject settleRequest() {
    return QJsonObject{{"reqtype", "63"},
                       {"store_id", "0101"},
                       {"station_id", "01"},
                       {"operator_id", "8001"},
                       {"business_date", "2026-12-06"},
                       {"pos_saleno", "S1"},
                       {"pos_billno", "B1"},
                       {"pos_salebgntime", "2026-12-06 10:00:00"},
                       {"code", "C1"},
                       {"vipcardid", "M1"},
                       {"sale_type", "sale"},
                       {"amount", 88.5},
                       {"emp_id", "E1"},
                       {"biztype", "1"},
                       {"sourcebillno", "SB1"},
                       {"plucounttotal", "3"},
                       {"shouldtotal", "90"},
                       {"actualtotal", "88.5"},
                       {"old_pos_saleno", "OS1"},
                       {"old_pos_billno", "OB1"},
                       {"products", QJsonArray{}},
                       {"pays", QJsonArray{}}};
}

QByteArray withoutFrom(QJsonObject o, const QStringList& keys, int from) {
    for (const QString& k : keys.mid(from))
        o.remove(k);
    return Requests::json(o);
}

} // namespace

class TestVipRequest : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void missingFields_data();
    void missingFields();
    void lookupKey_data();
    void lookupKey();
    void cashierTypesTheCode();
    void cashierClosesTheEntry();
    void dueSigninComesFirst();
    void settlementAmountAndReturnNumbers_data();
    void settlementAmountAndReturnNumbers();
    void passwordTenAttempts();
    void passwordClosedOnSecondAttempt();
    void passwordAccepted();
    void managementScreenClosed();
    void managementForcesSignin();

private:
    QByteArray vip(const QByteArray& in) { return ResultFrame::VipTrans(*m_ctl, in.constData()); }
    crmsim::Server* m_crm = nullptr;
    WorkDir* m_dir = nullptr;
    ZoVORDACtl* m_ctl = nullptr;
};

void TestVipRequest::init() {
    m_crm = new crmsim::Server;
    QVERIFY(m_crm->start());
    m_dir = new WorkDir;
    m_dir->configureTill(m_crm->baseUrl());
    m_ctl = new ZoVORDACtl;
}

void TestVipRequest::cleanup() {
    delete m_ctl;
    delete m_dir;
    delete m_crm;
}

void TestVipRequest::missingFields_data() {
    QTest::addColumn<QByteArray>("in");
    QTest::addColumn<QString>("error");
    const QStringList verify{"store_id", "station_id", "operator_id", "business_date", "biztype"};
    for (int i = 0; i < verify.size(); ++i)
        QTest::newRow(qPrintable("50 " + verify[i]))
            << withoutFrom(Requests::verifyRequest(), verify, i) << verify[i] + "参数传入不全";
    QJsonObject noCard = Requests::verifyRequest();
    noCard.remove("cardid");
    QTest::newRow("50 code without cardid") << Requests::json(noCard) << "cardid参数传入不全";
    const QStringList settle{"store_id",      "station_id",      "operator_id", "business_date", "pos_saleno",
                             "pos_billno",    "pos_salebgntime", "sale_type",   "amount",        "biztype",
                             "plucounttotal", "shouldtotal",     "actualtotal", "products",      "pays"};
    for (int i = 0; i < settle.size(); ++i)
        QTest::newRow(qPrintable("63 " + settle[i]))
            << withoutFrom(settleRequest(), settle, i) << settle[i] + "参数传入不全";
    QJsonObject zero = settleRequest();
    zero.insert("amount", "-0.004");
    QTest::newRow("63 amount rounds to zero") << Requests::json(zero) << "订单金额不允许为0";
}

void TestVipRequest::missingFields() {
    QFETCH(QByteArray, in);
    QFETCH(QString, error);
    CashierRobot robot; // no dialog may show
    const QJsonObject out = QJsonDocument::fromJson(vip(in)).object();
    QCOMPARE(out, (QJsonObject{{"rtncode", "000000"}, {"rtnmsg", error}}));
    QCOMPARE(m_crm->requestCount(), 0);
    VERIFY_ROBOT(robot);
}

void TestVipRequest::lookupKey_data() {
    QTest::addColumn<QJsonValue>("code");
    QTest::addColumn<QJsonValue>("cardid");
    QTest::addColumn<QByteArray>("key");
    QTest::newRow("card id wins") << QJsonValue("13800000001") << QJsonValue("CARD9") << QByteArray("CARD9");
    QTest::newRow("empty card id") << QJsonValue("13800000001") << QJsonValue("")
                                   << QByteArray("13800000001");
    QTest::newRow("numbers read as text") << QJsonValue(12345) << QJsonValue("") << QByteArray("12345");
}

void TestVipRequest::lookupKey() {
    QFETCH(QJsonValue, code);
    QFETCH(QJsonValue, cardid);
    QFETCH(QByteArray, key);
    QJsonObject in = Requests::verifyRequest();
    in.insert("code", code);
    in.insert("cardid", cardid);
    in.insert("reqtype", 50);
    m_crm->enqueue("pmb001", Reply::json(CrmReplies::members({CrmReplies::member("M1", "C1", "A", "1")})));
    QVERIFY(vip(Requests::json(in)).contains(R"("rtncode":"111111")"));
    QCOMPARE(m_crm->requests().value(0).body, R"({"cardno":")" + key + R"(","shop_id":"S01"})");
}

void TestVipRequest::cashierTypesTheCode() {
    QJsonObject in = Requests::verifyRequest();
    in.remove("code");
    in.remove("cardid");
    m_crm->enqueue("pmb001", Reply::json(CrmReplies::members({CrmReplies::member("M1", "C1", "A", "1")})));
    CashierRobot robot;
    robot.when("MemberLogin", CashierRobot::typeAndEnter("张三"));
    QVERIFY(vip(Requests::json(in)).contains(R"("vipcardid":"M1")"));
    VERIFY_ROBOT(robot);
    QCOMPARE(m_crm->requests().value(0).body, QByteArray(R"({"cardno":"张三","shop_id":"S01"})"));
}

void TestVipRequest::cashierClosesTheEntry() {
    QJsonObject in = Requests::verifyRequest();
    in.remove("code");
    m_dir->writeIni("ZoVORDA.ini", {{"Config/SigninTime", ""}}); // a sign-in would be due
    CashierRobot robot;
    robot.when("MemberLogin", CashierRobot::press(Qt::Key_Escape));
    QCOMPARE(vip(Requests::json(in)), QByteArray(R"({"rtncode":"000000","rtnmsg":"CLOSE"})"));
    VERIFY_ROBOT(robot);
    QCOMPARE(m_crm->requestCount(), 0);
}

void TestVipRequest::dueSigninComesFirst() {
    m_dir->writeIni("ZoVORDA.ini", {{"Config/SigninTime", "2020-01-01 08:00:00"}});
    // A refused sign-in does not stop the verification.
    m_crm->enqueue("sig999", Reply::json(CrmReplies::refused("设备未注册")));
    m_crm->enqueue("pmb001", Reply::json(CrmReplies::members({CrmReplies::member("M1", "C1", "A", "1")})));
    QVERIFY(vip(Requests::json(Requests::verifyRequest())).contains(R"("rtncode":"111111")"));
    QCOMPARE(m_crm->requests().value(0).txcode, QByteArray("sig999"));
    QCOMPARE(m_crm->requests().value(1).txcode, QByteArray("pmb001"));
}

void TestVipRequest::settlementAmountAndReturnNumbers_data() {
    QTest::addColumn<QJsonValue>("amount");
    QTest::addColumn<QString>("saleType");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("oldBill");
    QTest::newRow("negative amount") << QJsonValue(-25) << "sale"
                                     << "25.00"
                                     << "";
    QTest::newRow("return reads old numbers") << QJsonValue("88.456") << "return"
                                              << "88.46"
                                              << "OB1";
    QTest::newRow("RETURN in capitals does not") << QJsonValue(10) << "RETURN"
                                                 << "10.00"
                                                 << "";
}

void TestVipRequest::settlementAmountAndReturnNumbers() {
    QFETCH(QJsonValue, amount);
    QFETCH(QString, saleType);
    QFETCH(QString, text);
    QFETCH(QString, oldBill);
    QJsonObject in = settleRequest();
    in.insert("amount", amount);
    in.insert("sale_type", saleType);
    m_crm->enqueue("pmb021", Reply::json(CrmReplies::refused("x")));
    QString error;
    QString dummy;
    m_ctl->ResetCall(dummy);
    QVERIFY(!m_ctl->HandleVipRequest(QString::fromUtf8(Requests::json(in)), error));
    QCOMPARE(error, QStringLiteral("订单结算失败，x"));
    QCOMPARE(m_ctl->orderRec.amount, text);
    QCOMPARE(m_ctl->orderRec.old_pos_billno, oldBill);
    QCOMPARE(m_ctl->orderRec.old_pos_saleno, oldBill.isEmpty() ? QString() : QStringLiteral("OS1"));
}

void TestVipRequest::passwordTenAttempts() {
    m_crm->enqueue("pmb001", Reply::json(CrmReplies::members({CrmReplies::member("M1", "C1", "A", "1")})));
    CashierRobot robot;
    for (int i = 0; i < 10; ++i) {
        m_crm->enqueue("pmb002", Reply::json(CrmReplies::refused(QString("密码错误%1").arg(i + 1))));
        robot.when("MemberLogin", CashierRobot::typeAndEnter(QString::number(1000 + i)));
        robot.expectMessage(QString("会员验证失败，密码错误%1，请再次尝试或联系管理员处理").arg(i + 1));
    }
    QCOMPARE(vip(Requests::json(Requests::verifyRequest("13800000001", "3"))),
             QByteArray(
                 R"({"rtncode":"000000","rtnmsg":"会员验证失败，密码错误10，请再次尝试或联系管理员处理"})"));
    VERIFY_ROBOT(robot);
    const QList<crmsim::Request> requests = m_crm->requests();
    QCOMPARE(requests.size(), 11);
    QCOMPARE(requests.at(10).body, QByteArray(R"({"member_id":"M1","password":"1009","type":"1"})"));
    // The password dialog names the member by card number.
    QCOMPARE(m_dir->lastLogText("会员密码校验"),
             QStringLiteral(R"({"member_id":"M1","password":"1009","type":"1"})"));
}

void TestVipRequest::passwordClosedOnSecondAttempt() {
    m_crm->enqueue("pmb001", Reply::json(CrmReplies::members({CrmReplies::member("M1", "C1", "A", "1")})));
    m_crm->enqueue("pmb002", Reply::json(R"({"data":{"result_code":"0"}})"));
    CashierRobot robot;
    robot.when("MemberLogin", CashierRobot::typeAndEnter("1111"));
    robot.expectMessage("会员验证失败，请再次尝试或联系管理员处理");
    robot.when("MemberLogin", CashierRobot::press(Qt::Key_Escape));
    QCOMPARE(vip(Requests::json(Requests::verifyRequest("C1", "6"))),
             QByteArray(R"({"rtncode":"000000","rtnmsg":"CLOSE"})"));
    VERIFY_ROBOT(robot);
    QCOMPARE(m_crm->requestCount(), 2);
}

void TestVipRequest::passwordAccepted() {
    m_crm->enqueue("pmb001", Reply::json(CrmReplies::members({CrmReplies::member("M1", "C1", "A", "1")})));
    m_crm->enqueue("pmb002", Reply::json(R"({"data":{"result_code":1}})"));
    CashierRobot robot;
    robot.when("MemberLogin", [](QWidget* dialog) {
        // The password variant: masked entry, labelled as such, naming the member.
        auto* edit = dialog->findChild<QLineEdit*>("txtVipCode");
        QVERIFY(edit);
        QCOMPARE(edit->echoMode(), QLineEdit::Password);
        QCOMPARE(dialog->findChild<QLabel*>("lblhelp")->text(), QStringLiteral("会员：C1"));
        CashierRobot::typeAndEnter("246810")(dialog);
    });
    QVERIFY(vip(Requests::json(Requests::verifyRequest("C1", "3"))).contains(R"("rtncode":"111111")"));
    VERIFY_ROBOT(robot);
}

void TestVipRequest::managementScreenClosed() {
    CashierRobot robot;
    robot.when("MemberManage", CashierRobot::press(Qt::Key_Escape));
    QCOMPARE(vip(R"({"reqtype":"78","store_id":"0101"})"),
             QByteArray(R"({"rtncode":"000000","rtnmsg":"CLOSE"})"));
    VERIFY_ROBOT(robot);
    QCOMPARE(m_crm->requestCount(), 0);
}

void TestVipRequest::managementForcesSignin() {
    m_crm->enqueue("sig999",
                   Reply::json(R"({"data":{"result_code":"1","status":"1","token":"T2","shop_id":"S2"}})"));
    CashierRobot robot;
    robot.when("MemberManage", CashierRobot::press(Qt::Key_0));
    robot.expectMessage("签到成功");
    QCOMPARE(vip(R"({"reqtype":"78","store_id":"0101"})"),
             QByteArray(R"({"rtncode":"111111","rtnmsg":"成功"})"));
    VERIFY_ROBOT(robot);
    QCOMPARE(m_dir->lastLogText("会员管理"), QStringLiteral("强制进行签到"));
    QCOMPARE(m_dir->readIni("ZoVORDA.ini", "Config/token").toString(), QStringLiteral("T2"));

    // Without a store the sign-in cannot be made.
    robot.when("MemberManage", CashierRobot::press(Qt::Key_0));
    QCOMPARE(vip(R"({"reqtype":"78"})"),
             QByteArray(R"({"rtncode":"000000","rtnmsg":"store_id参数传入不全"})"));
    VERIFY_ROBOT(robot);
}

QTEST_MAIN(TestVipRequest)
#include "tst_VipRequest.moc"
