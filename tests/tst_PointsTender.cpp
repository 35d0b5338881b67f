// Paying with points and giving them back: the debit request, the CRM's answers, the
// cashier's way through member, password and amount, and what the host gets back.
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

const QString kHelp = QStringLiteral("【Esc】：返回   【Enter】：确定   【Backspace】：删除");

// The member as the CRM knows him: id M9 (not the head's M0001), points worth 32.5.
QByteArray memberM9() {
    return CrmReplies::members(
        {CrmReplies::member("M9", "C9", "王五", "13900000009",
                            {CrmReplies::account("A1", 300, 30), CrmReplies::account("A2", 25, "2.5")})});
}

QByteArray failed(const QString& message) {
    return QStringLiteral(
               R"({"ActualTotal":"0","AmountTotal":"0","CardNo":"","MchOrderNo":"","OtherInfo":"","RtnCode":"000000","RtnMsg":"%1"})")
        .arg(message)
        .toUtf8();
}

QByteArray paid(const QString& amount) {
    return QStringLiteral(
               R"({"ActualTotal":"%1","AmountTotal":"%1","CardNo":"","MchOrderNo":"","OtherInfo":"","RtnCode":"111111","RtnMsg":"交易成功"})")
        .arg(amount)
        .toUtf8();
}

QByteArray debit(const QString& scoreCash, const QString& type = "1", const QString& sorder = "") {
    return QStringLiteral(
               R"({"member_id":"M0001","order_id":"B0001","score_cash":"%1","shop_id":"S01","sorder_id":"%3","type":"%2"})")
        .arg(scoreCash, type, sorder)
        .toUtf8();
}

// Types the amount, or places it in the field as a whole when the keyboard could not
// produce it (the field refuses a typed third decimal).
CashierRobot::Action enterAmount(const QString& amount, bool placed) {
    if (!placed)
        return CashierRobot::typeAndEnter(amount);
    return [amount](QWidget* dialog) {
        dialog->findChild<QLineEdit*>("txtCode")->setText(amount);
        CashierRobot::press(Qt::Key_Return)(dialog);
    };
}

} // namespace

class TestPointsTender : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void debitRequest_data();
    void debitRequest();
    void crmAnswer_data();
    void crmAnswer();
    void wholeSale_data();
    void wholeSale();
    void saleRefused_data();
    void saleRefused();
    void refund_data();
    void refund();
    void noPointsOperation_data();
    void noPointsOperation();

private:
    QByteArray card(const QJsonObject& head) {
        const QByteArray h = Requests::json(head);
        const QByteArray plu = Requests::json(Requests::products());
        return ResultFrame::CardTrans(*m_ctl, h.constData(), plu.constData(), "");
    }
    QStringList txcodes() const {
        QStringList codes;
        for (const crmsim::Request& r : m_crm->requests())
            codes.append(QString::fromLatin1(r.txcode));
        return codes;
    }
    crmsim::Server* m_crm = nullptr;
    WorkDir* m_dir = nullptr;
    ZoVORDACtl* m_ctl = nullptr;
};

void TestPointsTender::init() {
    m_crm = new crmsim::Server;
    QVERIFY(m_crm->start());
    m_dir = new WorkDir;
    m_dir->configureTill(m_crm->baseUrl());
    m_ctl = new ZoVORDACtl;
}

void TestPointsTender::cleanup() {
    delete m_ctl;
    delete m_dir;
    delete m_crm;
}

