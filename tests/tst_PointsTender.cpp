// Paying with points and giving them back: the member of the tender head, his password,
// the amount the cashier keys in, the debit the CRM receives and what the host gets back.
#include "CashierRobot.h"
#include "support/Columns.h"
#include "support/CrmReplies.h"
#include "support/TillFixture.h"

#include <QLabel>
#include <QLineEdit>
#include <QtTest>

using Answers = QList<std::optional<QString>>;

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
    return QStringLiteral(R"({"member_id":"M0001","order_id":"B0001","score_cash":"%1","shop_id":"S01",)"
                          R"("sorder_id":"%3","type":"%2"})")
        .arg(scoreCash, type, sorder)
        .toUtf8();
}

// A sale names no original bill, whatever the host sends.
QJsonObject head(const QString& txnType, double amount) {
    QJsonObject h = Requests::tenderHead("J", txnType);
    h.insert("oribill_no", "OB7");
    h.insert("orisale_no", "OS7");
    h.insert("tr_amt", amount);
    return h;
}

const QString kRetry = QStringLiteral("，请再次尝试或联系管理员处理");

struct Refusal {
    QByteArrayList replies; // member lookup, password check, debit
    Answers choices, passwords, amounts;
    QString message;
};

} // namespace
Q_DECLARE_METATYPE(Refusal)

class TestPointsTender : public ScriptedTillSuite {
    Q_OBJECT
    void scriptSale(const QByteArrayList& replies) {
        const QByteArrayList codes{"pmb001", "pmb002", "pmb020"};
        for (int i = 0; i < replies.size(); ++i)
            m_till->script(codes[i], {replies[i]});
    }

private slots:
    void init() { startTill(); }
    void cleanup() { endTill(); }

    // With exact amounts the host reads back the amount as debited, to the cent.
    void sale_data() {
        columns<bool, double, QString, QString, QString>({"exact", "due", "typed", "scoreCash", "total"});
        tableRow("part of the amount due", false, 20.0, QString("12.5"), QString("12.50"), QString("12.5"));
        tableRow("all of it", false, 10.0, QString("10"), QString("10.00"), QString("10"));
        tableRow("above the amount due only beyond the cents", false, 10.0, QString("10.004"),
                 QString("10.00"), QString("10.004"));
        tableRow("12345.67 answered in six digits", false, 20000.0, QString("12345.67"), QString("12345.67"),
                 QString("12345.7"));
        tableRow("a million in exponent form", false, 1e6, QString("1000000"), QString("1000000.00"),
                 QString("1e+06"));
        tableRow("a dangling point", false, 10.0, QString("7."), QString("7.00"), QString("7"));
        tableRow("an entry that is no number pays nothing", false, 10.0, QString("abc"), QString("0.00"),
                 QString("0"));
        tableRow("exact amounts: 12345.67 answered to the cent", true, 20000.0, QString("12345.67"),
                 QString("12345.67"), QString("12345.67"));
        tableRow("exact amounts: a million", true, 1e6, QString("1000000"), QString("1000000.00"),
                 QString("1000000.00"));
        tableRow("exact amounts: 10.004 answered as debited", true, 10.0, QString("10.004"), QString("10.00"),
                 QString("10.00"));
    }

    void sale() {
        QFETCH(bool, exact);
        QFETCH(double, due);
        QFETCH(QString, typed);
        QFETCH(QString, scoreCash);
        QFETCH(QString, total);
        m_till->exactAmounts(exact);
        scriptSale({memberM9(), CrmReplies::accepted(), CrmReplies::accepted()});
        cashier().passwords = {QString("246810")};
        cashier().amounts = {typed};
        QCOMPARE(m_till->card(head("SALE", due)), paid(total));
        QCOMPARE(cashier().amountAsked,
                 (QList<QPair<QString, QString>>{{"32.5", QString::number(due, 'f', 2)}}));
        QCOMPARE(cashier().passwordHelp, QStringList{"C9"});
        // The head's member id is the lookup key and the account debited; the password goes
        // with the id the CRM answered.
        QCOMPARE(m_till->txcodes(), (QStringList{"pmb001", "pmb002", "pmb020"}));
        QCOMPARE(m_till->bodies("pmb001"), QByteArrayList{R"({"cardno":"M0001","shop_id":"S01"})"});
        QCOMPARE(m_till->bodies("pmb002"),
                 QByteArrayList{R"({"member_id":"M9","password":"246810","type":"1"})"});
        QCOMPARE(m_till->bodies("pmb020"), QByteArrayList{debit(scoreCash)});
        QCOMPARE(m_till->dir.lastLogText("积分支付报文").toUtf8(), debit(scoreCash));
        QCOMPARE(m_till->dir.logSteps(),
                 (QStringList{"传入参数TranHead", "传入参数TranPlu", "传入参数UdpIn1", "会员验证", "调用成功",
                              "会员密码校验", "调用成功", "积分支付报文", "调用成功", "返回结果"}));
    }

