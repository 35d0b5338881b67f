// Member verification as the host asks for it: the checks of a member request, the key
// looked up at the CRM, the member's points, the choice among several members and the
// member's password.
#include "support/Columns.h"
#include "support/CrmReplies.h"
#include "support/TillFixture.h"

#include <QtTest>

using Answers = QList<std::optional<QString>>;
using namespace Requests;

namespace {

QByteArray failed(const QString& message) {
    return QStringLiteral(R"({"rtncode":"000000","rtnmsg":"%1"})").arg(message).toUtf8();
}

QByteArray oneMember(const QJsonArray& accounts = {}) {
    return CrmReplies::members({CrmReplies::member("M1", "C1", "张三", "13800000001", accounts)});
}

const QByteArray kVerified =
    R"({"HasVipRight":"1","JfRecord":[],"address":"深圳市南山区","balance":"0","birthday":"1990-01-01",)"
    R"("code":"C1","name":"张三","phone":"13800000001","rtncode":"111111","rtnmsg":"成功","score":"0",)"
    R"("type_code":"G1","type_name":"金卡","vipcardid":"M1"})";

// What a member request does until it asks the CRM, and once it has its answer.
const QStringList kLookupSteps{"传入参数", "sSigninDate", "sCurrentDate", "会员验证", "调用成功", "返回结果"};

const QString kRetry = QStringLiteral("，请再次尝试或联系管理员处理");

struct PasswordCase {
    QString bizType;
    QByteArrayList replies; // of the password checks
    Answers passwords;
    QStringList shown;
    QByteArray result;
};

} // namespace
Q_DECLARE_METATYPE(PasswordCase)
Q_DECLARE_METATYPE(Answers)

class TestMemberRequests : public ScriptedTillSuite {
    Q_OBJECT

private slots:
    void init() { startTill(); }
    void cleanup() { endTill(); }

    void refusedBeforeAnyExchange_data() {
        columns<QByteArray, QString>({"request", "message"});
        const auto row = [](const QString& name, const QByteArray& request, const QString& message) {
            QTest::newRow(qPrintable(name)) << request << message;
        };
        row("a text that is no JSON", "{reqtype:", "TranVipIn参数解析错误");
        row("an empty text", "", "TranVipIn参数解析错误");
        row("a JSON array", "[1,2]", "TranVipIn参数解析失败");
        row("no request type", "{}", "reqtype参数传入不全");
        row("request type 51", R"({"reqtype":51})", "交易类型错误");
        const QStringList verifyKeys{"store_id", "station_id", "operator_id", "business_date", "biztype"};
        for (const auto& c : missingInOrder(verifyRequest(), verifyKeys))
            row("a verification without " + c.first, json(c.second), c.first + "参数传入不全");
        row("a verification with a code but no card id", json(without(verifyRequest(), {"cardid"})),
            "cardid参数传入不全");
        const QStringList settleKeys{
            "store_id",      "station_id",      "operator_id", "business_date", "pos_saleno",
            "pos_billno",    "pos_salebgntime", "sale_type",   "amount",        "biztype",
            "plucounttotal", "shouldtotal",     "actualtotal", "products",      "pays"};
        for (const auto& c : missingInOrder(settleRequest(), settleKeys))
            row("a settlement without " + c.first, json(c.second), c.first + "参数传入不全");
        for (const QJsonValue& amount : {QJsonValue(0.004), QJsonValue("-0.004"), QJsonValue("abc")})
            row("a settlement of " + amount.toVariant().toString(),
                json(with(settleRequest(), "amount", amount)), "订单金额不允许为0");
        const QList<QPair<QString, QJsonValue>> malformed{{"amount", true},
                                                          {"amount", "nan"},
                                                          {"shouldtotal", 1e308},
                                                          {"plucounttotal", "nan"},
                                                          {"plucounttotal", 1e7},
                                                          {"actualtotal", QJsonArray{1}},
                                                          {"products", QJsonObject{}},
                                                          {"products", "1001"},
                                                          {"pays", "01"},
                                                          {"pays", QJsonObject{{"code", "01"}}}};
        for (const auto& c : malformed)
            row(QString("a settlement whose %1 is %2")
                    .arg(c.first, json({{"v", c.second}}).mid(5).chopped(1)),
                json(with(settleRequest(), c.first, c.second)), "参数" + c.first + "格式错误");
        const auto lines = [](const QString& list, const QString& key, const QJsonValue& value) {
            const QJsonObject first = settleRequest().value(list).toArray().first().toObject();
            return json(with(settleRequest(), list, QJsonArray{first, with(first, key, value)}));
        };
        for (const QString key : {"yj", "hyj", "fsp", "st"})
            row("a product line whose " + key + " is -inf", lines("products", key, "-inf"),
                "参数" + key + "格式错误");
        row("a product line of ten million pieces", lines("products", "sc", "1e7"), "参数sc格式错误");
        row("a payment line whose amount is false", lines("pays", "pay_amount", false),
            "参数pay_amount格式错误");
        row("a payment line whose paid amount is an object", lines("pays", "zf_amount", QJsonObject{}),
            "参数zf_amount格式错误");
    }

