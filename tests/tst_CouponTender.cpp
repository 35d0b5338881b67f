// Paying with coupons: each coupon the cashier adds is looked up and the whole set checked
// again after every change; the usable ones are written off when he confirms. A refund
// returns the coupons of the original sale.
#include "CashierRobot.h"
#include "support/Columns.h"
#include "support/CrmReplies.h"
#include "support/TillFixture.h"

#include <QtTest>

using namespace Requests;

namespace {

QByteArray found(const QString& name) {
    return CrmReplies::accepted({{"couponInfo", QJsonObject{{"ticket_name", name}}}});
}

// What the CRM decided about one coupon of the set.
struct Decision {
    QString couponNo;
    QJsonValue useflag;
    QJsonValue payValue;
};

QByteArray couponList(const QList<Decision>& coupons) {
    QJsonArray list;
    for (const Decision& c : coupons)
        list.append(
            QJsonObject{{"coupon_no", c.couponNo}, {"useflag", c.useflag}, {"pay_value", c.payValue}});
    return CrmReplies::accepted({{"coupon_list", list}});
}

QByteArray writtenOff(const QList<QPair<QString, QString>>& serials) {
    QJsonArray list;
    for (const auto& s : serials)
        list.append(QJsonObject{{"coupon_no", s.first}, {"payflow", s.second}});
    return CrmReplies::accepted({{"coupon_list", list}});
}

// One coupon the host is told was paid.
QString paidCoupon(const QString& couponNo, const QString& payflow, const QString& amount) {
    return QStringLiteral(R"({"ActualTotal":"%3","AmountTotal":"%3","CardNo":"%1","ChildPayCode":"41",)"
                          R"("ChildPayName":"券","MchOrderNo":"%2"})")
        .arg(couponNo, payflow, amount);
}

QByteArray answer(const QString& message, const QString& total, const QStringList& coupons = {}) {
    // A coupon tender always lists its coupons, an empty list too.
    const QString details = coupons.isEmpty() ? QString("") : coupons.join(',');
    return cardResult(message == "交易成功" ? "111111" : "000000", message, total, details);
}

const QByteArray kDetails =
    R"([{"act_price":"60.00","bar_code":"691001","goods_id":"1001","goods_name":"商品1001","goods_num":"2",)"
    R"("member_price":"60.00","unit_price":"60.00"},{"act_price":"12.50","bar_code":"691002","goods_id":"1002",)"
    R"("goods_name":"商品1002","goods_num":"1.5","member_price":"12.50","unit_price":"12.50"}])";

// The cashier at the coupon dialog: each step adds (or clears) a coupon.
struct Step {
    bool add;
    QString couponNo;
};
Step add(const QString& no) {
    return {true, no};
}
Step clear(const QString& no) {
    return {false, no};
}

// The coupons as the dialog lists them after a step: number, name, amount, use.
QStringList listed(const QList<CouponRec>& coupons) {
    static const QMap<CouponUse, QString> uses{{CouponUse::NotUsable, "不可用"},
                                               {CouponUse::Usable, "可用"},
                                               {CouponUse::SetRefused, "异常"},
                                               {CouponUse::Other, "其他"}};
    QStringList rows;
    for (const CouponRec& c : coupons)
        rows << QStringList{c.couponNo, c.ticketName, Money::twoDecimals(c.amount), uses.value(c.use)}.join(
            ' ');
    return rows;
}

struct Entry {
    QList<Step> steps;
    bool confirmed;
    QByteArrayList queries, checks; // the CRM's answers, in order
    QStringList shown, listed;      // messages to the cashier; the list after the last step
    QByteArray result;
};

struct PayLine {
    QString code;
    QJsonValue amount;
    QString couponNo, payflow;
};
using PayLines = QList<PayLine>;

QJsonArray payLines(const PayLines& lines) {
    QJsonArray list;
    for (const PayLine& l : lines)
        list.append(QJsonObject{{"code", l.code},
                                {"name", l.code == "41" ? "券" : "现金"},
                                {"pay_amt", l.amount},
                                {"payno", l.couponNo},
                                {"extranno", l.payflow}});
    return list;
}

} // namespace
Q_DECLARE_METATYPE(Entry)
Q_DECLARE_METATYPE(PayLines)

