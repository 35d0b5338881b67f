// Paying with coupons: what the cashier enters and clears in the coupon dialog, the
// query, check and write-off requests, the CRM's answers, what the host gets back, and
// which coupons a refund returns.
#include "CrmSim.h"
#include "api/ResultFrame.h"
#include "core/ZoVORDACtl.h"
#include "support/CashierRobot.h"
#include "support/CrmReplies.h"
#include "support/Requests.h"
#include "support/WorkDir.h"

#include <QAbstractItemModel>
#include <QTableView>
#include <QtTest>

using crmsim::Reply;

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

QByteArray found(const QString& name) {
    return CrmReplies::accepted({{"couponInfo", QJsonObject{{"ticket_name", name}}}});
}

// "Q1:1:20" is coupon Q1, use flag "1", 20 yuan; "Q1:PF1" is Q1 written off as PF1.
QByteArray checked(const QStringList& coupons) {
    QJsonArray list;
    for (const QString& c : coupons) {
        const QStringList f = c.split(':');
        list.append(QJsonObject{{"coupon_no", f[0]}, {"useflag", f[1]}, {"pay_value", f[2].toDouble()}});
    }
    return CrmReplies::accepted({{"coupon_list", list}});
}

QByteArray writtenOff(const QStringList& coupons) {
    QJsonArray list;
    for (const QString& c : coupons)
        list.append(QJsonObject{{"coupon_no", c.section(':', 0, 0)}, {"payflow", c.section(':', 1)}});
    return CrmReplies::accepted({{"coupon_list", list}});
}

QByteArray couponList(const QStringList& numbers) {
    QStringList items;
    for (const QString& n : numbers)
        items.append(QStringLiteral(R"({"coupon_no":"%1"})").arg(n));
    return "[" + items.join(',').toUtf8() + "]";
}

QByteArray checkBody(const QStringList& numbers, const QByteArray& total = "5") {
    return R"({"coupon_list":)" + couponList(numbers) + R"(,"detail_list":)" + kDetails +
           R"(,"goods_num_total":")" + total +
           R"(","member_id":"M0001","s_value":"100.00","shop_id":"S01","type":"1"})";
}

QByteArray writeOffBody(const QStringList& numbers) {
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
    return QStringLiteral(
               R"({"ActualTotal":"%1","AmountTotal":"%1","CardNo":"","MchOrderNo":"","OtherInfo":"","PayDetails":[%2],"RtnCode":"%3","RtnMsg":"%4"})")
        .arg(total, objects.join(','), code, message)
        .toUtf8();
}

QByteArray closed(const QString& total, const QStringList& details) {
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

// "F1", "F2", "Up", "Down", "Esc" are keys; anything else is a coupon number and Enter.
CashierRobot::Action cashier(const QStringList& steps, QStringList* rowsBeforeLastKey = nullptr,
                             const QString& picture = QString()) {
    static const QHash<QString, int> keys{{"F1", Qt::Key_F1},
                                          {"F2", Qt::Key_F2},
                                          {"Up", Qt::Key_Up},
                                          {"Down", Qt::Key_Down},
                                          {"Esc", Qt::Key_Escape}};
    QList<CashierRobot::Action> actions;
    for (const QString& s : steps)
        actions.append(keys.contains(s) ? CashierRobot::press(keys[s]) : CashierRobot::typeAndEnter(s));
    if (rowsBeforeLastKey)
        actions.insert(actions.size() - 1, [rowsBeforeLastKey, picture](QWidget* d) {
            *rowsBeforeLastKey = tableRows(d);
            if (!picture.isEmpty())
                d->grab().save(picture);
        });
    return CashierRobot::sequence(actions);
}

QJsonObject payLine(const QString& code, const QJsonValue& amount, const QString& payno = "",
                    const QString& serial = "") {
    return QJsonObject{{"code", code},
                       {"name", code == "41" ? "券" : "现金"},
                       {"pay_amt", amount},
                       {"payno", payno},
                       {"extranno", serial}};
}

} // namespace

class TestCouponTender : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void addOneCouponAndWriteItOff();
    void entrySequences_data();
    void entrySequences();
    void writeOff_data();
    void writeOff();
    void queryAnswer_data();
    void queryAnswer();
    void checkAnswer_data();
    void checkAnswer();
    void piecesCounted_data();
    void piecesCounted();
    void refund_data();
    void refund();

