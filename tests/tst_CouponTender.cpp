// Paying with coupons: what the cashier enters and clears in the coupon dialog, the
// query, check and write-off requests, the CRM's answers, what the host gets back, and
// which coupons a refund returns.
#include "support/CashierRobot.h"
#include "support/CrmReplies.h"
#include "support/TillFixture.h"

#include <QAbstractItemModel>
#include <QTableView>
#include <QtTest>

namespace {

// Quantities 2 and 3 as numbers, 1.5 as text, and a line that only has its id (a number).
QJsonObject plu() {
    return QJsonObject{
        {"plu", QJsonArray{Requests::productLine("1001", 60, 2), Requests::productLine("1002", 12.5, 3),
                           Requests::productLine("1003", 9.999, "1.5"), QJsonObject{{"pi", 1004}}}}};
}

const QByteArray kDetails =
    R"([{"act_price":"60.00","bar_code":"691001","goods_id":"1001","goods_name":"商品1001","goods_num":"2","member_price":"60.00","unit_price":"60.00"},)"
    R"({"act_price":"12.50","bar_code":"691002","goods_id":"1002","goods_name":"商品1002","goods_num":"3","member_price":"12.50","unit_price":"12.50"},)"
    R"({"act_price":"10.00","bar_code":"691003","goods_id":"1003","goods_name":"商品1003","goods_num":"1.5","member_price":"10.00","unit_price":"10.00"},)"
    R"({"act_price":"0.00","bar_code":"","goods_id":"1004","goods_name":"","goods_num":"0","member_price":"0.00","unit_price":"0.00"}])";

// A query answer naming the coupon; "!text" is a refusal, "-" an answer without a name.
QByteArray found(const QString& name) {
    if (name.startsWith('!'))
        return CrmReplies::refused(name.mid(1));
    return CrmReplies::accepted(
        {{"couponInfo", name == "-" ? QJsonObject() : QJsonObject{{"ticket_name", name}}}});
}

// A check answer: "Q1:1:20 Q2:0:0" is Q1 usable for 20 and Q2 not; "!text" is a refusal.
QByteArray checked(const QString& coupons) {
    if (coupons.startsWith('!'))
        return CrmReplies::refused(coupons.mid(1));
    QJsonArray list;
    for (const QString& c : coupons.split(' ', Qt::SkipEmptyParts)) {
        const QStringList f = c.split(':');
        list.append(QJsonObject{{"coupon_no", f[0]}, {"useflag", f[1]}, {"pay_value", f[2].toDouble()}});
    }
    return CrmReplies::accepted({{"coupon_list", list}});
}

// A write-off answer: "Q1:PF1" is Q1 written off as PF1.
QByteArray writtenOff(const QStringList& coupons) {
    QJsonArray list;
    for (const QString& c : coupons)
        list.append(QJsonObject{{"coupon_no", c.section(':', 0, 0)}, {"payflow", c.section(':', 1)}});
    return CrmReplies::accepted({{"coupon_list", list}});
}

QByteArray couponList(const QString& numbers) {
    QStringList items;
    for (const QString& n : numbers.split(' ', Qt::SkipEmptyParts))
        items.append(QStringLiteral(R"({"coupon_no":"%1"})").arg(n));
    return "[" + items.join(',').toUtf8() + "]";
}

QByteArray checkBody(const QString& numbers) {
    if (numbers.isEmpty())
        return QByteArray();
    return R"({"coupon_list":)" + couponList(numbers) + R"(,"detail_list":)" + kDetails +
           R"(,"goods_num_total":"5","member_id":"M0001","s_value":"100.00","shop_id":"S01","type":"1"})";
}

QByteArray writeOffBody(const QString& numbers) {
    return R"({"coupon_list":)" + couponList(numbers) + R"(,"detail_list":)" + kDetails +
           R"(,"member_id":"M0001","order_id":"B0001","shop_id":"S01"})";
}

// The host's result: "Q1:PF1:20.00" is one paid coupon with its serial and amount.
QByteArray result(const QString& code, const QString& message, const QString& total,
                  const QStringList& details) {
    QStringList objects;
    for (const QString& d : details) {
        const QStringList f = d.split(':');
        objects.append(
            QStringLiteral(
                R"({"ActualTotal":"%3","AmountTotal":"%3","CardNo":"%1","ChildPayCode":"41","ChildPayName":"券","MchOrderNo":"%2"})")
                .arg(f[0], f[1], f[2]));
    }
    return cardResult(code, message, total, objects.isEmpty() ? QString("") : objects.join(','));
}

QByteArray closed(const QString& total, const QStringList& details = {}) {
    return result("000000", "CLOSE", total, details);
}

// The coupon table as the cashier sees it, one "1|Q1|name|20.00|可用" per row.
QStringList tableRows(QWidget* dialog) {
    const QAbstractItemModel* model = dialog->findChild<QTableView*>("tableView")->model();
    QStringList rows;
    for (int r = 0; r < model->rowCount(); ++r) {
        QStringList cells;
        for (int c = 0; c < model->columnCount(); ++c)
            cells.append(model->index(r, c).data().toString());
        rows.append(cells.join('|'));
    }
    return rows;
}

// "F1 F2 Up Down Esc" are keys, anything else a coupon number and Enter. The rows are
// read before the last key; ZOVORDA_SNAPSHOT_DIR set, the dialog is saved as picture too.
CashierRobot::Action cashier(const QString& steps, QStringList* rowsBeforeLastKey,
                             const QString& picture = QString()) {
    static const QHash<QString, int> keys{{"F1", Qt::Key_F1},
                                          {"F2", Qt::Key_F2},
                                          {"Up", Qt::Key_Up},
                                          {"Down", Qt::Key_Down},
                                          {"Esc", Qt::Key_Escape}};
    QList<CashierRobot::Action> actions;
    for (const QString& s : steps.split(' '))
        actions.append(keys.contains(s) ? CashierRobot::press(keys[s]) : CashierRobot::typeAndEnter(s));
    const QString dir = qEnvironmentVariable("ZOVORDA_SNAPSHOT_DIR");
    actions.insert(actions.size() - 1, [rowsBeforeLastKey, picture, dir](QWidget* d) {
        *rowsBeforeLastKey = tableRows(d);
        if (!picture.isEmpty() && !dir.isEmpty())
            d->grab().save(dir + '/' + picture);
    });
    return CashierRobot::sequence(actions);
}

struct Entry {
    QString keys, queries, checks, messages, rows, sent, lastCheck;
    QByteArray result;
};

} // namespace
Q_DECLARE_METATYPE(Entry)

