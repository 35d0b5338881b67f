// Identifying a member: the CRM's answer, its point accounts, the choice among
// several, and the local table when the CRM cannot be reached.
#include "CrmSim.h"
#include "api/ResultFrame.h"
#include "core/ZoVORDACtl.h"
#include "support/CashierRobot.h"
#include "support/CrmReplies.h"
#include "support/WorkDir.h"

#include <QtTest>

using crmsim::Reply;

class TestMemberVerification : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void oneMemberWithAccounts();
    void accountValues_data();
    void accountValues();
    void replyProblems_data();
    void replyProblems();
    void unreachableCrmFallsBackToLocalTable_data();
    void unreachableCrmFallsBackToLocalTable();
    void cashierChoosesAmongSeveral();
    void cashierClosesTheChoice();
    void wholeRequestThroughTheFrame();

private:
    crmsim::Server* m_crm = nullptr;
    WorkDir* m_dir = nullptr;
    ZoVORDACtl* m_ctl = nullptr;
};

void TestMemberVerification::init() {
    m_crm = new crmsim::Server;
    QVERIFY(m_crm->start());
    m_dir = new WorkDir;
    m_dir->configureTill(m_crm->baseUrl(), 1);
    m_ctl = new ZoVORDACtl;
    QString error;
    m_ctl->ResetCall(error);
}

void TestMemberVerification::cleanup() {
    delete m_ctl;
    delete m_dir;
    delete m_crm;
}

void TestMemberVerification::oneMemberWithAccounts() {
    m_crm->enqueue("pmb001",
                   Reply::json(CrmReplies::members({CrmReplies::member(
                       "M1", "C1", "张三", "13800000001",
                       {CrmReplies::account("A1", "10", "1.5"), CrmReplies::account("A2", 5, 0.25)})})));
    m_ctl->memberRec.store_id = "0101"; // a candidate carries no request context
    QString error;
    QVERIFY2(m_ctl->VerifyMember("13800000001", error), qPrintable(error));
    QCOMPARE(m_crm->requests().value(0).body, QByteArray(R"({"cardno":"13800000001","shop_id":"S01"})"));
    QCOMPARE(m_dir->logSteps().first(), QStringLiteral("会员验证"));
    const MemberRec& m = m_ctl->memberRec;
    QCOMPARE(m.vipcardid, QStringLiteral("M1"));
    QCOMPARE(m.code, QStringLiteral("C1"));
    QCOMPARE(m.name, QStringLiteral("张三"));
    QCOMPARE(m.type_code, QStringLiteral("G1"));
    QCOMPARE(m.type_name, QStringLiteral("金卡"));
    QCOMPARE(m.phone, QStringLiteral("13800000001"));
    QCOMPARE(m.address, QStringLiteral("深圳市南山区"));
    QCOMPARE(m.score, QStringLiteral("15"));
    QCOMPARE(m.balance, QStringLiteral("1.75"));
    QVERIFY(m.store_id.isEmpty());
    QCOMPARE(m.jfRecords.size(), 2);
    QCOMPARE(m.jfRecords.at(0).JfTotal, QStringLiteral("10"));
    QCOMPARE(m.jfRecords.at(0).BalanceJfTotal, QStringLiteral("1.5"));
    QCOMPARE(m.jfRecords.at(1).BalanceJfTotal, QStringLiteral("0.25"));
    QCOMPARE(m.jfRecords.at(1).PrjName, QStringLiteral("积分A2"));
}

