// The tender journal: every request that moves money or points is recorded before it goes
// out and completed with what came of it; the CRM sees each request once at most, also
// when it hangs up after applying one; a journal that cannot be written changes nothing
// of the sale.
#include "Business.h"
#include "log/TenderJournal.h"
#include "support/Columns.h"
#include "support/CrmReplies.h"
#include "support/TillFixture.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QtTest>

using crmsim::Reply;
using namespace Requests;

namespace {

enum class Call { PointsSale, PointsRefund, CouponSale, Settlement };

const QString kNetwork = "网络错误，请再次尝试或联系管理员处理。错误代码: ";
const QString kClosed = kNetwork + "2 Connection closed";

Reply hanging() {
    Reply r;
    r.hang = true;
    return r;
}

// A points refund of the sale B0.
QJsonObject refund(const QJsonObject& head) {
    return with(with(with(head, "txn_type", "REFUND"), "oribill_no", "B0"), "orisale_no", "S0");
}

} // namespace

Q_DECLARE_METATYPE(Call)
Q_DECLARE_METATYPE(crmsim::Reply)

class TestTenderJournal : public ScriptedTillSuite {
    Q_OBJECT
    crmsim::Business m_business;

    static QByteArray txcode(Call c) {
        return c == Call::Settlement ? "pmb021" : c == Call::CouponSale ? "pmb023" : "pmb020";
    }
    // What a scripted CRM answers before the money request: the member and his password,
    // or the coupon's lookup and check.
    void scriptPrelude(Call c) {
        if (c == Call::PointsSale) {
            m_till->script("pmb001",
                           {CrmReplies::members({CrmReplies::member("M1002", "C9", "李四", "139")})});
            m_till->script("pmb002", {CrmReplies::accepted()});
        } else if (c == Call::CouponSale) {
            m_till->script("pmb010",
                           {CrmReplies::accepted({{"couponInfo", QJsonObject{{"ticket_name", "券"}}}})});
            const QJsonObject usable{{"coupon_no", "Q1"}, {"useflag", "1"}, {"pay_value", 5}};
            m_till->script("pmb011", {CrmReplies::accepted({{"coupon_list", QJsonArray{usable}}})});
        }
    }
    // The host's call (member M1002 pays, member M1001 settles), answering the host's message.
    QString call(Call c) {
        const QJsonObject head = with(tenderHead(c == Call::CouponSale ? "Q" : "J"), "vip_cardid", "M1002");
        QByteArray answer;
        if (c == Call::PointsSale) {
            cashier().passwords = {QString("123456")};
            cashier().amounts = {QString("12.5")};
            answer = m_till->card(with(head, "tr_amt", 20));
        } else if (c == Call::PointsRefund) {
            answer = m_till->card(refund(head));
        } else if (c == Call::CouponSale) {
            cashier().couponRuns = {[](CouponDesk& desk) { return !desk.addCoupon("Q1").isEmpty(); }};
            answer = m_till->card(head);
        } else {
            answer = m_till->vip(with(settleRequest(), "vipcardid", "M1001"));
        }
        const QJsonObject o = QJsonDocument::fromJson(answer).object();
        return o.value(o.contains("rtnmsg") ? "rtnmsg" : "RtnMsg").toString();
    }
    // Today's journal, each row as transaction, order, member, amount, outcome and detail.
    QList<QStringList> journal(QList<TenderJournal::Entry>* entries = nullptr) {
        QList<TenderJournal::Entry> rows;
        QString error;
        if (!TenderJournal::read(TenderJournal::fileIn(m_till->dir.filePath("LOG")), QDate::currentDate(),
                                 rows, error))
            return {{error}};
        QList<QStringList> out;
        for (const TenderJournal::Entry& e : rows)
            out.append(
                {e.txCode, e.orderId, e.memberId, e.amount, TenderJournal::outcomeName(e.outcome), e.detail});
        if (entries)
            *entries = rows;
        return out;
    }

    // How SQLite keeps the bodies: as text, so that any SQLite tool shows and searches them.
    QStringList bodyTypes() {
        QStringList types;
        {
            QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "body-types");
            db.setDatabaseName(TenderJournal::fileIn(m_till->dir.filePath("LOG")));
            db.open();
            QSqlQuery q("SELECT typeof(body) FROM tender_request", db);
            while (q.next())
                types.append(q.value(0).toString());
        }
        QSqlDatabase::removeDatabase("body-types");
        return types;
    }

