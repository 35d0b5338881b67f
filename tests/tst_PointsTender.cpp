// Paying with points and giving them back: the debit request, the CRM's answers, the
// cashier's way through member, password and amount, and what the host gets back.
#include "support/CashierRobot.h"
#include "support/CrmReplies.h"
#include "support/TillFixture.h"

#include <QLabel>
#include <QLineEdit>
#include <QtTest>

namespace {

// The member as the CRM knows him: id M9 (not the head's M0001), points worth 32.5.
QByteArray memberM9() {
    return CrmReplies::members(
        {CrmReplies::member("M9", "C9", "王五", "13900000009",
                            {CrmReplies::account("A1", 300, 30), CrmReplies::account("A2", 25, "2.5")})});
}

QByteArray failed(const QString& message) {
    return cardResult("000000", message, "0");
}
QByteArray paid(const QString& amount) {
    return cardResult("111111", "交易成功", amount);
}

QByteArray debit(const QString& scoreCash, const QString& type = "1", const QString& sorder = "") {
    return QStringLiteral(
               R"({"member_id":"M0001","order_id":"B0001","score_cash":"%1","shop_id":"S01","sorder_id":"%3","type":"%2"})")
        .arg(scoreCash, type, sorder)
        .toUtf8();
}

QJsonObject head(const QString& payType, const QString& txnType, double trAmt = 10) {
    QJsonObject h = Requests::tenderHead(payType, txnType);
    h.insert("oribill_no", "OB7"); // a sale names no original bill, whatever the host sends
    h.insert("orisale_no", "OS7");
    h.insert("tr_amt", trAmt);
    return h;
}

} // namespace

class TestPointsTender : public QObject {
    Q_OBJECT
private:
    std::unique_ptr<TillFixture> m_till;

private slots:
    void init() {
        m_till.reset(new TillFixture);
        QVERIFY(m_till->started);
    }
    void cleanup() { m_till.reset(); }

    void debitRequest_data() {
        QTest::addColumn<double>("amount");
        QTest::addColumn<QString>("type");
        QTest::addColumn<QString>("oribill");
        QTest::addColumn<QByteArray>("body");
        tableRow("payment ignores the original bill", 12.5, "1", "OB7", debit("12.50"));
        tableRow("refund names the original bill", 12.5, "-1", "OB7", debit("12.50", "-1", "OB7"));
        tableRow("refund without original bill", 5.0, "-1", "", debit("5.00", "-1"));
        tableRow("beyond two decimals", 10.004, "1", "", debit("10.00"));
        tableRow("zero is sent", 0.0, "1", "", debit("0.00"));
        tableRow("sign kept", -3.456, "-1", "OB7", debit("-3.46", "-1", "OB7"));
        tableRow("other type sent as given", 1.0, " -1", "OB7", debit("1.00", " -1"));
    }

    void debitRequest() {
        QFETCH(double, amount);
        QFETCH(QString, type);
        QFETCH(QString, oribill);
        QFETCH(QByteArray, body);
        ZoVORDACtl& ctl = m_till->ctl;
        QString error;
        ctl.ResetCall(error);
        ctl.tenderRec.bill_no = "B0001";
        ctl.tenderRec.vip_cardid = "M0001";
        ctl.tenderRec.oribill_no = oribill;
        m_till->script("pmb020", {CrmReplies::accepted()});
        QVERIFY2(ctl.PayByPoints(amount, type, error), qPrintable(error));
        QCOMPARE(m_till->bodies("pmb020"), QByteArrayList{body});
        QCOMPARE(m_till->dir.lastLogText("积分支付报文").toUtf8(), body);
    }