class TestCouponTender : public ScriptedTillSuite {
    Q_OBJECT
    QByteArray card(const QString& txnType, const QJsonObject& plu = products(), const QByteArray& udp = {},
                    double orderAmount = 100) {
        QJsonObject head = with(with(tenderHead("Q", txnType), "pay_code", "41"), "pay_name", "券");
        head = with(with(head, "oribill_no", "OB7"), "orisale_no", "OS7");
        return m_till->card(with(head, "order_amount", orderAmount), plu, udp);
    }
    // The cashier's steps at the dialog; the list after the last one is noted.
    void atTheDialog(const QList<Step>& steps, bool confirmed, QStringList* last = nullptr) {
        cashier().couponRuns.append([steps, confirmed, last](CouponDesk& desk) {
            for (const Step& s : steps) {
                const QList<CouponRec> now =
                    s.add ? desk.addCoupon(s.couponNo) : desk.removeCoupon(s.couponNo);
                if (last)
                    *last = listed(now);
            }
            return confirmed;
        });
    }
    QByteArray lastBody(const QByteArray& txcode) const {
        const QByteArrayList bodies = m_till->bodies(txcode);
        return bodies.isEmpty() ? QByteArray() : bodies.last();
    }

private slots:
    void init() { startTill(); }
    void cleanup() { endTill(); }

    void entering_data() {
        QTest::addColumn<Entry>("e");
        const auto row = [](const char* name, const QList<Step>& steps, bool confirmed,
                            const QByteArrayList& queries, const QByteArrayList& checks,
                            const QStringList& shown, const QStringList& listed, const QByteArray& result) {
            QTest::newRow(name) << Entry{steps, confirmed, queries, checks, shown, listed, result};
        };
        const QByteArray refused = CrmReplies::refused("限用两张"), a = found("A"), b = found("B");
        const QByteArray q1 = couponList({{"Q1", "1", 20}}),
                         q1q2 = couponList({{"Q1", "1", 20}, {"Q2", "1", 5}});
        const QString paid20 = paidCoupon("Q1", "", "20.00"), refusedSet = "券校验失败 0 限用两张";
        row("the same number twice is not looked up again", {add("Q1"), add("Q1")}, false, {a}, {q1},
            {"此券已经添加"}, {"Q1 A 20.00 可用"}, answer("CLOSE", "20", {paid20}));
        row("a refused lookup adds nothing", {add("Q1"), add("Q2")}, false,
            {a, CrmReplies::refused("券已过期")}, {q1}, {"券查询失败 0 券已过期"}, {"Q1 A 20.00 可用"},
            answer("CLOSE", "20", {paid20}));
        row("a lookup without a name adds nothing", {add("Q1")}, false,
            {CrmReplies::accepted({{"couponInfo", QJsonObject{}}})}, {},
            {"券查询失败 券查询时Vorda未返回ticket_name"}, {}, answer("CLOSE", "0"));
        row("a refused check of three marks all three", {add("Q1"), add("Q2"), add("Q3")}, false,
            {a, b, found("C")}, {q1, q1q2, refused}, {refusedSet},
            {"Q1 A 0.00 异常", "Q2 B 0.00 异常", "Q3 C 0.00 异常"}, answer("CLOSE", "0"));
        row("a later good check clears a refused set", {add("Q1"), add("Q2")}, false, {a, b}, {refused, q1q2},
            {refusedSet}, {"Q1 A 20.00 可用", "Q2 B 5.00 可用"},
            answer("CLOSE", "25", {paid20, paidCoupon("Q2", "", "5.00")}));
        row("the rest's check refused after a clear leaves it not usable",
            {add("Q1"), add("Q2"), clear("Q2")}, false, {a, b}, {q1, q1q2, refused}, {refusedSet},
            {"Q1 A 0.00 不可用"}, answer("CLOSE", "0"));
        row("the rest is checked again after a clear", {add("Q1"), add("Q2"), clear("Q1")}, false, {a, b},
            {q1, q1q2, couponList({{"Q2", "1", 8}})}, {}, {"Q2 B 8.00 可用"},
            answer("CLOSE", "8", {paidCoupon("Q2", "", "8.00")}));
        row("a check naming some: the unknown ignored, the unnamed kept", {add("Q1"), add("Q2")}, false,
            {a, b}, {q1, couponList({{"Q9", "1", 9}, {"Q2", 1, "2.255"}})}, {},
            {"Q1 A 20.00 可用", "Q2 B 2.25 可用"},
            answer("CLOSE", "22.255", {paid20, paidCoupon("Q2", "", "2.25")}));
        row("the only coupon cleared: no check, nothing entered", {add("Q1"), clear("Q1")}, true, {a}, {q1},
            {}, {}, answer("未录入券", "0"));
        row("confirmed without any coupon", {}, true, {}, {}, {}, {}, answer("未录入券", "0"));
        row("none usable: nothing written off", {add("Q1"), add("Q2"), add("Q3")}, true, {a, b, found("C")},
            {couponList({{"Q1", "0", 9}}), couponList({{"Q2", "2", 9}}), couponList({{"Q3", "7", 9}})}, {},
            {"Q1 A 9.00 不可用", "Q2 B 9.00 异常", "Q3 C 9.00 其他"}, answer("没有可用的券", "0"));
    }