class TestCouponTender : public QObject {
    Q_OBJECT
private:
    QByteArray card(QJsonObject head, const QByteArray& udp = QByteArray()) {
        head.insert("pay_code", "41");
        head.insert("pay_name", "券");
        return m_till->card(head, plu(), udp);
    }
    std::unique_ptr<TillFixture> m_till;

private slots:
    void init() {
        m_till.reset(new TillFixture);
        QVERIFY(m_till->started);
    }
    void cleanup() { m_till.reset(); }

    // Lists are separated by "/": the query answers (see found()), the check answers (see
    // checked()), the messages, and the rows shown before the last key. Sent: q for a query, c
    // for a check.
    void entrySequences_data() {
        QTest::addColumn<Entry>("e");
        const auto row = [](const char* name, const char* keys, const char* queries, const char* checks,
                            const char* messages, const char* rows, const char* sent, const char* lastCheck,
                            const QByteArray& result) {
            QTest::newRow(name) << Entry{keys, queries, checks, messages, rows, sent, lastCheck, result};
        };
        const QByteArray none = result("000000", "未录入券", "0", {});
        row("same number twice", "Q1 Q1 Esc", "A", "Q1:1:20", "此券已经添加", "1|Q1|A|20.00|可用", "q c",
            "Q1", closed("20", {"Q1::20.00"}));
        row("query refused", "Q1 Q2 Esc", "A/!券已过期", "Q1:1:20", "券查询失败 0 券已过期",
            "1|Q1|A|20.00|可用", "q c q", "Q1", closed("20", {"Q1::20.00"}));
        row("query without a name", "Q1 Esc", "-", "", "券查询失败 券查询时Vorda未返回ticket_name", "", "q",
            "", closed("0"));
        row("third coupon's check refused", "Q1 Q2 Q3 Esc", "A/B/C", "Q1:1:20/Q1:1:20 Q2:1:5/!限用两张",
            "券校验失败 0 限用两张", "1|Q1|A|0.00|异常/2|Q2|B|0.00|异常/3|Q3|C|0.00|异常", "q c q c q c",
            "Q1 Q2 Q3", closed("0"));
        row("second of two cleared, re-check refused", "Q1 Q2 Down F1 Esc", "A/B",
            "Q1:1:20/Q1:1:20 Q2:1:5/!系统繁忙", "券校验失败 0 系统繁忙", "1|Q1|A|0.00|不可用", "q c q c c",
            "Q1", closed("0"));
        row("first of two cleared, re-checked", "Q1 Q2 F1 Esc", "A/B", "Q1:1:20/Q1:1:20 Q2:1:5/Q2:1:8", "",
            "1|Q2|B|8.00|可用", "q c q c c", "Q2", closed("8", {"Q2::8.00"}));
        row("the only coupon cleared", "Q1 F1 F2", "A", "Q1:1:20", "", "", "q c", "Q1", none);
        row("accepted with nothing entered", "F1 F2", "", "", "", "", "", "", none);
        row("none usable", "Q1 Q2 F2", "A/B", "Q1:0:0/Q1:0:0 Q2:2:0", "",
            "1|Q1|A|0.00|不可用/2|Q2|B|0.00|异常", "q c q c", "Q1 Q2",
            result("000000", "没有可用的券", "0", {}));
    }