    void refusedBeforeAnyExchange() {
        QFETCH(QByteArray, request);
        QFETCH(QString, message);
        QCOMPARE(ResultFrame::memberCall(m_till->ctl, request.constData()), failed(message));
        QCOMPARE(m_till->crm.requestCount(), 0);
        QCOMPARE(m_till->dir.logSteps(), (QStringList{"传入参数", "返回结果"}));
        QCOMPARE(m_till->dir.lastLogText("传入参数").toUtf8(), request);
        QCOMPARE(m_till->dir.lastLogText("返回结果").toUtf8(), failed(message));
    }

    void lookupKey_data() {
        columns<QJsonObject, Answers, QByteArray>({"request", "typed", "key"});
        const QJsonObject noCode = without(verifyRequest(), {"code", "cardid"});
        tableRow("the card id goes before the code", with(verifyRequest(), "cardid", "CARD9"), Answers(),
                 QByteArray("CARD9"));
        tableRow("an empty card id leaves the code", verifyRequest(), Answers(), QByteArray("13800000001"));
        tableRow("a code given as a number reads as its text", with(verifyRequest(), "code", 12345),
                 Answers(), QByteArray("12345"));
        tableRow("a request type given as a number", with(verifyRequest(), "reqtype", 50), Answers(),
                 QByteArray("13800000001"));
        tableRow("without a code the cashier keys it in", noCode, Answers{QString("张三")},
                 QByteArray("张三"));
        tableRow("without a code the card id is not read", with(noCode, "cardid", "CARD9"),
                 Answers{QString("8001")}, QByteArray("8001"));
    }

    void lookupKey() {
        QFETCH(QJsonObject, request);
        QFETCH(Answers, typed);
        QFETCH(QByteArray, key);
        cashier().codes = typed;
        m_till->script("pmb001", {oneMember()});
        QCOMPARE(m_till->vip(request), kVerified);
        QCOMPARE(m_till->bodies("pmb001"), QByteArrayList{R"({"cardno":")" + key + R"(","shop_id":"S01"})"});
        QCOMPARE(m_till->dir.logSteps(), kLookupSteps);
        QCOMPARE(m_till->dir.lastLogText("返回结果").toUtf8(), kVerified);
    }

    void cashierClosesTheCodeEntry() {
        m_till->dir.writeIni("ZoVORDA.ini", {{"Config/SigninTime", ""}}); // a sign-in would be due
        cashier().codes = {std::nullopt};
        QCOMPARE(m_till->vip(without(verifyRequest(), {"code"})), failed("CLOSE"));
        QCOMPARE(m_till->crm.requestCount(), 0);
        QCOMPARE(m_till->dir.logSteps(), (QStringList{"传入参数", "返回结果"}));
    }

    void memberPoints_data() {
        columns<QJsonArray, QByteArray>({"accounts", "keys"});
        using CrmReplies::account;
        tableRow("no point accounts", QJsonArray{}, QByteArray(R"("JfRecord":[],"score":"0","balance":"0")"));
        tableRow("two accounts add up, a third decimal kept",
                 QJsonArray{account("A1", "10", "1.5"), account("A2", 5, 0.125)},
                 QByteArray(R"("JfRecord":[{"BalanceJfTotal":"1.5","JfTotal":"10","PrjCode":"A1",)"
                            R"("PrjName":"积分A1"},{"BalanceJfTotal":"0.125","JfTotal":"5","PrjCode":"A2",)"
                            R"("PrjName":"积分A2"}],"score":"15","balance":"1.625")"));
        tableRow(
            "points with a decimal point count nothing",
            QJsonArray{account("A", "12.5", "3"), account("B", "7", "x")},
            QByteArray(R"("JfRecord":[{"BalanceJfTotal":"3","JfTotal":"0","PrjCode":"A","PrjName":"积分A"},)"
                       R"({"BalanceJfTotal":"0","JfTotal":"7","PrjCode":"B","PrjName":"积分B"}],)"
                       R"("score":"7","balance":"3")"));
        tableRow("cash in six significant digits", QJsonArray{account("A", 1, 1234567.8)},
                 QByteArray(R"("JfRecord":[{"BalanceJfTotal":"1.23457e+06","JfTotal":"1","PrjCode":"A",)"
                            R"("PrjName":"积分A"}],"score":"1","balance":"1.23457e+06")"));
        tableRow("negative values are subtracted", QJsonArray{account("A", 100, 2), account("B", -20, -0.4)},
                 QByteArray(R"("score":"80","balance":"1.6")"));
    }

