#include "Tour.h"

#include "CashierRobot.h"
#include "Console.h"
#include "TillSettings.h"
#include "TillWindow.h"

#include <QAbstractItemModel>
#include <QFileInfo>
#include <QJsonArray>
#include <QSettings>
#include <QTableView>
#include <QTcpServer>

#include <cmath>

namespace {

using A = CashierRobot;

// Products by their place in the till's catalogue.
enum { Water, Bread, Milk, Coffee, OliveOil, Flask };

// The card number in a row of the member selection list.
QString listedCardNo(QWidget* selection, int row) {
    const auto* view = selection->findChild<QTableView*>(QStringLiteral("tableView"));
    return view && view->model() ? view->model()->index(row, 2).data().toString() : QString();
}

// An address where nothing listens: the CRM is down.
QString deadAddress() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    const quint16 port = probe.serverPort();
    probe.close();
    return QStringLiteral("http://127.0.0.1:%1").arg(port);
}

// Points earned by a settlement: one per whole yuan.
QString pointsFor(double amount) {
    return QString::number(static_cast<qint64>(std::floor(amount + 1e-9)));
}

QJsonArray details(const CallResult& call) {
    return call.json.value(QStringLiteral("PayDetails")).toArray();
}

} // namespace

Tour::Tour(TillWindow& till, const QString& pictureDir, const QString& crmUrl, const QString& membersDb)
    : m_till(till), m_pictureDir(pictureDir), m_crmUrl(crmUrl), m_membersDb(membersDb) {}

void Tour::step(const QString& title) {
    printLine(QString());
    printLine(QStringLiteral("== %1. %2").arg(++m_step).arg(title));
}

void Tour::check(bool good, const QString& what) {
    ++m_checks;
    printLine(QStringLiteral("   %1 %2").arg(good ? QStringLiteral("ok  ") : QStringLiteral("FAIL"), what));
    if (!good)
        m_failures.append(QStringLiteral("step %1: %2").arg(m_step).arg(what));
}

void Tour::checkEqual(const QString& actual, const QString& expected, const QString& what) {
    check(actual == expected,
          actual == expected ? QStringLiteral("%1 = %2").arg(what, expected)
                             : QStringLiteral("%1 = \"%2\", expected \"%3\"").arg(what, actual, expected));
}

void Tour::checkResult(const CallResult& call, const QString& what) {
    check(call.ok(), call.ok() ? QStringLiteral("%1: %2").arg(what, call.message())
                               : QStringLiteral("%1 failed: %2").arg(what, call.message()));
}

void Tour::afterCall() {
    for (const QString& problem : m_cashier.takeFailures())
        check(false, QStringLiteral("cashier: %1").arg(problem));
}

// The cashier reads a message out, then closes it with key 1.
CashierRobot::Action Tour::reads(const QString& expected) {
    return [this, expected](QWidget* box) {
        checkEqual(A::labelText(box), expected, QStringLiteral("message"));
        A::press(Qt::Key_1)(box);
    };
}

int Tour::run() {
    m_cashier.photographInto(m_pictureDir, &m_till);
    // The coupon dialog stays open across a few CRM exchanges, each with its own time-out.
    m_cashier.setWatchdogMs(30000);
    QObject::connect(&m_cashier, &CashierRobot::photographed, [](const QString& file) {
        printLine(QStringLiteral("   picture %1").arg(QFileInfo(file).fileName()));
    });
    printLine(QStringLiteral("A day at the till against %1").arg(m_crmUrl));
    printLine(QStringLiteral("pictures go to %1").arg(m_pictureDir));
    if (!QFileInfo::exists(m_membersDb))
        printLine(QStringLiteral("note: no local member table at %1; the outage step will find nobody")
                      .arg(m_membersDb));

    signIn();
    saleWithChoice();
    saleWithPassword();
    pointsPayment();
    couponSale();
    bigSale();
    pointsRefund();
    couponRefund();
    crmOutage();

    printLine(QString());
    printLine(QStringLiteral("== the day: %1 steps, %2 checks, %3 pictures, %4 failed")
                  .arg(m_step)
                  .arg(m_checks)
                  .arg(m_cashier.pictures().size())
                  .arg(m_failures.size()));
    for (const QString& failure : m_failures)
        printLine(QStringLiteral("   FAILED %1").arg(failure));
    return m_failures.isEmpty() ? 0 : 1;
}