    void entrySequences() {
        QFETCH(Entry, e);
        for (const QString& q : e.queries.split('/', Qt::SkipEmptyParts))
            m_till->script("pmb010", {found(q)});
        for (const QString& c : e.checks.split('/', Qt::SkipEmptyParts))
            m_till->script("pmb011", {checked(c)});
        CashierRobot robot;
        QStringList shown;
        robot.when("CouponWidget", cashier(e.keys, &shown));
        for (const QString& m : e.messages.split('/', Qt::SkipEmptyParts))
            robot.expectMessage(m);

        QCOMPARE(card(Requests::tenderHead("Q", "SALE")), e.result);
        VERIFY_ROBOT(robot);
        QCOMPARE(shown.join('/'), e.rows);
        QCOMPARE(m_till->txcodes().join(' '), e.sent.replace('q', "pmb010").replace('c', "pmb011"));
        QCOMPARE(m_till->bodies("pmb011").value(m_till->bodies("pmb011").size() - 1), checkBody(e.lastCheck));
    }

    void writeOff_data() {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<QByteArray>("result");
        const auto paid = [](const QStringList& details) {
            return result("111111", "交易成功", "25.5", details);
        };
        const auto refused = [](const QString& message, const QString& q1 = "Q1::20.00") {
            return result("000000", message, "25.5", {q1, "Q3::5.50"});
        };
        tableRow("written off", writtenOff({"Q3:PF3", "Q1:PF1"}), paid({"Q1:PF1:20.00", "Q3:PF3:5.50"}));
        tableRow(
            "result code a number",
            QByteArray(R"({"data":{"result_code":1,"coupon_list":[{"coupon_no":"Q1","payflow":"PF1"}]}})"),
            paid({"Q1:PF1:20.00", "Q3::5.50"}));
        tableRow("no serials", writtenOff({}), paid({"Q1::20.00", "Q3::5.50"}));
        tableRow("unknown number", writtenOff({"Q9:PF9"}), paid({"Q1::20.00", "Q3::5.50"}));
        tableRow("not json", QByteArray("<html>"),
                 refused("解析Vorda返回数据错误，请再次尝试或联系管理员处理"));
        tableRow("array", QByteArray("[]"), refused("解析Vorda返回数据失败，请再次尝试或联系管理员处理"));
        tableRow("no data", QByteArray(R"({"result_code":"1"})"), refused("未获取到Vorda返回数据节点"));
        tableRow("no result_code", QByteArray(R"({"data":{"coupon_list":[]}})"), refused("券核销异常"));
        tableRow("refused", QByteArray(R"({"data":{"result_code":"3","result_msg":"券已核销"}})"),
                 refused("3 券已核销"));
        tableRow("refused without text", QByteArray(R"({"data":{"result_code":"0"}})"),
                 refused("缺少错误信息"));
        tableRow("no coupon_list", CrmReplies::accepted(), refused("无券相关明细"));
        tableRow(
            "second without payflow keeps the first serial",
            QByteArray(
                R"({"data":{"result_code":"1","coupon_list":[{"coupon_no":"Q1","payflow":"PF1"},{"coupon_no":"Q3"}]}})"),
            refused("券参数payflow不完整", "Q1:PF1:20.00"));
        tableRow("without coupon_no",
                 QByteArray(R"({"data":{"result_code":"1","coupon_list":[{"payflow":"PF1"}]}})"),
                 refused("券参数coupon_no不完整"));
    }