    // The keys given are compared with the result's, key by key.
    void memberPoints() {
        QFETCH(QJsonArray, accounts);
        QFETCH(QByteArray, keys);
        m_till->script("pmb001", {oneMember(accounts)});
        const QJsonObject result = QJsonDocument::fromJson(m_till->vip(verifyRequest())).object();
        const QJsonObject expected = QJsonDocument::fromJson("{" + keys + "}").object();
        for (const QString& key : expected.keys())
            QCOMPARE(result.value(key), expected.value(key));
        QCOMPARE(result.value("rtncode").toString(), QStringLiteral("111111"));
    }

    void crmRefusesTheMember_data() {
        columns<QByteArray, QString>({"reply", "message"});
        const auto row = [](const QString& name, const QByteArray& reply, const QString& message) {
            QTest::newRow(qPrintable(name)) << reply << message;
        };
        row("a JSON array", "[]", "会员查询解析Vorda返回数据失败" + kRetry);
        row("no data", R"({"result_code":"1"})", "会员查询未获取到Vorda返回数据节点");
        row("no result code", R"({"data":{"memberinfo":[]}})", "会员查询时未返回result_code");
        row("a refusal with its text", CrmReplies::refused("卡已挂失"), "会员验证失败，卡已挂失" + kRetry);
        row("a refusal without text", R"({"data":{"result_code":0}})", "会员验证失败" + kRetry);
        row("nobody found", CrmReplies::members({}), "未查询到相关会员信息");
        row("no member list", CrmReplies::accepted(), "未查询到相关会员信息");
        QJsonObject noGrade = CrmReplies::member("M2", "C2", "李四", "");
        noGrade.remove("grade_name");
        row("the second member lacks a grade name",
            CrmReplies::members({CrmReplies::member("M1", "C1", "张三", ""), noGrade}),
            "会员查询时未返回grade_name");
        const QStringList keys{"member_id",  "cardno",      "grade_level",
                               "grade_name", "member_name", "actionlist"};
        for (const auto& c : missingInOrder(CrmReplies::member("M", "C", "N", ""), keys))
            row("a member without " + c.first, CrmReplies::members({c.second}), "会员查询时未返回" + c.first);
    }

    // A CRM that answers is believed: the local member table is not asked.
    void crmRefusesTheMember() {
        QFETCH(QByteArray, reply);
        QFETCH(QString, message);
        m_till->script("pmb001", {reply});
        QCOMPARE(m_till->vip(verifyRequest()), failed(message));
        QCOMPARE(m_till->dir.logSteps(), kLookupSteps);
    }

    void unreachableCrmLeavesTheLocalTable_data() {
        columns<bool, QByteArray, QString, QString>({"hang", "reply", "step", "text"});
        tableRow("time-out", true, QByteArray(), QString("在线登录会员失败"), QString("请求超时" + kRetry));
        tableRow("an answer that is no JSON", false, QByteArray("<html>portal</html>"),
                 QString("在线登录会员失败,接口返回错误"), QString(""));
    }

    // No member database is set up here: the local table's own failure is the answer.
    void unreachableCrmLeavesTheLocalTable() {
        QFETCH(bool, hang);
        QFETCH(QByteArray, reply);
        QFETCH(QString, step);
        QFETCH(QString, text);
        m_till->dir.writeIni("ZoVORDA.ini", {{"Config/TimeOut", "1"}});
        crmsim::Reply r = crmsim::Reply::json(reply);
        r.hang = hang;
        m_till->crm.enqueue("pmb001", r);
        QCOMPARE(m_till->vip(verifyRequest()), failed("本地查询会员信息失败：未设置数据库类型"));
        QCOMPARE(m_till->dir.lastLogText(step), text);
    }

    // An answer longer than the host's buffer is replaced by a short failure.
    void tooLongAnswer() {
        QJsonArray accounts;
        for (int i = 0; i < 300; ++i)
            accounts.append(CrmReplies::account(QString(100, 'a') + QString::number(i), 1, 1));
        m_till->script("pmb001", {oneMember(accounts)});
        QCOMPARE(m_till->vip(verifyRequest()), failed("返回结果过长"));
        QCOMPARE(m_till->dir.logSteps().count("返回结果"), 2);
    }

    void memberChoice_data() {
        columns<Answers, QString, QString>({"choice", "message", "memberId"});
        tableRow("the cashier chooses the second", Answers{QString("C2")}, QString(), QString("M2"));
        tableRow("the cashier closes the list", Answers{std::nullopt}, QString("CLOSE"), QString());
        tableRow("a card number that is none of them", Answers{QString("C9")}, QString("未匹配到会员"),
                 QString());
    }