    void entering() {
        QFETCH(Entry, e);
        m_till->script("pmb010", e.queries);
        m_till->script("pmb011", e.checks);
        QStringList last;
        atTheDialog(e.steps, e.confirmed, &last);
        QCOMPARE(card("SALE"), e.result);
        QCOMPARE(cashier().messages, e.shown);
        QCOMPARE(last, e.listed);
        QCOMPARE(m_till->bodies("pmb010").size(), e.queries.size());
        QCOMPARE(m_till->bodies("pmb011").size(), e.checks.size());
        QCOMPARE(m_till->bodies("pmb023").size(), 0);
    }

    // The lookups and checks as the CRM receives them, and the write-off of the usable ones;
    // with exact amounts only the total the host reads back changes.
    void writeOffRequest_data() {
        columns<bool, QString>({"exact", "total"});
        tableRow("six significant digits", false, QString("25.5"));
        tableRow("exact amounts: to the cent", true, QString("25.50"));
    }

    void writeOffRequest() {
        QFETCH(bool, exact);
        QFETCH(QString, total);
        m_till->exactAmounts(exact);
        m_till->script("pmb010", {found("满100减20"), found("生日券"), found("代金券")});
        m_till->script("pmb011", {couponList({{"Q1", "1", 20}}), couponList({{"Q1", "1", 20}, {"Q2", 0, 0}}),
                                  couponList({{"Q1", "1", 20}, {"Q2", 0, 0}, {"Q3", 1, "5.5"}})});
        m_till->script("pmb023", {writtenOff({{"Q3", "PF3"}, {"Q1", "PF1"}})});
        atTheDialog({add("Q1"), add("Q2"), add("Q3")}, true);
        QCOMPARE(card("SALE"), answer("交易成功", total,
                                      {paidCoupon("Q1", "PF1", "20.00"), paidCoupon("Q3", "PF3", "5.50")}));
        QCOMPARE(m_till->txcodes().join(' '), "pmb010 pmb011 pmb010 pmb011 pmb010 pmb011 pmb023");
        QCOMPARE(m_till->bodies("pmb010").value(1),
                 QByteArray(R"({"coupon_no":"Q2","member_id":"M0001","shop_id":"S01"})"));
        QCOMPARE(
            lastBody("pmb011"),
            R"({"coupon_list":[{"coupon_no":"Q1"},{"coupon_no":"Q2"},{"coupon_no":"Q3"}],"detail_list":)" +
                kDetails +
                R"(,"goods_num_total":"4","member_id":"M0001","s_value":"100.00","shop_id":"S01","type":"1"})");
        const QByteArray writeOff =
            R"({"coupon_list":[{"coupon_no":"Q1"},{"coupon_no":"Q3"}],"detail_list":)" + kDetails +
            R"(,"member_id":"M0001","order_id":"B0001","shop_id":"S01"})";
        QCOMPARE(m_till->bodies("pmb023"), QByteArrayList{writeOff});
        QCOMPARE(m_till->dir.lastLogText("券核销报文").toUtf8(), writeOff);
        QCOMPARE(m_till->dir.lastLogText("券检验报文").toUtf8(), lastBody("pmb011"));
        QCOMPARE(m_till->dir.lastLogText("券查询报文").toUtf8(), lastBody("pmb010"));
    }