    void crmAnswer_data() {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<QString>("message"); // "untouched": accepted
        tableRow("not json", QByteArray("<html>"), "解析Vorda返回数据错误，请再次尝试或联系管理员处理");
        tableRow("array", QByteArray(R"([{"data":{"result_code":"1"}}])"),
                 "解析Vorda返回数据失败，请再次尝试或联系管理员处理");
        tableRow("no data", QByteArray(R"({"result_code":"1"})"), "未获取到Vorda返回数据节点");
        tableRow("no result_code", QByteArray(R"({"data":{"result_msg":"x"}})"), "积分支付异常");
        tableRow("refused", QByteArray(R"({"data":{"result_code":"0","result_msg":"X"}})"), "0 X");
        tableRow("refused, code a number",
                 QByteArray(R"({"data":{"result_code":2,"result_msg":"积分不足"}})"), "2 积分不足");
        tableRow("refused without text", QByteArray(R"({"data":{"result_code":"0"}})"), "缺少错误信息");
        tableRow("accepted, code a number", QByteArray(R"({"data":{"result_code":1}})"), "untouched");
        tableRow("accepted", CrmReplies::accepted(), "untouched");
    }

    void crmAnswer() {
        QFETCH(QByteArray, reply);
        QFETCH(QString, message);
        QString error;
        m_till->ctl.ResetCall(error);
        m_till->script("pmb020", {reply});
        error = "untouched";
        QCOMPARE(m_till->ctl.PayByPoints(5, "1", error), message == "untouched");
        QCOMPARE(error, message);
    }

    void wholeSale_data() {
        QTest::addColumn<double>("trAmt");
        QTest::addColumn<QString>("amount");
        QTest::addColumn<bool>("placed"); // set as a whole when the keyboard could not produce it
        QTest::addColumn<QString>("scoreCash");
        QTest::addColumn<QByteArray>("result");
        tableRow("part of the amount due", 20.0, "12.5", false, "12.50", paid("12.5"));
        tableRow("all of it", 10.0, "10", false, "10.00", paid("10"));
        tableRow("over only beyond the cents", 10.0, "10.004", true, "10.00", paid("10.004"));
        tableRow("typed third decimal is not taken", 10.0, "10.004", false, "10.00", paid("10"));
        tableRow("dangling point", 10.0, "7.", false, "7.00", paid("7"));
    }

    void wholeSale() {
        QFETCH(double, trAmt);
        QFETCH(QString, amount);
        QFETCH(bool, placed);
        QFETCH(QString, scoreCash);
        QFETCH(QByteArray, result);
        m_till->script("pmb001", {memberM9()});
        m_till->script("pmb002", {CrmReplies::accepted()});
        m_till->script("pmb020", {CrmReplies::accepted()});
        CashierRobot robot;
        robot.when("MemberLogin", CashierRobot::typeAndEnter("246810"));
        QStringList shown; // total, help line, entry
        robot.when("JFPayWidget", [&](QWidget* dialog) {
            QLineEdit* entry = dialog->findChild<QLineEdit*>("txtCode");
            shown << dialog->findChild<QLabel*>("lblTotal")->text()
                  << dialog->findChild<QLabel*>("lblhelp1")->text() << entry->text();
            if (placed)
                entry->setText(amount);
            (placed ? CashierRobot::press(Qt::Key_Return) : CashierRobot::typeAndEnter(amount))(dialog);
        });

        QCOMPARE(m_till->card(head("J", "SALE", trAmt)), result);
        VERIFY_ROBOT(robot);
        // The amount due is passed along, yet the cashier starts with an empty entry.
        QCOMPARE(shown, (QStringList{"32.5", "【Esc】：返回   【Enter】：确定   【Backspace】：删除", ""}));
        // The head's member id is the lookup key and the account debited; the password goes
        // with the id the CRM answered.
        QCOMPARE(m_till->txcodes(), (QStringList{"pmb001", "pmb002", "pmb020"}));
        QCOMPARE(m_till->bodies("pmb001").value(0), QByteArray(R"({"cardno":"M0001","shop_id":"S01"})"));
        QCOMPARE(m_till->bodies("pmb002").value(0),
                 QByteArray(R"({"member_id":"M9","password":"246810","type":"1"})"));
        QCOMPARE(m_till->bodies("pmb020").value(0), debit(scoreCash));
    }