void TestPointsTender::debitRequest_data() {
    QTest::addColumn<double>("amount");
    QTest::addColumn<QString>("type");
    QTest::addColumn<QString>("oribill");
    QTest::addColumn<QByteArray>("body");
    QTest::newRow("payment ignores the original bill") << 12.5 << "1"
                                                       << "OB7" << debit("12.50");
    QTest::newRow("refund names the original bill") << 12.5 << "-1"
                                                    << "OB7" << debit("12.50", "-1", "OB7");
    QTest::newRow("refund without original bill") << 5.0 << "-1"
                                                  << "" << debit("5.00", "-1");
    QTest::newRow("beyond two decimals") << 10.004 << "1"
                                         << "" << debit("10.00");
    QTest::newRow("zero is sent") << 0.0 << "1"
                                  << "" << debit("0.00");
    QTest::newRow("sign kept") << -3.456 << "-1"
                               << "OB7" << debit("-3.46", "-1", "OB7");
    QTest::newRow("other type sent as given") << 1.0 << " -1"
                                              << "OB7" << debit("1.00", " -1");
}

void TestPointsTender::debitRequest() {
    QFETCH(double, amount);
    QFETCH(QString, type);
    QFETCH(QString, oribill);
    QFETCH(QByteArray, body);
    QString error;
    m_ctl->ResetCall(error);
    m_ctl->tenderRec.bill_no = "B0001";
    m_ctl->tenderRec.vip_cardid = "M0001";
    m_ctl->tenderRec.oribill_no = oribill;
    m_crm->enqueue("pmb020", Reply::json(CrmReplies::accepted()));
    QVERIFY2(m_ctl->PayByPoints(amount, type, error), qPrintable(error));
    QCOMPARE(m_crm->requests().value(0).body, body);
    QCOMPARE(m_crm->requests().value(0).txcode, QByteArray("pmb020"));
    QCOMPARE(m_dir->lastLogText("积分支付报文").toUtf8(), body);
}

void TestPointsTender::crmAnswer_data() {
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QString>("message");
    QTest::newRow("not json") << QByteArray("<html>") << false
                              << "解析Vorda返回数据错误，请再次尝试或联系管理员处理";
    QTest::newRow("array") << QByteArray(R"([{"data":{"result_code":"1"}}])") << false
                           << "解析Vorda返回数据失败，请再次尝试或联系管理员处理";
    QTest::newRow("no data") << QByteArray(R"({"result_code":"1"})") << false << "未获取到Vorda返回数据节点";
    QTest::newRow("no result_code") << QByteArray(R"({"data":{"result_msg":"x"}})") << false
                                    << "积分支付异常";
    QTest::newRow("refused") << QByteArray(R"({"data":{"result_code":"0","result_msg":"X"}})") << false
                             << "0 X";
    QTest::newRow("refused, code a number")
        << QByteArray(R"({"data":{"result_code":2,"result_msg":"积分不足"}})") << false << "2 积分不足";
    QTest::newRow("refused without text")
        << QByteArray(R"({"data":{"result_code":"0"}})") << false << "缺少错误信息";
    QTest::newRow("accepted, code a number")
        << QByteArray(R"({"data":{"result_code":1}})") << true << "untouched";
    QTest::newRow("accepted") << CrmReplies::accepted() << true << "untouched";
}

void TestPointsTender::crmAnswer() {
    QFETCH(QByteArray, reply);
    QFETCH(bool, ok);
    QFETCH(QString, message);
    QString error;
    m_ctl->ResetCall(error);
    m_crm->enqueue("pmb020", Reply::json(reply));
    error = "untouched";
    QCOMPARE(m_ctl->PayByPoints(5, "1", error), ok);
    QCOMPARE(error, message);
}

void TestPointsTender::wholeSale_data() {
    QTest::addColumn<double>("trAmt");
    QTest::addColumn<QString>("amount");
    QTest::addColumn<bool>("placed");
    QTest::addColumn<QString>("scoreCash");
    QTest::addColumn<QByteArray>("result");
    QTest::newRow("part of the amount due") << 20.0 << "12.5" << false << "12.50" << paid("12.5");
    QTest::newRow("all of it") << 10.0 << "10" << false << "10.00" << paid("10");
    QTest::newRow("over only beyond the cents") << 10.0 << "10.004" << true << "10.00" << paid("10.004");
    QTest::newRow("typed third decimal is not taken") << 10.0 << "10.004" << false << "10.00" << paid("10");
    QTest::newRow("dangling point") << 10.0 << "7." << false << "7.00" << paid("7");
}