    void memberChoice() {
        QFETCH(Answers, choice);
        QFETCH(QString, message);
        QFETCH(QString, memberId);
        using CrmReplies::member;
        m_till->script("pmb001", {CrmReplies::members(
                                     {member("M1", "C1", "张三", "1"),
                                      member("M2", "C2", "张三丰", "1", {CrmReplies::account("A", 8, 0.8)}),
                                      member("M3", "C3", "张四", "1")})});
        cashier().choices = choice;
        const QByteArray result = m_till->vip(verifyRequest());
        QCOMPARE(cashier().choicesOffered.size(), 1);
        QStringList offered;
        for (const MemberRec& m : cashier().choicesOffered.first())
            offered << m.cardNo + " " + m.name;
        QCOMPARE(offered, (QStringList{"C1 张三", "C2 张三丰", "C3 张四"}));
        if (!message.isNull()) {
            QCOMPARE(result, failed(message));
            return;
        }
        const QJsonObject chosen = QJsonDocument::fromJson(result).object();
        QCOMPARE(chosen.value("vipcardid").toString(), memberId);
        QCOMPARE(chosen.value("score").toString(), QStringLiteral("8"));
    }

    void password_data() {
        QTest::addColumn<PasswordCase>("c");
        const QByteArray ok = CrmReplies::accepted(), wrong = CrmReplies::refused("密码错误");
        const QString wrongText = "会员验证失败，密码错误" + kRetry, bare = "会员验证失败" + kRetry;
        const Answers none, closed{std::nullopt};
        const auto row = [](const QString& name, const QString& bizType, const QByteArrayList& replies,
                            const Answers& passwords, const QStringList& shown, const QByteArray& result) {
            QTest::newRow(qPrintable(name)) << PasswordCase{bizType, replies, passwords, shown, result};
        };
        row("business type 1 asks no password", "1", {}, none, {}, kVerified);
        row("business type 33 asks none either", "33", {}, none, {}, kVerified);
        row("business type 3, accepted at once", "3", {ok}, {QString("246810")}, {}, kVerified);
        row("business type 6, accepted at the third attempt", "6",
            {wrong, R"({"data":{"result_code":"0"}})", R"({"data":{"result_code":1}})"},
            {QString("1"), QString("2"), QString("3")}, {wrongText, bare}, kVerified);
        row("closed at once", "3", {}, closed, {}, failed("CLOSE"));
        row("closed at the second attempt", "3", {wrong}, {QString("1"), std::nullopt}, {wrongText},
            failed("CLOSE"));
        PasswordCase ten{"3", {}, {}, {}, {}};
        for (int i = 1; i <= 10; ++i) {
            ten.replies << CrmReplies::refused(QString("错误%1").arg(i));
            ten.passwords << QString::number(i);
            ten.shown << QString("会员验证失败，错误%1").arg(i) + kRetry;
        }
        row("ten wrong passwords", "3", ten.replies, ten.passwords, ten.shown, failed(ten.shown.last()));
        const QList<QPair<QByteArray, QString>> readers{{"x", "会员密码校验Vorda返回数据错误" + kRetry},
                                                        {"[]", "会员密码校验解析Vorda返回数据失败" + kRetry},
                                                        {"{}", "会员密码校验未获取到Vorda返回数据节点"},
                                                        {R"({"data":{}})", "员密码校验时未返回result_code"}};
        for (const auto& r : readers)
            row("a reply " + r.first + " shown, then closed", "3", {r.first}, {QString("1"), std::nullopt},
                {r.second}, failed("CLOSE"));
    }

    void password() {
        QFETCH(PasswordCase, c);
        m_till->script("pmb001", {oneMember()});
        m_till->script("pmb002", c.replies);
        cashier().passwords = c.passwords;
        QCOMPARE(m_till->vip(verifyRequest("13800000001", c.bizType)), c.result);
        QCOMPARE(cashier().messages, c.shown);
        QByteArrayList sent;
        QStringList help; // the card number beside every password entry
        for (const std::optional<QString>& p : qAsConst(c.passwords)) {
            help << "C1";
            if (p)
                sent << QStringLiteral(R"({"member_id":"M1","password":"%1","type":"1"})").arg(*p).toUtf8();
        }
        QCOMPARE(cashier().passwordHelp, help);
        QCOMPARE(m_till->bodies("pmb002"), sent);
        // The member's password goes to the CRM, never into the log.
        const QByteArray logged = R"({"member_id":"M1","password":"******","type":"1"})";
        QCOMPARE(m_till->dir.lastLogText("会员密码校验").toUtf8(), sent.isEmpty() ? QByteArray() : logged);
    }
};

QTEST_MAIN(TestMemberRequests)
#include "tst_MemberRequests.moc"