    void writeOffAnswer_data() {
        columns<QByteArray, QByteArray>({"reply", "result"});
        const QString q1 = paidCoupon("Q1", "", "20.00"), q3 = paidCoupon("Q3", "", "5.50");
        const auto row = [&](const char* name, const QByteArray& reply, const QString& message,
                             const QString& first = QString()) {
            QTest::newRow(name) << reply << answer(message, "25.5", {first.isNull() ? q1 : first, q3});
        };
        row("a serial for the first", writtenOff({{"Q1", "PF1"}}), "交易成功",
            paidCoupon("Q1", "PF1", "20.00"));
        row("the result code a number",
            R"({"data":{"result_code":1,"coupon_list":[{"coupon_no":"Q1","payflow":"PF1"}]}})", "交易成功",
            paidCoupon("Q1", "PF1", "20.00"));
        row("no serials", writtenOff({}), "交易成功");
        row("a number that is none of them", writtenOff({{"Q9", "PF9"}}), "交易成功");
        row("an answer that is no JSON", "<html>", "解析Vorda返回数据错误，请再次尝试或联系管理员处理");
        row("a JSON array", "[]", "解析Vorda返回数据失败，请再次尝试或联系管理员处理");
        row("no data", R"({"result_code":"1"})", "未获取到Vorda返回数据节点");
        row("no result code", R"({"data":{"coupon_list":[]}})", "券核销异常");
        row("a refusal with its text", R"({"data":{"result_code":"3","result_msg":"券已核销"}})",
            "3 券已核销");
        row("a refusal without text", R"({"data":{"result_code":"0"}})", "缺少错误信息");
        row("no coupon list", CrmReplies::accepted(), "无券相关明细");
        row("the second without serial keeps the first's",
            R"({"data":{"result_code":"1","coupon_list":[{"coupon_no":"Q1","payflow":"PF1"},{"coupon_no":"Q3"}]}})",
            "券参数payflow不完整", paidCoupon("Q1", "PF1", "20.00"));
        row("a serial without its number",
            R"({"data":{"result_code":"1","coupon_list":[{"payflow":"PF1"}]}})", "券参数coupon_no不完整");
    }

    void writeOffAnswer() {
        QFETCH(QByteArray, reply);
        QFETCH(QByteArray, result);
        m_till->script("pmb010", {found("A"), found("C")});
        m_till->script("pmb011",
                       {couponList({{"Q1", "1", 20}}), couponList({{"Q1", "1", 20}, {"Q3", "1", 5.5}})});
        m_till->script("pmb023", {reply});
        atTheDialog({add("Q1"), add("Q3")}, true);
        QCOMPARE(card("SALE"), result);
    }