void TestPointsTender::wholeSale() {
    QFETCH(double, trAmt);
    QFETCH(QString, amount);
    QFETCH(bool, placed);
    QFETCH(QString, scoreCash);
    QFETCH(QByteArray, result);
    QJsonObject head = Requests::tenderHead("J", "SALE");
    head.insert("tr_amt", trAmt);
    head.insert("oribill_no", "OB7"); // a sale names no original bill, whatever the host sends
    m_crm->enqueue("pmb001", Reply::json(memberM9()));
    m_crm->enqueue("pmb002", Reply::json(CrmReplies::accepted()));
    m_crm->enqueue("pmb020", Reply::json(CrmReplies::accepted()));
    CashierRobot robot;
    robot.when("MemberLogin", CashierRobot::typeAndEnter("246810"));
    QString shownTotal, shownEntry, shownHelp;
    robot.when("JFPayWidget", [&](QWidget* dialog) {
        shownTotal = dialog->findChild<QLabel*>("lblTotal")->text();
        shownHelp = dialog->findChild<QLabel*>("lblhelp1")->text();
        shownEntry = dialog->findChild<QLineEdit*>("txtCode")->text();
        enterAmount(amount, placed)(dialog);
    });

    QCOMPARE(card(head), result);
    VERIFY_ROBOT(robot);
    QCOMPARE(shownTotal, QStringLiteral("32.5"));
    QCOMPARE(shownEntry, QString("")); // the amount due is passed along, yet the cashier starts empty
    QCOMPARE(shownHelp, kHelp);
    const QList<crmsim::Request> requests = m_crm->requests();
    QCOMPARE(txcodes(), (QStringList{"pmb001", "pmb002", "pmb020"}));
    // The head's member id is the lookup key and the account debited; the password goes
    // with the id the CRM answered.
    QCOMPARE(requests.at(0).body, QByteArray(R"({"cardno":"M0001","shop_id":"S01"})"));
    QCOMPARE(requests.at(1).body, QByteArray(R"({"member_id":"M9","password":"246810","type":"1"})"));
    QCOMPARE(requests.at(2).body, debit(scoreCash));
}

void TestPointsTender::saleRefused_data() {
    QTest::addColumn<QByteArray>("memberReply");
    QTest::addColumn<QString>("password"); // null: the dialog never shows; empty: closed
    QTest::addColumn<QByteArray>("passwordReply");
    QTest::addColumn<QString>("amount"); // null: the dialog never shows; empty: closed
    QTest::addColumn<QByteArray>("debitReply");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QStringList>("sent");
    const QByteArray ok = CrmReplies::accepted();
    QTest::newRow("member refused") << CrmReplies::refused("卡已挂失") << QString() << QByteArray()
                                    << QString() << QByteArray()
                                    << "会员验证失败 会员验证失败，卡已挂失，请再次尝试或联系管理员处理"
                                    << QStringList{"pmb001"};
    QTest::newRow("member unknown") << CrmReplies::members({}) << QString() << QByteArray() << QString()
                                    << QByteArray() << "会员验证失败 未查询到相关会员信息"
                                    << QStringList{"pmb001"};
    QTest::newRow("password dialog closed")
        << memberM9() << "" << QByteArray() << QString() << QByteArray() << "CLOSE" << QStringList{"pmb001"};
    QTest::newRow("password wrong") << memberM9() << "1111" << CrmReplies::refused("密码错误") << QString()
                                    << QByteArray()
                                    << "密码验证失败 会员验证失败，密码错误，请再次尝试或联系管理员处理"
                                    << QStringList{"pmb001", "pmb002"};
    QTest::newRow("points dialog closed")
        << memberM9() << "1111" << ok << "" << QByteArray() << "CLOSE" << QStringList{"pmb001", "pmb002"};
    QTest::newRow("a cent above the amount due")
        << memberM9() << "1111" << ok << "10.01" << QByteArray() << "支付金额请勿大于输入的待付金额"
        << QStringList{"pmb001", "pmb002"};
    QTest::newRow("points refused") << memberM9() << "1111" << ok << "10" << CrmReplies::refused("积分不足")
                                    << "0 积分不足" << QStringList{"pmb001", "pmb002", "pmb020"};
}