    void saleRefused_data() {
        QTest::addColumn<Refusal>("r");
        const QByteArray ok = CrmReplies::accepted(), m9 = memberM9();
        const Answers none, pw{QString("1111")}, closed{std::nullopt};
        const auto row = [](const QString& name, const QByteArrayList& replies, const Answers& choices,
                            const Answers& passwords, const Answers& amounts, const QString& message) {
            QTest::newRow(qPrintable(name)) << Refusal{replies, choices, passwords, amounts, message};
        };
        row("the CRM refuses the member", {CrmReplies::refused("卡已挂失")}, none, none, none,
            "会员验证失败 会员验证失败，卡已挂失" + kRetry);
        row("the member is unknown", {CrmReplies::members({})}, none, none, none,
            "会员验证失败 未查询到相关会员信息");
        const QJsonArray two{CrmReplies::member("M1", "C1", "甲", "1"),
                             CrmReplies::member("M2", "C2", "乙", "1")};
        row("the list of members closed", {CrmReplies::members(two)}, closed, none, none,
            "会员验证失败 CLOSE");
        row("the password entry closed", {m9}, none, closed, none, "CLOSE");
        row("a wrong password ends the sale", {m9, CrmReplies::refused("密码错误")}, none, pw, none,
            "密码验证失败 会员验证失败，密码错误" + kRetry);
        row("the amount entry closed", {m9, ok}, none, pw, closed, "CLOSE");
        row("a cent above the amount due", {m9, ok}, none, pw, {QString("10.01")},
            "支付金额请勿大于输入的待付金额");
        const QList<QPair<QByteArray, QString>> debits{
            {"<html>", "解析Vorda返回数据错误" + kRetry},
            {R"([{"data":{"result_code":"1"}}])", "解析Vorda返回数据失败" + kRetry},
            {R"({"result_code":"1"})", "未获取到Vorda返回数据节点"},
            {R"({"data":{"result_msg":"x"}})", "积分支付异常"},
            {R"({"data":{"result_code":"0","result_msg":"X"}})", "0 X"},
            {R"({"data":{"result_code":2,"result_msg":"积分不足"}})", "2 积分不足"},
            {R"({"data":{"result_code":"0"}})", "缺少错误信息"}};
        for (const auto& d : debits)
            row("the debit answered " + d.first, {m9, ok, d.first}, none, pw, {QString("10")}, d.second);
    }

    void saleRefused() {
        QFETCH(Refusal, r);
        scriptSale(r.replies);
        cashier().choices = r.choices;
        cashier().passwords = r.passwords;
        cashier().amounts = r.amounts;
        QCOMPARE(m_till->card(head("SALE", 10)), failed(r.message));
        QCOMPARE(m_till->txcodes(), QStringList({"pmb001", "pmb002", "pmb020"}).mid(0, r.replies.size()));
        QCOMPARE(m_till->dir.lastLogText("执行SALE"), r.message);
    }

    // A refund gives the points back at once: no dialog, and the payment lines are not read.
    void refund_data() {
        columns<bool, double, QByteArray, QByteArray, QByteArray>(
            {"exact", "amount", "reply", "scoreCash", "result"});
        const QByteArray ok = CrmReplies::accepted();
        tableRow("points given back", false, -12.5, ok, QByteArray("12.50"), paid("-12.5"));
        tableRow("0.006 is not zero and is answered as sent", false, 0.006, ok, QByteArray("0.01"),
                 paid("-0.006"));
        tableRow("refused", false, 5.0, CrmReplies::refused("订单不存在"), QByteArray("5.00"),
                 failed("0 订单不存在"));
        tableRow("12345.67 answered in six digits", false, 12345.67, ok, QByteArray("12345.67"),
                 paid("-12345.7"));
        tableRow("exact amounts: 12345.67 answered to the cent", true, 12345.67, ok, QByteArray("12345.67"),
                 paid("-12345.67"));
        tableRow("exact amounts: a refusal answers nothing paid, to the cent", true, 5.0,
                 CrmReplies::refused("订单不存在"), QByteArray("5.00"),
                 cardResult("000000", "0 订单不存在", "0.00"));
    }

    void refund() {
        QFETCH(bool, exact);
        QFETCH(double, amount);
        QFETCH(QByteArray, reply);
        QFETCH(QByteArray, scoreCash);
        QFETCH(QByteArray, result);
        m_till->exactAmounts(exact);
        m_till->script("pmb020", {reply});
        QCOMPARE(m_till->card(head("REFUND", amount), Requests::products(), "{broken"), result);
        QCOMPARE(m_till->bodies("pmb020"), QByteArrayList{debit(scoreCash, "-1", "OB7")});
        QCOMPARE(m_till->txcodes(), QStringList{"pmb020"});
    }

    // The whole sale once with the real dialogs.
    void saleAtTheTill() {
        m_till.reset();
        m_till = std::make_unique<TillFixture>(5, TillFixture::Dialogs::Real);
        scriptSale({memberM9(), CrmReplies::accepted(), CrmReplies::accepted()});
        CashierRobot robot;
        QStringList shown; // points cash, help line, entry
        robot.when("MemberLogin", CashierRobot::typeAndEnter("246810"));
        robot.when("JFPayWidget", [&shown](QWidget* dialog) {
            shown << dialog->findChild<QLabel*>("lblTotal")->text()
                  << dialog->findChild<QLabel*>("lblhelp1")->text()
                  << dialog->findChild<QLineEdit*>("txtCode")->text();
            CashierRobot::typeAndEnter("12.5")(dialog);
        });
        QCOMPARE(m_till->card(head("SALE", 20)), paid("12.5"));
        VERIFY_ROBOT(robot);
        QCOMPARE(shown, (QStringList{"32.5", "【Esc】：返回   【Enter】：确定   【Backspace】：删除", ""}));
        QCOMPARE(m_till->bodies("pmb020"), QByteArrayList{debit("12.50")});
    }
};

QTEST_MAIN(TestPointsTender)
#include "tst_PointsTender.moc"