// Morning: the till signs in from the member management screen.
void Tour::signIn() {
    step(QStringLiteral("会员管理：签到"));
    m_cashier.snapNextWaitScreen(QStringLiteral("wait-screen"));
    m_cashier.when(QStringLiteral("MemberManage"), A::press(Qt::Key_0), QStringLiteral("member-management"));
    m_cashier.when(QStringLiteral("MessageWidget"), reads(QStringLiteral("签到成功")),
                   QStringLiteral("sign-in-done"));
    CallResult call = m_till.memberManagement();
    afterCall();
    checkResult(call, QStringLiteral("sign-in"));
    checkEqual(call.json.keys().join(','), QStringLiteral("rtncode,rtnmsg"), QStringLiteral("result keys"));
    {
        QSettings settings(QStringLiteral("ZoVORDA.ini"), QSettings::IniFormat);
        check(!settings.value(QStringLiteral("Config/token")).toString().isEmpty(),
              QStringLiteral("ZoVORDA.ini holds the token of the day"));
        checkEqual(settings.value(QStringLiteral("Config/shop_id")).toString(), QStringLiteral("S0101"),
                   QStringLiteral("ZoVORDA.ini Config/shop_id"));
    }
}

// Sale 1: the customer gives a phone number two members share.
void Tour::saleWithChoice() {
    step(QStringLiteral("销售一：手机号 13700000003 查会员，两位会员中选第二位，现金结算"));
    m_till.newSale();
    QString chosenCard;
    m_cashier.when(QStringLiteral("MemberLogin"), A::typeAndEnter(QStringLiteral("13700000003")),
                   QStringLiteral("member-code-entry"));
    m_cashier.when(
        QStringLiteral("VipSelection"),
        [this, &chosenCard](QWidget* list) {
            chosenCard = listedCardNo(list, 1);
            A::press(Qt::Key_Down)(list);
            m_cashier.photograph(list, QStringLiteral("member-selection-second-row"));
            A::press(Qt::Key_Return)(list);
        },
        QStringLiteral("member-selection"));
    CallResult call = m_till.lookupMember(QString(), QStringLiteral("1"));
    afterCall();
    checkResult(call, QStringLiteral("member look-up"));
    check(!chosenCard.isEmpty(), QStringLiteral("the list showed a second member (%1)").arg(chosenCard));
    checkEqual(call.value(QStringLiteral("code")), chosenCard, QStringLiteral("member chosen"));
    checkEqual(call.value(QStringLiteral("phone")), QStringLiteral("13700000003"), QStringLiteral("phone"));
    m_till.addProduct(Bread);
    m_till.addProduct(Milk);
    const double sale1 = m_till.currentSale().total();
    call = m_till.settle();
    afterCall();
    checkResult(call, QStringLiteral("order settlement"));
    checkEqual(call.value(QStringLiteral("printcent")), QStringLiteral("1"), QStringLiteral("printcent"));
    checkEqual(call.value(QStringLiteral("cent")), pointsFor(sale1), QStringLiteral("points earned"));
    checkEqual(call.value(QStringLiteral("sendticket")), QString(), QStringLiteral("coupons printed"));
}

// Sale 2: a member whose business needs the password; the first try is wrong.
void Tour::saleWithPassword() {
    step(QStringLiteral("销售二：会员 8800002 需验证密码，先输错一次"));
    m_till.newSale();
    m_cashier.when(QStringLiteral("MemberLogin"), A::typeAndEnter(QStringLiteral("000000")),
                   QStringLiteral("password-entry"));
    // The CRM's own words sit between the plug-in's fixed head and tail.
    m_cashier.when(
        QStringLiteral("MessageWidget"),
        [this](QWidget* box) {
            const QString text = A::labelText(box);
            check(text.startsWith(QStringLiteral("会员验证失败，")) &&
                      text.endsWith(QStringLiteral("，请再次尝试或联系管理员处理")),
                  QStringLiteral("message = %1").arg(text));
            A::press(Qt::Key_1)(box);
        },
        QStringLiteral("wrong-password"));
    m_cashier.when(QStringLiteral("MemberLogin"), A::typeAndEnter(QStringLiteral("123456")),
                   QStringLiteral("password-entry-again"));
    CallResult call = m_till.lookupMember(QStringLiteral("8800002"), QStringLiteral("3"));
    afterCall();
    checkResult(call, QStringLiteral("member look-up with password"));
    checkEqual(call.value(QStringLiteral("name")), QStringLiteral("李四"), QStringLiteral("member"));
    checkEqual(call.value(QStringLiteral("score")), QStringLiteral("5000"), QStringLiteral("points"));
    checkEqual(call.value(QStringLiteral("balance")), QStringLiteral("50"), QStringLiteral("cash value"));
    checkEqual(QString::number(call.json.value(QStringLiteral("JfRecord")).toArray().size()),
               QStringLiteral("1"), QStringLiteral("point accounts"));
}