void TestMemberVerification::accountValues_data() {
    QTest::addColumn<QJsonArray>("accounts");
    QTest::addColumn<QString>("score");
    QTest::addColumn<QString>("balance");
    QTest::addColumn<QString>("firstPoints");
    QTest::addColumn<QString>("firstCash");
    QTest::newRow("none") << QJsonArray{} << "0"
                          << "0"
                          << ""
                          << "";
    QTest::newRow("points with a decimal point count 0")
        << QJsonArray{CrmReplies::account("A", "12.5", "3"), CrmReplies::account("B", "7", "x")} << "7"
        << "3"
        << "0"
        << "3";
    QTest::newRow("large cash") << QJsonArray{CrmReplies::account("A", 1, 1234567.8)} << "1"
                                << "1.23457e+06"
                                << "1"
                                << "1.23457e+06";
    QTest::newRow("numbers") << QJsonArray{CrmReplies::account("A", 100, 2),
                                           CrmReplies::account("B", -20, -0.4)}
                             << "80"
                             << "1.6"
                             << "100"
                             << "2";
}

void TestMemberVerification::accountValues() {
    QFETCH(QJsonArray, accounts);
    QFETCH(QString, score);
    QFETCH(QString, balance);
    QFETCH(QString, firstPoints);
    QFETCH(QString, firstCash);
    m_crm->enqueue("pmb001",
                   Reply::json(CrmReplies::members({CrmReplies::member("M", "C", "N", "", accounts)})));
    QString error;
    QVERIFY2(m_ctl->VerifyMember("C", error), qPrintable(error));
    QCOMPARE(m_ctl->memberRec.score, score);
    QCOMPARE(m_ctl->memberRec.balance, balance);
    QCOMPARE(m_ctl->memberRec.jfRecords.value(0).JfTotal, firstPoints);
    QCOMPARE(m_ctl->memberRec.jfRecords.value(0).BalanceJfTotal, firstCash);
}

void TestMemberVerification::replyProblems_data() {
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QString>("error");
    QJsonObject noGrade = CrmReplies::member("M2", "C2", "李四", "");
    noGrade.remove("grade_name");
    QTest::newRow("array") << QByteArray("[]") << "会员查询解析Vorda返回数据失败，请再次尝试或联系管理员处理";
    QTest::newRow("no data") << QByteArray(R"({"result_code":"1"})") << "会员查询未获取到Vorda返回数据节点";
    QTest::newRow("no result_code") << QByteArray(R"({"data":{"memberinfo":[]}})")
                                    << "会员查询时未返回result_code";
    QTest::newRow("refused with text")
        << CrmReplies::refused("卡已挂失") << "会员验证失败，卡已挂失，请再次尝试或联系管理员处理";
    QTest::newRow("refused") << QByteArray(R"({"data":{"result_code":0}})")
                             << "会员验证失败，请再次尝试或联系管理员处理";
    QTest::newRow("nobody") << CrmReplies::members({}) << "未查询到相关会员信息";
    QTest::newRow("no memberinfo") << CrmReplies::accepted() << "未查询到相关会员信息";
    QTest::newRow("second lacks grade_name")
        << CrmReplies::members({CrmReplies::member("M1", "C1", "张三", ""), noGrade})
        << "会员查询时未返回grade_name";
    // Required keys in check order: each named when it and all later ones are missing.
    const QStringList keys{"member_id", "cardno", "grade_level", "grade_name", "member_name", "actionlist"};
    for (int i = 0; i < keys.size(); ++i) {
        QJsonObject m = CrmReplies::member("M", "C", "N", "");
        for (const QString& k : keys.mid(i))
            m.remove(k);
        QTest::newRow(qPrintable("missing " + keys[i]))
            << CrmReplies::members({m}) << "会员查询时未返回" + keys[i];
    }
}

void TestMemberVerification::replyProblems() {
    QFETCH(QByteArray, reply);
    QFETCH(QString, error);
    m_crm->enqueue("pmb001", Reply::json(reply));
    m_ctl->memberRec.name = "before";
    QString message;
    QVERIFY(!m_ctl->VerifyMember("C1", message));
    QCOMPARE(message, error);
    QCOMPARE(m_ctl->memberRec.name, QStringLiteral("before"));
    // A CRM that answers is believed: the local table is not asked.
    QVERIFY(!m_dir->logSteps().contains("执行离线查询会员"));
}