private slots:
    void init() { startTill(); }
    void cleanup() { endTill(); }

    void outcomes_data() {
        columns<Call, Reply, QString, QStringList>({"call", "reply", "message", "row"});
        const QString refund = "0 原订单无积分支付记录", frozen = "订单结算失败，积分账户冻结";
        const QString notJson = "订单结算解析Vorda返回数据错误，请再次尝试或联系管理员处理";
        const QString timedOut = "请求超时，请再次尝试或联系管理员处理";
        const auto row = [](const char* txcode, const char* order, const char* member, const char* amount,
                            const char* outcome, const QString& detail) {
            return QStringList{txcode, order, member, amount, outcome, detail};
        };
        tableRow("a points sale accepted", Call::PointsSale, Reply::json(CrmReplies::accepted()),
                 QString("交易成功"), row("pmb020", "B0001", "M1002", "12.50", "accepted", ""));
        tableRow("a points refund refused", Call::PointsRefund,
                 Reply::json(CrmReplies::refused("原订单无积分支付记录")), refund,
                 row("pmb020", "B0001", "M1002", "10.00", "refused", refund));
        const QJsonObject writtenOff{{"coupon_no", "Q1"}, {"payflow", "WO1"}};
        tableRow("a coupon write-off accepted", Call::CouponSale,
                 Reply::json(CrmReplies::accepted({{"coupon_list", QJsonArray{writtenOff}}})),
                 QString("交易成功"), row("pmb023", "B0001", "M1002", "5", "accepted", ""));
        tableRow("a settlement refused", Call::Settlement, Reply::json(CrmReplies::refused("积分账户冻结")),
                 frozen, row("pmb021", "B1", "M1001", "88.5", "refused", frozen));
        // A reply nobody can read a decision from leaves the outcome open.
        tableRow("a settlement answered with a page", Call::Settlement, Reply::json("<html>忙</html>"),
                 notJson, row("pmb021", "B1", "M1001", "88.5", "unknown", notJson));
        tableRow("a settlement answered without a result code", Call::Settlement,
                 Reply::json(R"({"data":{}})"), QString("订单结算时未返回result_code"),
                 row("pmb021", "B1", "M1001", "88.5", "unknown", "订单结算时未返回result_code"));
        tableRow("a points sale timed out", Call::PointsSale, hanging(), timedOut,
                 row("pmb020", "B0001", "M1002", "12.50", "unknown", timedOut));
        // An empty reply stands for a CRM that is down: nothing can have reached it.
        tableRow("a points refund with the CRM down", Call::PointsRefund, Reply(),
                 kNetwork + "1 Connection refused",
                 row("pmb020", "B0001", "M1002", "10.00", "not sent", kNetwork + "1 Connection refused"));
    }
    // Each money request once in the journal, with its exact fields and the body the CRM saw.
    void outcomes() {
        QFETCH(Call, call);
        QFETCH(Reply, reply);
        QFETCH(QString, message);
        QFETCH(QStringList, row);
        scriptPrelude(call);
        const bool down = reply.body.isEmpty() && !reply.hang;
        if (reply.hang)
            m_till->dir.writeIni("ZoVORDA.ini", {{"Config/TimeOut", "1"}});
        if (down)
            m_till->crm.stop();
        m_till->crm.enqueue(txcode(call), reply);
        const QDateTime before = QDateTime::currentDateTime();

        QCOMPARE(this->call(call), message);
        QList<TenderJournal::Entry> entries;
        QCOMPARE(journal(&entries), QList<QStringList>{row});
        QVERIFY(entries[0].at >= before && entries[0].at <= QDateTime::currentDateTime());
        const QByteArrayList sent = m_till->bodies(txcode(call));
        QCOMPARE(sent.size(), down ? 0 : 1);
        QCOMPARE(entries[0].request,
                 down ? QByteArray(R"({"member_id":"M1002","order_id":"B0001","score_cash":"10.00",)"
                                   R"("shop_id":"S01","sorder_id":"B0","type":"-1"})")
                      : sent.value(0));
        QCOMPARE(bodyTypes(), QStringList{"text"});
    }

    // The CRM applies the request, then goes away without a word: the till says how the one
    // exchange ended, never posts it again, and the journal leaves the outcome open.
    void aCrmHangingUpAfterApplyingLeavesTheOutcomeUnknown_data() {
        columns<Call, QStringList>({"call", "row"});
        tableRow("a points payment", Call::PointsSale,
                 QStringList{"pmb020", "B0001", "M1002", "12.50", "unknown", kClosed});
        tableRow("a settlement", Call::Settlement,
                 QStringList{"pmb021", "B1", "M1001", "88.5", "unknown", kClosed});
    }
    void aCrmHangingUpAfterApplyingLeavesTheOutcomeUnknown() {
        QFETCH(Call, call);
        QFETCH(QStringList, row);
        QString error;
        QVERIFY2(m_business.open(":memory:", &error), qPrintable(error));
        m_till->crm.setFallback([this](const crmsim::Request& r) { return m_business.handle(r); });
        m_till->dir.writeIni("ZoVORDA.ini", {{"Config/password", "pw0101"}});
        cashier().signins = {true};
        QCOMPARE(m_till->vip({{"reqtype", "78"}, {"store_id", "0101"}}),
                 QByteArray(R"({"rtncode":"111111","rtnmsg":"成功"})"));
        m_business.setFault(txcode(call), crmsim::Business::Fault::Drop);

        QCOMPARE(this->call(call), kClosed);
        QCOMPARE(m_till->bodies(txcode(call)).size(), 1);
        QCOMPARE(journal(), QList<QStringList>{row});
        m_till->crm.setFallback({});
    }

    // What the journal file itself holds (not its WAL file) while the till is running: a
    // large order's body is copied into it during the order's own exchange, small ones wait
    // until about a megabyte has gathered, so that no sale waits on a copy.
    void largeBodiesReachTheJournalFileDuringTheExchange_data() {
        columns<int, bool>({"lines", "inTheFile"});
        tableRow("three lines", 3, false);
        tableRow("6000 lines, 1.1 MB", 6000, true);
    }
    void largeBodiesReachTheJournalFileDuringTheExchange() {
        QFETCH(int, lines);
        QFETCH(bool, inTheFile);
        QJsonArray products;
        for (int i = 0; i < lines; ++i)
            products.append(productLine(QString::number(100000 + i), 11.8, 2));
        m_till->script("pmb021", {CrmReplies::accepted({{"score", 12}, {"score_value", "112"}})});
        const QByteArray answer =
            m_till->vip(with(with(settleRequest(), "vipcardid", "M1001"), "products", products));
        QCOMPARE(QJsonDocument::fromJson(answer).object().value("rtnmsg").toString(), QString("成功"));

        const QByteArray sent = m_till->bodies("pmb021").value(0);
        QCOMPARE(sent.count("\"goods_id\""), lines);
        QFile file(TenderJournal::fileIn(m_till->dir.filePath("LOG")));
        QVERIFY(file.open(QIODevice::ReadOnly));
        // SQLite spreads a body over pages of 4 KB, so a line cut at a page's end is not
        // found whole: nine in ten are.
        const int found = file.readAll().count("\"goods_id\":\"");
        QVERIFY2(inTheFile ? found >= lines * 9 / 10 : found == 0, QByteArray::number(found));
        QList<TenderJournal::Entry> entries;
        QCOMPARE(journal(&entries), (QList<QStringList>{{"pmb021", "B1", "M1001", "88.5", "accepted", ""}}));
        QCOMPARE(entries[0].request, sent);
    }

    // The journal's file is in the way: the sale goes on as always, and the daily log says so once.
    void aJournalThatCannotBeWrittenChangesNothing() {
        QVERIFY(QDir(m_till->dir.path()).mkpath("LOG/journal.db"));
        m_till->script("pmb020", {CrmReplies::accepted()});
        QCOMPARE(m_till->card(refund(tenderHead())), cardResult("111111", "交易成功", "-10"));
        QCOMPARE(m_till->dir.logSteps(),
                 (QStringList{"传入参数TranHead", "传入参数TranPlu", "传入参数UdpIn1", "交易流水写入失败",
                              "积分支付报文", "调用成功", "返回结果"}));
        QVERIFY(
            m_till->dir.lastLogText("交易流水写入失败").startsWith(m_till->dir.filePath("LOG/journal.db: ")));
    }
};

QTEST_MAIN(TestTenderJournal)
#include "tst_TenderJournal.moc"