void Tour::pointsPayment() {
    step(QStringLiteral("销售二：积分支付，待付 10.00 中用积分付 5.00"));
    m_till.addProduct(Water, 2);
    m_till.addProduct(Milk);
    m_till.addProduct(Bread);
    m_cashier.when(QStringLiteral("MemberLogin"), A::typeAndEnter(QStringLiteral("123456")),
                   QStringLiteral("points-password"));
    m_cashier.when(
        QStringLiteral("JFPayWidget"),
        A::sequence({A::type(QStringLiteral("5.00")), m_cashier.snap(QStringLiteral("points-payment-keyed")),
                     A::press(Qt::Key_Return)}),
        QStringLiteral("points-payment"));
    CallResult call = m_till.payWithPoints(10);
    afterCall();
    checkResult(call, QStringLiteral("points tender"));
    checkEqual(call.value(QStringLiteral("AmountTotal")), QStringLiteral("5"), QStringLiteral("AmountTotal"));
    checkEqual(call.value(QStringLiteral("ActualTotal")), QStringLiteral("5"), QStringLiteral("ActualTotal"));
    m_pointsBill = m_till.currentSale().billNo;
    const double sale2 = m_till.currentSale().total();
    call = m_till.settle();
    afterCall();
    checkResult(call, QStringLiteral("order settlement"));
    checkEqual(call.value(QStringLiteral("cent")), pointsFor(sale2), QStringLiteral("points earned"));
}

// Sale 3: paid partly with two coupons.
void Tour::couponSale() {
    step(QStringLiteral("销售三：会员 8800001，券支付 Q0001 与 Q0002"));
    m_till.newSale();
    CallResult call = m_till.lookupMember(QStringLiteral("8800001"), QStringLiteral("1"));
    afterCall();
    checkResult(call, QStringLiteral("member look-up"));
    checkEqual(call.value(QStringLiteral("name")), QStringLiteral("张三"), QStringLiteral("member"));
    m_till.addProduct(Coffee);
    m_till.addProduct(OliveOil);
    m_cashier.when(
        QStringLiteral("CouponWidget"),
        A::sequence({A::typeAndEnter(QStringLiteral("Q0001")), A::typeAndEnter(QStringLiteral("Q0002")),
                     m_cashier.snap(QStringLiteral("coupon-dialog-two-coupons")), A::press(Qt::Key_F2)}),
        QStringLiteral("coupon-dialog"));
    call = m_till.payWithCoupons();
    afterCall();
    checkResult(call, QStringLiteral("coupon tender"));
    m_written = details(call);
    checkEqual(QString::number(m_written.size()), QStringLiteral("2"), QStringLiteral("coupons written off"));
    m_couponSum = 0;
    QStringList couponNos;
    for (const QJsonValue& value : m_written) {
        const QJsonObject detail = value.toObject();
        couponNos.append(detail.value(QStringLiteral("CardNo")).toString());
        m_couponSum += detail.value(QStringLiteral("AmountTotal")).toString().toDouble();
        check(!detail.value(QStringLiteral("MchOrderNo")).toString().isEmpty(),
              QStringLiteral("coupon %1 has the write-off serial %2")
                  .arg(couponNos.last(), detail.value(QStringLiteral("MchOrderNo")).toString()));
    }
    checkEqual(couponNos.join(','), QStringLiteral("Q0001,Q0002"), QStringLiteral("coupons"));
    checkEqual(call.value(QStringLiteral("AmountTotal")), QString::number(m_couponSum, 'g', 6),
               QStringLiteral("AmountTotal, the sum of the coupons"));
    check(m_couponSum > 0, QStringLiteral("the coupons covered ¥%1").arg(money(m_couponSum)));
    m_couponBill = m_till.currentSale().billNo;
    call = m_till.settle();
    afterCall();
    checkResult(call, QStringLiteral("order settlement"));
}