    // Three coupons, the middle one not usable: only the usable two are written off and paid.
    void writeOff() {
        QFETCH(QByteArray, reply);
        QFETCH(QByteArray, result);
        m_till->script("pmb010", {found("满100减20"), found("生日券"), found("代金券")});
        // The CRM may send the use flag as a number.
        m_till->script("pmb011", {checked("Q1:1:20"), checked("Q1:1:20 Q2:0:0"),
                                  R"({"data":{"result_code":"1","coupon_list":[)"
                                  R"({"coupon_no":"Q1","useflag":"1","pay_value":20},)"
                                  R"({"coupon_no":"Q2","useflag":0,"pay_value":0},)"
                                  R"({"coupon_no":"Q3","useflag":1,"pay_value":"5.5"}]}})"});
        m_till->script("pmb023", {reply});
        CashierRobot robot;
        QStringList rows;
        robot.when("CouponWidget",
                   cashier("Q1 Q2 Q3 F2", &rows,
                           QTest::currentDataTag() == QLatin1String("written off") ? "coupon.png" : ""));

        QCOMPARE(card(Requests::tenderHead("Q", "SALE")), result);
        VERIFY_ROBOT(robot);
        QCOMPARE(rows, (QStringList{"1|Q1|满100减20|20.00|可用", "2|Q2|生日券|0.00|不可用",
                                    "3|Q3|代金券|5.50|可用"}));
        QCOMPARE(m_till->txcodes().join(' '), "pmb010 pmb011 pmb010 pmb011 pmb010 pmb011 pmb023");
        QCOMPARE(m_till->bodies("pmb010").value(0),
                 QByteArray(R"({"coupon_no":"Q1","member_id":"M0001","shop_id":"S01"})"));
        QCOMPARE(m_till->bodies("pmb023"), QByteArrayList{writeOffBody("Q1 Q3")});
        QCOMPARE(m_till->dir.lastLogText("券核销报文").toUtf8(), writeOffBody("Q1 Q3"));
    }