    void lookupAndCheckAnswers_data() {
        columns<QByteArray, QByteArray, QString>({"query", "check", "shown"});
        const auto row = [](const QString& name, const QByteArray& query, const QByteArray& check,
                            const QString& shown) {
            QTest::newRow(qPrintable(name)) << query << check << shown;
        };
        const QList<QPair<QByteArray, QString>> common{
            {"x", "解析Vorda返回数据错误，请再次尝试或联系管理员处理"},
            {"[]", "解析Vorda返回数据失败，请再次尝试或联系管理员处理"},
            {"{}", "未获取到Vorda返回数据节点"},
            {R"({"data":{"result_code":"0","result_msg":"无此券"}})", "0 无此券"},
            {R"({"data":{"result_code":"0"}})", "缺少错误信息"}};
        for (const auto& c : common) {
            row("a lookup answered " + c.first, c.first, QByteArray(), "券查询失败 " + c.second);
            row("a check answered " + c.first, found("A"), c.first, "券校验失败 " + c.second);
        }
        row("a lookup without result code", R"({"data":{}})", QByteArray(), "券查询失败 券查询异常");
        row("a check without result code", found("A"), R"({"data":{}})", "券校验失败 券校验异常");
        row("a check without coupon list", found("A"), CrmReplies::accepted(), "券校验失败 无券相关明细");
        const auto list = [](const char* element) {
            return QByteArray(R"({"data":{"result_code":"1","coupon_list":[)") + element + "]}}";
        };
        row("a check without coupon number", found("A"), list(R"({"useflag":"1","pay_value":1})"),
            "券校验失败 券参数coupon_no不完整");
        row("a check without use", found("A"), list(R"({"coupon_no":"Q1","pay_value":1})"),
            "券校验失败 券参数useflag不完整");
        row("a check without amount", found("A"), list(R"({"coupon_no":"Q1","useflag":"1"})"),
            "券校验失败 pay_value");
    }

    // A refused lookup adds nothing; a refused check marks the set.
    void lookupAndCheckAnswers() {
        QFETCH(QByteArray, query);
        QFETCH(QByteArray, check);
        QFETCH(QString, shown);
        m_till->script("pmb010", {query});
        if (!check.isNull())
            m_till->script("pmb011", {check});
        QStringList last;
        atTheDialog({add("Q1")}, false, &last);
        card("SALE");
        QCOMPARE(cashier().messages, QStringList{shown});
        QCOMPARE(last, check.isNull() ? QStringList() : QStringList{"Q1 A 0.00 异常"});
        const QString step = check.isNull() ? "券查询" : "券校验";
        QCOMPARE(m_till->dir.lastLogText(step), shown.section(' ', 1));
    }

    void piecesCounted_data() {
        columns<QJsonArray, QByteArray>({"quantities", "total"});
        tableRow("whole numbers", QJsonArray{2, 3}, QByteArray("5"));
        tableRow("numbers rounded", QJsonArray{2.6, 1.4}, QByteArray("4"));
        tableRow("a text with a fraction counts nothing", QJsonArray{2, "1.5"}, QByteArray("2"));
        tableRow("a whole text counts", QJsonArray{"4", 1}, QByteArray("5"));
        tableRow("no lines", QJsonArray{}, QByteArray("0"));
    }

    void piecesCounted() {
        QFETCH(QJsonArray, quantities);
        QFETCH(QByteArray, total);
        QJsonArray lines;
        for (const QJsonValue q : quantities)
            lines.append(QJsonObject{{"sc", q}});
        m_till->script("pmb010", {found("A")});
        m_till->script("pmb011", {couponList({})});
        atTheDialog({add("Q1")}, false);
        card("SALE", {{"plu", lines}});
        QCOMPARE(
            QJsonDocument::fromJson(lastBody("pmb011")).object().value("goods_num_total").toString().toUtf8(),
            total);
    }