void TestMemberVerification::unreachableCrmFallsBackToLocalTable_data() {
    QTest::addColumn<bool>("hang");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QString>("failStep");
    QTest::newRow("time-out") << true << QByteArray() << "在线登录会员失败";
    QTest::newRow("not json") << false << QByteArray("<html>portal</html>")
                              << "在线登录会员失败,接口返回错误";
}

void TestMemberVerification::unreachableCrmFallsBackToLocalTable() {
    QFETCH(bool, hang);
    QFETCH(QByteArray, body);
    QFETCH(QString, failStep);
    Reply r = Reply::json(body);
    r.hang = hang;
    m_crm->enqueue("pmb001", r);
    // No database configured here: the local table's own failure is the answer.
    QString message;
    QVERIFY(!m_ctl->VerifyMember("13800000001", message));
    QCOMPARE(message, QStringLiteral("本地查询会员信息失败：未设置数据库类型"));
    QVERIFY(m_dir->logSteps().contains(failStep));
    QCOMPARE(m_dir->lastLogText(failStep),
             hang ? QStringLiteral("请求超时，请再次尝试或联系管理员处理") : QString(""));
}

void TestMemberVerification::cashierChoosesAmongSeveral() {
    m_crm->enqueue("pmb001",
                   Reply::json(CrmReplies::members({CrmReplies::member("M1", "C1", "张三", "13800000001"),
                                                    CrmReplies::member("M2", "C2", "张三丰", "13800000001",
                                                                       {CrmReplies::account("A", 8, 0.8)}),
                                                    CrmReplies::member("M3", "C3", "张四", "13800000001")})));
    CashierRobot robot;
    robot.when("VipSelection", CashierRobot::keys({Qt::Key_Down, Qt::Key_Return}));
    QString error;
    QVERIFY2(m_ctl->VerifyMember("13800000001", error), qPrintable(error));
    VERIFY_ROBOT(robot);
    QCOMPARE(m_ctl->memberRec.vipcardid, QStringLiteral("M2"));
    QCOMPARE(m_ctl->memberRec.score, QStringLiteral("8"));
}

void TestMemberVerification::cashierClosesTheChoice() {
    m_crm->enqueue("pmb001", Reply::json(CrmReplies::members({CrmReplies::member("M1", "C1", "A", "1"),
                                                              CrmReplies::member("M2", "C2", "B", "1")})));
    CashierRobot robot;
    robot.when("VipSelection", CashierRobot::press(Qt::Key_Escape));
    QString error;
    QVERIFY(!m_ctl->VerifyMember("1", error));
    VERIFY_ROBOT(robot);
    QCOMPARE(error, QStringLiteral("CLOSE"));
}

void TestMemberVerification::wholeRequestThroughTheFrame() {
    m_crm->enqueue("pmb001", Reply::json(CrmReplies::members({CrmReplies::member(
                                 "M1", "C1", "张三", "13800000001", {CrmReplies::account("A1", 10, 1.5)})})));
    const QByteArray in =
        R"({"reqtype":50,"store_id":"0101","station_id":"01","operator_id":"8001","business_date":"2026-12-06","biztype":"1","code":"13800000001","cardid":""})";
    QCOMPARE(
        ResultFrame::VipTrans(*m_ctl, in.constData()),
        QByteArray(
            R"({"HasVipRight":"1","JfRecord":[{"BalanceJfTotal":"1.5","JfTotal":"10","PrjCode":"A1","PrjName":"积分A1"}],"address":"深圳市南山区","balance":"1.5","birthday":"1990-01-01","code":"C1","name":"张三","phone":"13800000001","rtncode":"111111","rtnmsg":"成功","score":"10","type_code":"G1","type_name":"金卡","vipcardid":"M1"})"));
}

QTEST_MAIN(TestMemberVerification)
#include "tst_MemberVerification.moc"