    // The query and the check on their own. After a check, "flag:value" of coupons Q1 and Q2.
    void crmAnswer_data() {
        QTest::addColumn<QByteArray>("txcode");
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("after");
        const auto row = [](const char* name, const char* txcode, const QByteArray& reply,
                            const QString& message, const QString& after = "0:0 0:0") {
            QTest::addRow("%s: %s", txcode, name) << QByteArray(txcode) << reply << message << after;
        };
        row("not json", "pmb010", "x", "解析Vorda返回数据错误，请再次尝试或联系管理员处理");
        row("array", "pmb010", "[]", "解析Vorda返回数据失败，请再次尝试或联系管理员处理");
        row("no data", "pmb010", "{}", "未获取到Vorda返回数据节点");
        row("no result_code", "pmb010", R"({"data":{}})", "券查询异常");
        row("refused", "pmb010", CrmReplies::refused("无此券"), "0 无此券");
        row("refused without text", "pmb010", R"({"data":{"result_code":"0"}})", "缺少错误信息");
        row("no couponInfo", "pmb010", CrmReplies::accepted(), "券查询时Vorda未返回ticket_name");
        // The write-off fills the serial, not the query.
        row("found, code a number", "pmb010",
            R"({"data":{"result_code":1,"couponInfo":{"ticket_name":"满减"}}})", "", "Q1|满减|0|0|F");
        row("no result_code", "pmb011", R"({"data":{}})", "券校验异常");
        row("refused", "pmb011", CrmReplies::refused("X"), "0 X");
        row("no coupon_list", "pmb011", CrmReplies::accepted(), "无券相关明细");
        const auto list = [](const char* coupons) {
            return QByteArray(R"({"data":{"result_code":"1","coupon_list":[%1]}})").replace("%1", coupons);
        };
        row("no coupon_no", "pmb011", list(R"({"useflag":"1","pay_value":1})"), "券参数coupon_no不完整");
        row("no useflag", "pmb011", list(R"({"coupon_no":"Q1","pay_value":1})"), "券参数useflag不完整");
        row("second without pay_value, first applied", "pmb011",
            list(R"({"coupon_no":"Q1","useflag":"1","pay_value":3},{"coupon_no":"Q2","useflag":"1"})"),
            "pay_value", "1:3 0:0");
        row("unknown ignored, unmentioned kept", "pmb011", checked("Q9:1:9 Q2:7:2.25"), "", "0:0 7:2.25");
    }

    void crmAnswer() {
        QFETCH(QByteArray, txcode);
        QFETCH(QByteArray, reply);
        QFETCH(QString, message);
        QFETCH(QString, after);
        QString error;
        m_till->ctl.ResetCall(error);
        m_till->script(txcode, {reply});
        if (txcode == "pmb010") {
            CouponRec c{"", "", 7, "9", "F"};
            QCOMPARE(m_till->ctl.QueryCoupon("Q1", c, error), message.isEmpty());
            if (message.isEmpty())
                QCOMPARE(
                    QStringList({c.couponNo, c.ticketName, QString::number(c.payValue), c.useFlag, c.payflow})
                        .join('|'),
                    after);
        } else {
            CouponRec q1{"Q1", "A", 0, "0", ""}, q2{"Q2", "B", 0, "0", ""};
            QList<CouponRec*> list{&q1, &q2};
            QCOMPARE(m_till->ctl.CheckCoupons(list, error), message.isEmpty());
            QCOMPARE(QString("%1:%2 %3:%4").arg(q1.useFlag).arg(q1.payValue).arg(q2.useFlag).arg(q2.payValue),
                     after);
        }
        QCOMPARE(error, message);
    }

    void piecesCounted_data() {
        QTest::addColumn<QJsonArray>("quantities");
        QTest::addColumn<QByteArray>("total");
        tableRow("whole numbers", QJsonArray{2, 3}, QByteArray("5"));
        tableRow("numbers rounded", QJsonArray{2.6, 1.4}, QByteArray("4"));
        tableRow("text with a fraction counts 0", QJsonArray{2, "1.5"}, QByteArray("2"));
        tableRow("whole text counts", QJsonArray{"4", 1}, QByteArray("5"));
        tableRow("no lines", QJsonArray{}, QByteArray("0"));
    }