private:
    QByteArray sale() { return card(Requests::tenderHead("Q", "SALE"), ""); }
    QByteArray card(QJsonObject head, const QByteArray& udp) {
        head.insert("pay_code", "41");
        head.insert("pay_name", "券");
        const QByteArray h = Requests::json(head);
        const QByteArray p = Requests::json(plu());
        return ResultFrame::CardTrans(*m_ctl, h.constData(), p.constData(), udp.constData());
    }
    QList<QByteArray> bodies(const QByteArray& txcode) const {
        QList<QByteArray> list;
        for (const crmsim::Request& r : m_crm->requests()) {
            if (r.txcode == txcode)
                list.append(r.body);
        }
        return list;
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

void TestCouponTender::init() {
    m_crm = new crmsim::Server;
    QVERIFY(m_crm->start());
    m_dir = new WorkDir;
    m_dir->configureTill(m_crm->baseUrl());
    m_ctl = new ZoVORDACtl;
}

void TestCouponTender::cleanup() {
    delete m_ctl;
    delete m_dir;
    delete m_crm;
}

void TestCouponTender::addOneCouponAndWriteItOff() {
    m_crm->enqueue("pmb010", Reply::json(found("满100减20")));
    m_crm->enqueue("pmb011", Reply::json(checked({"Q1:1:20"})));
    m_crm->enqueue("pmb023", Reply::json(writtenOff({"Q1:PF1"})));
    CashierRobot robot;
    QStringList rows;
    robot.when("CouponWidget", cashier({"Q1", "F2"}, &rows));

    QCOMPARE(sale(), result("111111", "交易成功", "20", {"Q1:PF1:20.00"}));
    VERIFY_ROBOT(robot);
    QCOMPARE(rows, QStringList{"1|Q1|满100减20|20.00|可用"});
    QCOMPARE(txcodes(), (QStringList{"pmb010", "pmb011", "pmb023"}));
    QCOMPARE(bodies("pmb010").value(0),
             QByteArray(R"({"coupon_no":"Q1","member_id":"M0001","shop_id":"S01"})"));
    QCOMPARE(bodies("pmb011").value(0), checkBody({"Q1"}));
    QCOMPARE(bodies("pmb023").value(0), writeOffBody({"Q1"}));
    QCOMPARE(m_dir->lastLogText("券核销报文").toUtf8(), writeOffBody({"Q1"}));
}

void TestCouponTender::entrySequences_data() {
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QByteArrayList>("queryReplies");
    QTest::addColumn<QByteArrayList>("checkReplies");
    QTest::addColumn<QStringList>("messages");
    QTest::addColumn<QStringList>("rows"); // before the last key
    QTest::addColumn<QStringList>("sent");
    QTest::addColumn<QByteArray>("lastCheck");
    QTest::addColumn<QByteArray>("result");
    const QString q = "pmb010", c = "pmb011";
    QTest::newRow("same number twice") << QStringList{"Q1", "Q1", "Esc"} << QByteArrayList{found("A")}
                                       << QByteArrayList{checked({"Q1:1:20"})} << QStringList{"此券已经添加"}
                                       << QStringList{"1|Q1|A|20.00|可用"} << QStringList{q, c}
                                       << checkBody({"Q1"}) << closed("20", {"Q1::20.00"});
    QTest::newRow("query refused") << QStringList{"Q1", "Q2", "Esc"}
                                   << QByteArrayList{found("A"), CrmReplies::refused("券已过期")}
                                   << QByteArrayList{checked({"Q1:1:20"})}
                                   << QStringList{"券查询失败 0 券已过期"} << QStringList{"1|Q1|A|20.00|可用"}
                                   << QStringList{q, c, q} << checkBody({"Q1"})
                                   << closed("20", {"Q1::20.00"});
    QTest::newRow("query without a name")
        << QStringList{"Q1", "Esc"} << QByteArrayList{CrmReplies::accepted({{"couponInfo", QJsonObject{}}})}
        << QByteArrayList{} << QStringList{"券查询失败 券查询时Vorda未返回ticket_name"} << QStringList{}
        << QStringList{q} << QByteArray() << closed("0", {});
    QTest::newRow("third coupon's check refused")
        << QStringList{"Q1", "Q2", "Q3", "Esc"} << QByteArrayList{found("A"), found("B"), found("C")}
        << QByteArrayList{checked({"Q1:1:20"}), checked({"Q1:1:20", "Q2:1:5"}),
                          CrmReplies::refused("限用两张")}
        << QStringList{"券校验失败 0 限用两张"}
        << QStringList{"1|Q1|A|0.00|异常", "2|Q2|B|0.00|异常", "3|Q3|C|0.00|异常"}
        << QStringList{q, c, q, c, q, c} << checkBody({"Q1", "Q2", "Q3"}) << closed("0", {});
    QTest::newRow("second of two cleared, re-check refused")
        << QStringList{"Q1", "Q2", "Down", "F1", "Esc"} << QByteArrayList{found("A"), found("B")}
        << QByteArrayList{checked({"Q1:1:20"}), checked({"Q1:1:20", "Q2:1:5"}),
                          CrmReplies::refused("系统繁忙")}
        << QStringList{"券校验失败 0 系统繁忙"} << QStringList{"1|Q1|A|0.00|不可用"}
        << QStringList{q, c, q, c, c} << checkBody({"Q1"}) << closed("0", {});
    QTest::newRow("first of two cleared, re-checked")
        << QStringList{"Q1", "Q2", "F1", "Esc"} << QByteArrayList{found("A"), found("B")}
        << QByteArrayList{checked({"Q1:1:20"}), checked({"Q1:1:20", "Q2:1:5"}), checked({"Q2:1:8"})}
        << QStringList{} << QStringList{"1|Q2|B|8.00|可用"} << QStringList{q, c, q, c, c} << checkBody({"Q2"})
        << closed("8", {"Q2::8.00"});
    QTest::newRow("the only coupon cleared")
        << QStringList{"Q1", "F1", "F2"} << QByteArrayList{found("A")} << QByteArrayList{checked({"Q1:1:20"})}
        << QStringList{} << QStringList{} << QStringList{q, c} << checkBody({"Q1"})
        << result("000000", "未录入券", "0", {});
    QTest::newRow("accepted with nothing entered")
        << QStringList{"F1", "F2"} << QByteArrayList{} << QByteArrayList{} << QStringList{} << QStringList{}
        << QStringList{} << QByteArray() << result("000000", "未录入券", "0", {});
    QTest::newRow("none usable") << QStringList{"Q1", "Q2", "F2"} << QByteArrayList{found("A"), found("B")}
                                 << QByteArrayList{checked({"Q1:0:0"}), checked({"Q1:0:0", "Q2:2:0"})}
                                 << QStringList{} << QStringList{"1|Q1|A|0.00|不可用", "2|Q2|B|0.00|异常"}
                                 << QStringList{q, c, q, c} << checkBody({"Q1", "Q2"})
                                 << result("000000", "没有可用的券", "0", {});
}

void TestCouponTender::entrySequences() {
    QFETCH(QStringList, steps);
    QFETCH(QByteArrayList, queryReplies);
    QFETCH(QByteArrayList, checkReplies);
    QFETCH(QStringList, messages);
    QFETCH(QStringList, rows);
    QFETCH(QStringList, sent);
    QFETCH(QByteArray, lastCheck);
    QFETCH(QByteArray, result);
    for (const QByteArray& r : queryReplies)
        m_crm->enqueue("pmb010", Reply::json(r));
    for (const QByteArray& r : checkReplies)
        m_crm->enqueue("pmb011", Reply::json(r));
    CashierRobot robot;
    QStringList shown;
    robot.when("CouponWidget", cashier(steps, &shown));
    for (const QString& m : messages)
        robot.expectMessage(m);

    QCOMPARE(sale(), result);
    VERIFY_ROBOT(robot);
    QCOMPARE(shown, rows);
    QCOMPARE(txcodes(), sent);
    QCOMPARE(bodies("pmb011").value(bodies("pmb011").size() - 1), lastCheck);
}

void TestCouponTender::writeOff_data() {
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QByteArray>("result");
    const QString ok = "111111", no = "000000";
    QTest::newRow("written off") << writtenOff({"Q3:PF3", "Q1:PF1"})
                                 << result(ok, "交易成功", "25.5", {"Q1:PF1:20.00", "Q3:PF3:5.50"});
    QTest::newRow("result code a number")
        << QByteArray(R"({"data":{"result_code":1,"coupon_list":[{"coupon_no":"Q1","payflow":"PF1"}]}})")
        << result(ok, "交易成功", "25.5", {"Q1:PF1:20.00", "Q3::5.50"});
    QTest::newRow("no serials") << writtenOff({})
                                << result(ok, "交易成功", "25.5", {"Q1::20.00", "Q3::5.50"});
    QTest::newRow("unknown number") << writtenOff({"Q9:PF9"})
                                    << result(ok, "交易成功", "25.5", {"Q1::20.00", "Q3::5.50"});
    QTest::newRow("not json") << QByteArray("<html>")
                              << result(no, "解析Vorda返回数据错误，请再次尝试或联系管理员处理", "25.5",
                                        {"Q1::20.00", "Q3::5.50"});
    QTest::newRow("array") << QByteArray("[]")
                           << result(no, "解析Vorda返回数据失败，请再次尝试或联系管理员处理", "25.5",
                                     {"Q1::20.00", "Q3::5.50"});
    QTest::newRow("no data") << QByteArray(R"({"result_code":"1"})")
                             << result(no, "未获取到Vorda返回数据节点", "25.5", {"Q1::20.00", "Q3::5.50"});
    QTest::newRow("no result_code") << QByteArray(R"({"data":{"coupon_list":[]}})")
                                    << result(no, "券核销异常", "25.5", {"Q1::20.00", "Q3::5.50"});
    QTest::newRow("refused") << QByteArray(R"({"data":{"result_code":"3","result_msg":"券已核销"}})")
                             << result(no, "3 券已核销", "25.5", {"Q1::20.00", "Q3::5.50"});
    QTest::newRow("refused without text") << QByteArray(R"({"data":{"result_code":"0"}})")
                                          << result(no, "缺少错误信息", "25.5", {"Q1::20.00", "Q3::5.50"});
    QTest::newRow("no coupon_list") << CrmReplies::accepted()
                                    << result(no, "无券相关明细", "25.5", {"Q1::20.00", "Q3::5.50"});
    QTest::newRow("second without payflow keeps the first serial")
        << CrmReplies::accepted(
               {{"coupon_list", QJsonArray{QJsonObject{{"coupon_no", "Q1"}, {"payflow", "PF1"}},
                                           QJsonObject{{"coupon_no", "Q3"}}}}})
        << result(no, "券参数payflow不完整", "25.5", {"Q1:PF1:20.00", "Q3::5.50"});
    QTest::newRow("without coupon_no")
        << CrmReplies::accepted({{"coupon_list", QJsonArray{QJsonObject{{"payflow", "PF1"}}}}})
        << result(no, "券参数coupon_no不完整", "25.5", {"Q1::20.00", "Q3::5.50"});
}

// Three coupons, the middle one not usable: only the usable two are written off and paid.
void TestCouponTender::writeOff() {
    QFETCH(QByteArray, reply);
    QFETCH(QByteArray, result);
    for (const char* name : {"满100减20", "生日券", "代金券"})
        m_crm->enqueue("pmb010", Reply::json(found(name)));
    m_crm->enqueue("pmb011", Reply::json(checked({"Q1:1:20"})));
    m_crm->enqueue("pmb011", Reply::json(checked({"Q1:1:20", "Q2:0:0"})));
    // The CRM may send the use flag as a number.
    m_crm->enqueue("pmb011", Reply::json(R"({"data":{"result_code":"1","coupon_list":[)"
                                         R"({"coupon_no":"Q1","useflag":"1","pay_value":20},)"
                                         R"({"coupon_no":"Q2","useflag":0,"pay_value":0},)"
                                         R"({"coupon_no":"Q3","useflag":1,"pay_value":"5.5"}]}})"));
    m_crm->enqueue("pmb023", Reply::json(reply));
    CashierRobot robot;
    QStringList rows;
    // ZOVORDA_SNAPSHOT_DIR set: the dialog with its three rows is kept as a picture to look at.
    const QString dir = qEnvironmentVariable("ZOVORDA_SNAPSHOT_DIR");
    const bool snap = !dir.isEmpty() && QTest::currentDataTag() == QLatin1String("written off");
    robot.when("CouponWidget",
               cashier({"Q1", "Q2", "Q3", "F2"}, &rows, snap ? dir + "/coupon.png" : QString()));

    QCOMPARE(sale(), result);
    VERIFY_ROBOT(robot);
    QCOMPARE(rows,
             (QStringList{"1|Q1|满100减20|20.00|可用", "2|Q2|生日券|0.00|不可用", "3|Q3|代金券|5.50|可用"}));
    QCOMPARE(bodies("pmb023"), QList<QByteArray>{writeOffBody({"Q1", "Q3"})});
}

void TestCouponTender::queryAnswer_data() {
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QString>("message");
    QTest::newRow("not json") << QByteArray("x") << "解析Vorda返回数据错误，请再次尝试或联系管理员处理";
    QTest::newRow("array") << QByteArray("[]") << "解析Vorda返回数据失败，请再次尝试或联系管理员处理";
    QTest::newRow("no data") << QByteArray("{}") << "未获取到Vorda返回数据节点";
    QTest::newRow("no result_code") << QByteArray(R"({"data":{}})") << "券查询异常";
    QTest::newRow("refused") << CrmReplies::refused("无此券") << "0 无此券";
    QTest::newRow("refused without text") << QByteArray(R"({"data":{"result_code":"0"}})") << "缺少错误信息";
    QTest::newRow("no couponInfo") << CrmReplies::accepted() << "券查询时Vorda未返回ticket_name";
    QTest::newRow("found, code a number")
        << QByteArray(R"({"data":{"result_code":1,"couponInfo":{"ticket_name":"满减"}}})") << "";
}

void TestCouponTender::queryAnswer() {
    QFETCH(QByteArray, reply);
    QFETCH(QString, message);
    QString error;
    m_ctl->ResetCall(error);
    m_crm->enqueue("pmb010", Reply::json(reply));
    CouponRec coupon{"", "", 7, "9", "F"};
    QCOMPARE(m_ctl->QueryCoupon("Q1", coupon, error), message.isEmpty());
    QCOMPARE(error, message);
    if (message.isEmpty()) {
        QCOMPARE(coupon.couponNo, QStringLiteral("Q1"));
        QCOMPARE(coupon.ticketName, QStringLiteral("满减"));
        QCOMPARE(coupon.payValue, 0.0);
        QCOMPARE(coupon.useFlag, QStringLiteral("0"));
        QCOMPARE(coupon.payflow, QStringLiteral("F")); // the write-off fills it, not the query
    }
}

void TestCouponTender::checkAnswer_data() {
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QStringList>("after"); // "flag:value" of Q1 and Q2
    const QStringList untouched{"0:0", "0:0"};
    QTest::newRow("no result_code") << QByteArray(R"({"data":{}})") << "券校验异常" << untouched;
    QTest::newRow("refused") << CrmReplies::refused("X") << "0 X" << untouched;
    QTest::newRow("no coupon_list") << CrmReplies::accepted() << "无券相关明细" << untouched;
    QTest::newRow("no coupon_no") << CrmReplies::accepted(
                                         {{"coupon_list",
                                           QJsonArray{QJsonObject{{"useflag", "1"}, {"pay_value", 1}}}}})
                                  << "券参数coupon_no不完整" << untouched;
    QTest::newRow("no useflag") << CrmReplies::accepted(
                                       {{"coupon_list",
                                         QJsonArray{QJsonObject{{"coupon_no", "Q1"}, {"pay_value", 1}}}}})
                                << "券参数useflag不完整" << untouched;
    QTest::newRow("second without pay_value, first applied")
        << CrmReplies::accepted(
               {{"coupon_list",
                 QJsonArray{QJsonObject{{"coupon_no", "Q1"}, {"useflag", "1"}, {"pay_value", 3}},
                            QJsonObject{{"coupon_no", "Q2"}, {"useflag", "1"}}}}})
        << "pay_value" << QStringList{"1:3", "0:0"};
    QTest::newRow("unknown ignored, unmentioned kept")
        << checked({"Q9:1:9", "Q2:7:2.25"}) << "" << QStringList{"0:0", "7:2.25"};
}

void TestCouponTender::checkAnswer() {
    QFETCH(QByteArray, reply);
    QFETCH(QString, message);
    QFETCH(QStringList, after);
    QString error;
    m_ctl->ResetCall(error);
    m_crm->enqueue("pmb011", Reply::json(reply));
    CouponRec q1{"Q1", "A", 0, "0", ""}, q2{"Q2", "B", 0, "0", ""};
    QList<CouponRec*> list{&q1, &q2};
    QCOMPARE(m_ctl->CheckCoupons(list, error), message.isEmpty());
    QCOMPARE(error, message);
    QCOMPARE((QStringList{q1.useFlag + ':' + QString::number(q1.payValue),
                          q2.useFlag + ':' + QString::number(q2.payValue)}),
             after);
}

void TestCouponTender::piecesCounted_data() {
    QTest::addColumn<QJsonArray>("quantities");
    QTest::addColumn<QByteArray>("total");
    QTest::newRow("whole numbers") << QJsonArray{2, 3} << QByteArray("5");
    QTest::newRow("numbers rounded") << QJsonArray{2.6, 1.4} << QByteArray("4");
    QTest::newRow("text with a fraction counts 0") << QJsonArray{2, "1.5"} << QByteArray("2");
    QTest::newRow("whole text counts") << QJsonArray{"4", 1} << QByteArray("5");
    QTest::newRow("no lines") << QJsonArray{} << QByteArray("0");
}

void TestCouponTender::piecesCounted() {
    QFETCH(QJsonArray, quantities);
    QFETCH(QByteArray, total);
    QString error;
    m_ctl->ResetCall(error);
    for (const QJsonValue& q : quantities)
        m_ctl->goodsLines.append(QJsonObject{{"sc", q}}.toVariantMap());
    m_crm->enqueue("pmb011", Reply::json(checked({})));
    QList<CouponRec*> none;
    QVERIFY2(m_ctl->CheckCoupons(none, error), qPrintable(error));
    const QJsonObject body = QJsonDocument::fromJson(m_crm->requests().value(0).body).object();
    QCOMPARE(body.value("goods_num_total").toString().toUtf8(), total);
}

void TestCouponTender::refund_data() {
    QTest::addColumn<QJsonValue>("orderAmount");
    QTest::addColumn<QJsonArray>("pays");
    QTest::addColumn<QJsonArray>("paysnow");
    QTest::addColumn<QByteArray>("result");
    const QString ok = "111111", no = "000000";
    const QJsonObject cash60 = payLine("01", "60.00"), couponA = payLine("41", "20", "QA", "PFA"),
                      couponB = payLine("41", 20, "QB", "PFB");
    QTest::newRow("whole sale, cash and coupon")
        << QJsonValue(-100) << QJsonArray{cash60, payLine("41", "40.00", "Q1", "PF1")} << QJsonArray{}
        << result(ok, "交易成功", "-40", {"Q1:PF1:-40.00"});
    QTest::newRow("part of the sale")
        << QJsonValue(99.99) << QJsonArray{cash60, payLine("41", "40.00", "Q1", "PF1")} << QJsonArray{}
        << result(no, "部分退货时不允许进行退券操作", "0", {});
    QTest::newRow("total equal at two decimals")
        << QJsonValue(100) << QJsonArray{cash60, payLine("41", "40", "Q1", "PF1"), payLine("02", "0.004")}
        << QJsonArray{} << result(ok, "交易成功", "-40", {"Q1:PF1:-40.00"});
    QTest::newRow("coupon already returned in this refund")
        << QJsonValue(100) << QJsonArray{cash60, couponA, couponB} << QJsonArray{payLine("41", "20", "QA")}
        << result(ok, "交易成功", "-20", {"QB:PFB:-20.00"});
    QTest::newRow("same number under another code protects nothing")
        << QJsonValue(100) << QJsonArray{cash60, couponA, couponB} << QJsonArray{payLine("01", "20", "QA")}
        << result(ok, "交易成功", "-40", {"QA:PFA:-20.00", "QB:PFB:-20.00"});
    QTest::newRow("every coupon already returned")
        << QJsonValue(100) << QJsonArray{cash60, couponA, couponB}
        << QJsonArray{payLine("41", "20", "QB"), payLine("41", "20", "QA")}
        << result(no, "原单中不存在可退的券", "0", {});
    QTest::newRow("sale paid without this coupon tender")
        << QJsonValue(100) << QJsonArray{cash60, payLine("02", "40")} << QJsonArray{}
        << result(no, "原单中不存在可退的券", "0", {});
    QTest::newRow("no payment lines") << QJsonValue(100) << QJsonArray{} << QJsonArray{}
                                      << result(no, "非原单退货不允许进行退券操作", "0", {});
}

void TestCouponTender::refund() {
    QFETCH(QJsonValue, orderAmount);
    QFETCH(QJsonArray, pays);
    QFETCH(QJsonArray, paysnow);
    QFETCH(QByteArray, result);
    QJsonObject head = Requests::tenderHead("Q", "REFUND");
    head.insert("oribill_no", "OB7");
    head.insert("orisale_no", "OS7");
    head.insert("order_amount", orderAmount);
    head.insert("tr_amt", -40);
    CashierRobot robot; // a refund asks the cashier nothing

    QCOMPARE(card(head, Requests::json({{"pays", pays}, {"paysnow", paysnow}})), result);
    VERIFY_ROBOT(robot);
    QCOMPARE(m_crm->requestCount(), 0);
}

QTEST_MAIN(TestCouponTender)
#include "tst_CouponTender.moc"