void TestPointsTender::saleRefused() {
    QFETCH(QByteArray, memberReply);
    QFETCH(QString, password);
    QFETCH(QByteArray, passwordReply);
    QFETCH(QString, amount);
    QFETCH(QByteArray, debitReply);
    QFETCH(QString, message);
    QFETCH(QStringList, sent);
    m_crm->enqueue("pmb001", Reply::json(memberReply));
    m_crm->enqueue("pmb002", Reply::json(passwordReply));
    m_crm->enqueue("pmb020", Reply::json(debitReply));
    CashierRobot robot;
    if (!password.isNull())
        robot.when("MemberLogin", password.isEmpty() ? CashierRobot::press(Qt::Key_Escape)
                                                     : CashierRobot::typeAndEnter(password));
    if (!amount.isNull())
        robot.when("JFPayWidget", amount.isEmpty() ? CashierRobot::press(Qt::Key_Escape)
                                                   : CashierRobot::typeAndEnter(amount));

    QCOMPARE(card(Requests::tenderHead("J", "SALE")), failed(message));
    VERIFY_ROBOT(robot);
    QCOMPARE(txcodes(), sent);
    QCOMPARE(m_dir->lastLogText("执行SALE"), message);
}

void TestPointsTender::refund_data() {
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QByteArray>("result");
    QTest::newRow("credited") << CrmReplies::accepted() << paid("-12.5");
    QTest::newRow("refused") << CrmReplies::refused("订单不存在") << failed("0 订单不存在");
}

void TestPointsTender::refund() {
    QFETCH(QByteArray, reply);
    QFETCH(QByteArray, result);
    QJsonObject head = Requests::tenderHead("J", "REFUND");
    head.insert("oribill_no", "OB7");
    head.insert("orisale_no", "OS7");
    head.insert("tr_amt", -12.5);
    m_crm->enqueue("pmb020", Reply::json(reply));
    CashierRobot robot; // nobody is asked anything

    QCOMPARE(card(head), result);
    VERIFY_ROBOT(robot);
    QCOMPARE(m_crm->requestCount(), 1);
    QCOMPARE(m_crm->requests().at(0).body, debit("12.50", "-1", "OB7"));
}

void TestPointsTender::noPointsOperation_data() {
    QTest::addColumn<QString>("payType");
    QTest::addColumn<QString>("txnType");
    QTest::addColumn<QString>("message");
    QTest::newRow("cancel") << "J"
                            << "CANCEL"
                            << "该支付方式不允许清除";
    QTest::newRow("sale, pay type in lower case") << "q"
                                                  << "SALE"
                                                  << "";
    QTest::newRow("refund, pay type in lower case") << "j"
                                                    << "REFUND"
                                                    << "";
}

void TestPointsTender::noPointsOperation() {
    QFETCH(QString, payType);
    QFETCH(QString, txnType);
    QFETCH(QString, message);
    QJsonObject head = Requests::tenderHead(payType, txnType);
    head.insert("oribill_no", "OB7");
    head.insert("orisale_no", "OS7");
    CashierRobot robot;

    QCOMPARE(card(head), failed(message));
    VERIFY_ROBOT(robot);
    QCOMPARE(m_crm->requestCount(), 0);
}

QTEST_MAIN(TestPointsTender)
#include "tst_PointsTender.moc"