// Sale 4: big enough for the CRM to give a coupon, printed on the receipt.
void Tour::bigSale() {
    step(QStringLiteral("销售四：满 200 元结算，打印赠券"));
    m_till.newSale();
    CallResult call = m_till.lookupMember(QStringLiteral("8800001"), QStringLiteral("1"));
    afterCall();
    checkResult(call, QStringLiteral("member look-up"));
    m_till.addProduct(Flask);
    m_till.addProduct(Coffee);
    const double sale4 = m_till.currentSale().total();
    call = m_till.settle();
    afterCall();
    checkResult(call, QStringLiteral("order settlement of ¥%1").arg(money(sale4)));
    checkEqual(call.value(QStringLiteral("cent")), pointsFor(sale4), QStringLiteral("points earned"));
    const QStringList ticket = TillWindow::ticketLines(call);
    printLine(QStringLiteral("   receipt, coupon section:"));
    for (const QString& line : ticket)
        printLine(QStringLiteral("     | %1").arg(line));
    check(ticket.contains(QStringLiteral("满200送20")),
          QStringLiteral("the receipt names the coupon 满200送20"));
    check(ticket.contains(QStringLiteral("面额：20")), QStringLiteral("the receipt gives its value"));
    check(!ticket.filter(QStringLiteral("券号：Q9")).isEmpty(),
          QStringLiteral("the receipt gives its number"));
    // The till itself after the sale: member, basket, payments and the printed coupon.
    m_cashier.photograph(&m_till, QStringLiteral("till-after-big-sale"));
}

// Afternoon: two customers bring their purchases back.
void Tour::pointsRefund() {
    step(QStringLiteral("积分退货：销售二整单退回"));
    QList<CallResult> refunds = m_till.refund(m_pointsBill, {Tender::Points});
    afterCall();
    check(refunds.size() == 1, QStringLiteral("one points refund"));
    if (!refunds.isEmpty()) {
        checkResult(refunds.first(), QStringLiteral("points refund"));
        checkEqual(refunds.first().value(QStringLiteral("AmountTotal")), QStringLiteral("-5"),
                   QStringLiteral("AmountTotal"));
    }
}

void Tour::couponRefund() {
    step(QStringLiteral("券退货：销售三整单退回"));
    QList<CallResult> refunds = m_till.refund(m_couponBill, {Tender::Coupons});
    afterCall();
    check(refunds.size() == 1, QStringLiteral("one coupon refund"));
    if (!refunds.isEmpty()) {
        const CallResult& back = refunds.first();
        checkResult(back, QStringLiteral("coupon refund"));
        checkEqual(back.value(QStringLiteral("AmountTotal")), QString::number(-m_couponSum, 'g', 6),
                   QStringLiteral("AmountTotal"));
        const QJsonArray returned = details(back);
        checkEqual(QString::number(returned.size()), QString::number(m_written.size()),
                   QStringLiteral("coupons given back"));
        for (int i = 0; i < returned.size() && i < m_written.size(); ++i) {
            const QJsonObject was = m_written.at(i).toObject();
            const QJsonObject is = returned.at(i).toObject();
            checkEqual(is.value(QStringLiteral("CardNo")).toString() + ' ' +
                           is.value(QStringLiteral("MchOrderNo")).toString(),
                       was.value(QStringLiteral("CardNo")).toString() + ' ' +
                           was.value(QStringLiteral("MchOrderNo")).toString(),
                       QStringLiteral("coupon and serial given back"));
            checkEqual(is.value(QStringLiteral("AmountTotal")).toString(),
                       QStringLiteral("-") + was.value(QStringLiteral("AmountTotal")).toString(),
                       QStringLiteral("amount given back"));
        }
    }
}

// Evening: the CRM cannot be reached; the member comes from the till's own table.
void Tour::crmOutage() {
    step(QStringLiteral("CRM 中断：会员 8800001 从本地会员库查出"));
    TillSettings::setCrmAddress(deadAddress());
    m_till.newSale();
    CallResult call = m_till.lookupMember(QStringLiteral("8800001"), QStringLiteral("1"));
    afterCall();
    checkResult(call, QStringLiteral("member look-up without the CRM"));
    checkEqual(call.value(QStringLiteral("name")), QStringLiteral("张三"), QStringLiteral("member"));
    checkEqual(call.value(QStringLiteral("vipcardid")), QStringLiteral("M1001"), QStringLiteral("member id"));
    checkEqual(call.value(QStringLiteral("score")), QString(),
               QStringLiteral("points (unknown offline, so empty)"));
    TillSettings::setCrmAddress(m_crmUrl);
}