    void refund_data() {
        columns<bool, double, PayLines, PayLines, QByteArray>(
            {"exact", "orderAmount", "pays", "paysNow", "result"});
        const PayLine cash{"01", "60.00", "", ""}, a{"41", "20", "QA", "PFA"}, b{"41", 20, "QB", "PFB"};
        const QString qa = paidCoupon("QA", "PFA", "-20.00"), qb = paidCoupon("QB", "PFB", "-20.00");
        tableRow("the whole sale paid in cash and a coupon", false, -100.0,
                 PayLines{cash, {"41", "40.00", "Q1", "PF1"}}, PayLines{},
                 answer("交易成功", "-40", {paidCoupon("Q1", "PF1", "-40.00")}));
        tableRow("part of the sale", false, 99.99, PayLines{cash, {"41", "40.00", "Q1", "PF1"}}, PayLines{},
                 answer("部分退货时不允许进行退券操作", "0"));
        tableRow("totals equal at two decimals", false, 100.0,
                 PayLines{cash, {"41", 40, "Q1", "PF1"}, {"02", "0.004", "", ""}}, PayLines{},
                 answer("交易成功", "-40", {paidCoupon("Q1", "PF1", "-40.00")}));
        tableRow(
            "coupons' third decimals given back as paid", false, 100.0,
            PayLines{{"01", "79.992", "", ""}, {"41", "20.004", "Q1", "PF1"}, {"41", 0.004, "Q2", "PF2"}},
            PayLines{},
            answer("交易成功", "-20.008",
                   {paidCoupon("Q1", "PF1", "-20.00"), paidCoupon("Q2", "PF2", "-0.00")}));
        tableRow("a coupon this refund returned already", false, 100.0, PayLines{cash, a, b},
                 PayLines{{"41", "20", "QA", ""}}, answer("交易成功", "-20", {qb}));
        tableRow("the same number under another code protects nothing", false, 100.0, PayLines{cash, a, b},
                 PayLines{{"01", "20", "QA", ""}}, answer("交易成功", "-40", {qa, qb}));
        tableRow("every coupon returned already", false, 100.0, PayLines{cash, a, b},
                 PayLines{{"41", "20", "QB", ""}, {"41", "20", "QA", ""}},
                 answer("原单中不存在可退的券", "0"));
        tableRow("a sale paid without this tender", false, 100.0, PayLines{cash, {"02", "40", "", ""}},
                 PayLines{}, answer("原单中不存在可退的券", "0"));
        tableRow("no payment lines", false, 100.0, PayLines{}, PayLines{},
                 answer("非原单退货不允许进行退券操作", "0"));
        const PayLines big{{"01", 1, "", ""}, {"41", "12345.67", "Q1", "PF1"}};
        const QString q1 = paidCoupon("Q1", "PF1", "-12345.67");
        tableRow("a coupon of 12345.67 totalled in six digits", false, 12346.67, big, PayLines{},
                 answer("交易成功", "-12345.7", {q1}));
        tableRow("exact amounts: totalled to the cent", true, 12346.67, big, PayLines{},
                 answer("交易成功", "-12345.67", {q1}));
    }

    // Coupons go back without asking the CRM or the cashier.
    void refund() {
        QFETCH(bool, exact);
        QFETCH(double, orderAmount);
        QFETCH(PayLines, pays);
        QFETCH(PayLines, paysNow);
        QFETCH(QByteArray, result);
        m_till->exactAmounts(exact);
        const QByteArray udp = json({{"pays", payLines(pays)}, {"paysnow", payLines(paysNow)}});
        QCOMPARE(card("REFUND", products(), udp, orderAmount), result);
        QCOMPARE(m_till->crm.requestCount(), 0);
    }

    // One sale with the real coupon dialog.
    void saleAtTheTill() {
        m_till.reset();
        m_till = std::make_unique<TillFixture>(5, TillFixture::Dialogs::Real);
        m_till->script("pmb010", {found("满100减20")});
        m_till->script("pmb011", {couponList({{"Q1", "1", 20}})});
        m_till->script("pmb023", {writtenOff({{"Q1", "PF1"}})});
        CashierRobot robot;
        robot.when("CouponWidget", CashierRobot::sequence(
                                       {CashierRobot::typeAndEnter("Q1"), CashierRobot::press(Qt::Key_F2)}));
        QCOMPARE(card("SALE"), answer("交易成功", "20", {paidCoupon("Q1", "PF1", "20.00")}));
        VERIFY_ROBOT(robot);
        QCOMPARE(m_till->txcodes(), (QStringList{"pmb010", "pmb011", "pmb023"}));
    }
};

QTEST_MAIN(TestCouponTender)
#include "tst_CouponTender.moc"