    void piecesCounted() {
        QFETCH(QJsonArray, quantities);
        QFETCH(QByteArray, total);
        QString error;
        m_till->ctl.ResetCall(error);
        for (const QJsonValue& q : quantities)
            m_till->ctl.goodsLines.append(QJsonObject{{"sc", q}}.toVariantMap());
        m_till->script("pmb011", {checked("")});
        QList<CouponRec*> none;
        QVERIFY2(m_till->ctl.CheckCoupons(none, error), qPrintable(error));
        const QJsonObject body = QJsonDocument::fromJson(m_till->bodies("pmb011").value(0)).object();
        QCOMPARE(body.value("goods_num_total").toString().toUtf8(), total);
    }

    // Payment lines "41:40.00:Q1:PF1" are code, amount (a number after "#"), coupon and serial.
    void refund_data() {
        QTest::addColumn<double>("orderAmount");
        QTest::addColumn<QString>("pays");
        QTest::addColumn<QString>("paysnow");
        QTest::addColumn<QByteArray>("result");
        const auto row = [](const char* name, double amount, const QString& pays, const char* paysnow,
                            const QString& message, const QString& total = "0",
                            const QStringList& details = {}) {
            QTest::newRow(name) << amount << pays << paysnow
                                << result(details.isEmpty() ? "000000" : "111111", message, total, details);
        };
        const QString cash = "01:60.00 ", both = "01:60.00 41:20:QA:PFA 41:#20:QB:PFB";
        row("whole sale, cash and coupon", -100, cash + "41:40.00:Q1:PF1", "", "交易成功", "-40",
            {"Q1:PF1:-40.00"});
        row("part of the sale", 99.99, cash + "41:40.00:Q1:PF1", "", "部分退货时不允许进行退券操作");
        row("total equal at two decimals", 100, cash + "41:40:Q1:PF1 02:0.004", "", "交易成功", "-40",
            {"Q1:PF1:-40.00"});
        row("coupon already returned in this refund", 100, both, "41:20:QA", "交易成功", "-20",
            {"QB:PFB:-20.00"});
        row("same number under another code protects nothing", 100, both, "01:20:QA", "交易成功", "-40",
            {"QA:PFA:-20.00", "QB:PFB:-20.00"});
        row("every coupon already returned", 100, both, "41:20:QB 41:20:QA", "原单中不存在可退的券");
        row("sale paid without this coupon tender", 100, cash + "02:40", "", "原单中不存在可退的券");
        row("no payment lines", 100, "", "", "非原单退货不允许进行退券操作");
    }

    void refund() {
        QFETCH(double, orderAmount);
        QFETCH(QString, pays);
        QFETCH(QString, paysnow);
        QFETCH(QByteArray, result);
        const auto lines = [](const QString& text) {
            QJsonArray list;
            for (const QString& line : text.split(' ', Qt::SkipEmptyParts)) {
                const QStringList f = line.split(':');
                const QString amount = f.value(1);
                list.append(QJsonObject{
                    {"code", f[0]},
                    {"name", f[0] == "41" ? "券" : "现金"},
                    {"pay_amt", amount.startsWith('#') ? QJsonValue(amount.mid(1).toDouble()) : amount},
                    {"payno", f.value(2)},
                    {"extranno", f.value(3)}});
            }
            return list;
        };
        QJsonObject head = Requests::tenderHead("Q", "REFUND");
        head.insert("oribill_no", "OB7");
        head.insert("orisale_no", "OS7");
        head.insert("order_amount", orderAmount);
        head.insert("tr_amt", -40);
        CashierRobot robot; // a refund asks the cashier nothing

        QCOMPARE(card(head, Requests::json({{"pays", lines(pays)}, {"paysnow", lines(paysnow)}})), result);
        VERIFY_ROBOT(robot);
        QCOMPARE(m_till->crm.requestCount(), 0);
    }
};

QTEST_MAIN(TestCouponTender)
#include "tst_CouponTender.moc"