    void saleRefused_data() {
        QTest::addColumn<QByteArrayList>("replies"); // member lookup, password, debit
        QTest::addColumn<QString>("password");       // null: the dialog never shows; empty: closed
        QTest::addColumn<QString>("amount");         // the same
        QTest::addColumn<QString>("message");
        const QByteArray ok = CrmReplies::accepted(), m9 = memberM9();
        tableRow("member refused", QByteArrayList{CrmReplies::refused("卡已挂失")}, QString(), QString(),
                 "会员验证失败 会员验证失败，卡已挂失，请再次尝试或联系管理员处理");
        tableRow("member unknown", QByteArrayList{CrmReplies::members({})}, QString(), QString(),
                 "会员验证失败 未查询到相关会员信息");
        tableRow("password dialog closed", QByteArrayList{m9}, "", QString(), "CLOSE");
        tableRow("password wrong", QByteArrayList{m9, CrmReplies::refused("密码错误")}, "1111", QString(),
                 "密码验证失败 会员验证失败，密码错误，请再次尝试或联系管理员处理");
        tableRow("points dialog closed", QByteArrayList{m9, ok}, "1111", "", "CLOSE");
        tableRow("a cent above the amount due", QByteArrayList{m9, ok}, "1111", "10.01",
                 "支付金额请勿大于输入的待付金额");
        tableRow("points refused", QByteArrayList{m9, ok, CrmReplies::refused("积分不足")}, "1111", "10",
                 "0 积分不足");
    }

    void saleRefused() {
        QFETCH(QByteArrayList, replies);
        QFETCH(QString, password);
        QFETCH(QString, amount);
        QFETCH(QString, message);
        const QStringList codes{"pmb001", "pmb002", "pmb020"};
        for (int i = 0; i < replies.size(); ++i)
            m_till->script(codes[i].toLatin1(), {replies[i]});
        CashierRobot robot;
        const auto cashier = [](const QString& s) {
            return s.isEmpty() ? CashierRobot::press(Qt::Key_Escape) : CashierRobot::typeAndEnter(s);
        };
        if (!password.isNull())
            robot.when("MemberLogin", cashier(password));
        if (!amount.isNull())
            robot.when("JFPayWidget", cashier(amount));

        QCOMPARE(m_till->card(head("J", "SALE")), failed(message));
        VERIFY_ROBOT(robot);
        QCOMPARE(m_till->txcodes(), codes.mid(0, replies.size()));
        QCOMPARE(m_till->dir.lastLogText("执行SALE"), message);
    }

    // A refund credits the points back at once; a cancel or another tender's type asks
    // nothing and sends nothing.
    void noDialogs_data() {
        QTest::addColumn<QString>("payType");
        QTest::addColumn<QString>("txnType");
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<QByteArray>("result");
        tableRow("refund credited", "J", "REFUND", CrmReplies::accepted(), paid("-12.5"));
        tableRow("refund refused", "J", "REFUND", CrmReplies::refused("订单不存在"), failed("0 订单不存在"));
        tableRow("cancel", "J", "CANCEL", QByteArray(), failed("该支付方式不允许清除"));
        tableRow("sale, pay type in lower case", "q", "SALE", QByteArray(), failed(""));
        tableRow("refund, pay type in lower case", "j", "REFUND", QByteArray(), failed(""));
    }

    void noDialogs() {
        QFETCH(QString, payType);
        QFETCH(QString, txnType);
        QFETCH(QByteArray, reply);
        QFETCH(QByteArray, result);
        if (!reply.isEmpty())
            m_till->script("pmb020", {reply});
        CashierRobot robot;

        QCOMPARE(m_till->card(head(payType, txnType, reply.isEmpty() ? 10 : -12.5)), result);
        VERIFY_ROBOT(robot);
        QCOMPARE(m_till->bodies("pmb020"),
                 reply.isEmpty() ? QByteArrayList() : QByteArrayList{debit("12.50", "-1", "OB7")});
        QCOMPARE(m_till->crm.requestCount(), reply.isEmpty() ? 0 : 1);
    }
};

QTEST_MAIN(TestPointsTender)
#include "tst_PointsTender.moc"
