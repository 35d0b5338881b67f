// The CRM road: member verification against the bare POST floor, the GUI thread
// during a slow CRM, the time-out the cashier is promised, and big orders.
#include "BarePost.h"
#include "Bench.h"
#include "CashierRobot.h"
#include "CrmSim.h"
#include "Scenario.h"
#include "api/ResultFrame.h"
#include "core/Controller.h"
#include "crm/CrmClient.h"
#include "log/PayLogger.h"
#include "log/TenderJournal.h"
#include "member/OrderSettlement.h"
#include "model/OrderRec.h"
#include "support/CrmReplies.h"
#include "support/Requests.h"
#include "support/WorkDir.h"
#include "ui/DialogCashier.h"

#include <QDateTime>
#include <QEventLoop>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTimer>
#include <QWidget>

#include <algorithm>
#include <functional>

#include <unistd.h>

namespace bench {
namespace {

QByteArray settleReply() {
    return CrmReplies::accepted({{"score", "10"}, {"score_value", "1010"}, {"couponInfo", QJsonArray{}}});
}

QUrl txUrl(const crmsim::Server& crm, const char* txcode) {
    return QUrl(crm.baseUrl() + QStringLiteral("/txCtrl?txcode=") + QLatin1String(txcode));
}

// Lets the GUI thread's event loop run for a while.
void spin(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
}

// The CRM worker thread run the way the CRM client runs it, but without the busy
// screen and the log around it.
class WorkerAlone {
public:
    WorkerAlone() { QObject::connect(&m_worker, &QThread::finished, &m_loop, &QEventLoop::quit); }
    // Wall time in milliseconds.
    double exchange(const QByteArray& body, const QString& txCode = QStringLiteral("pmb001")) {
        QElapsedTimer t;
        t.start();
        m_worker.setRequest(txCode, body);
        m_worker.start();
        m_loop.exec();
        m_worker.wait();
        return elapsedMs(t);
    }
    const CrmWorker& worker() const { return m_worker; }

private:
    CrmWorker m_worker;
    QEventLoop m_loop;
};

// Runs every road once per round, the order rotated so that no road always follows
// the same other one.
void inRotation(int rounds, crmsim::Server& crm, const QList<std::function<void()>>& roads) {
    for (int i = 0; i < rounds; ++i) {
        for (int j = 0; j < roads.size(); ++j)
            roads[(i + j) % roads.size()]();
        if (i % 50 == 49)
            crm.clearRequests();
    }
    crm.clearRequests();
}

struct VerificationSamples {
    Samples plugin, bare, worker, client, busy, bareScreen;
};

void verificationRows(Report& r, const VerificationSamples& s, int calls) {
    const double med = s.plugin.median(), floorMed = s.bare.median();
    r.add({QStringLiteral("member verification \"50\", median of %1 calls").arg(calls), duration(med),
           duration(floorMed) + QStringLiteral(" bare POST"), ratio(med, floorMed), QStringLiteral("(info)"),
           QStringLiteral("–")});
    r.add(
        {QStringLiteral("member verification, median above the floor (wait screen shown and painted first)"),
         signedDuration(med - floorMed), duration(floorMed), QStringLiteral("–"), QStringLiteral("< +0.5 ms"),
         met(med - floorMed < 0.5)});
    const auto info = [&](const QString& figure, const Samples& road) {
        r.add({figure, duration(road.median()), duration(floorMed), ratio(road.median(), floorMed),
               QStringLiteral("(info)"), QStringLiteral("–")});
    };
    info(
        QStringLiteral("member verification, where the time goes: the CRM client alone (busy screen, worker, "
                       "two log records)"),
        s.client);
    info(QStringLiteral(
             "member verification, where the time goes: the worker thread's exchange alone (no wait "
             "screen, no log)"),
         s.worker);
    r.add({QStringLiteral("member verification, where the time goes: the wait screen shown, painted and "
                          "closed vs a bare full-screen window's"),
           duration(s.busy.median()), duration(s.bareScreen.median()),
           ratio(s.busy.median(), s.bareScreen.median()), QStringLiteral("(info)"), QStringLiteral("–")});
    r.add({QStringLiteral("member verification, p95"), duration(s.plugin.percentile(95)),
           duration(s.bare.percentile(95)), ratio(s.plugin.percentile(95), s.bare.percentile(95)),
           QStringLiteral("(info)"), QStringLiteral("–")});
}

void memberVerification(const Options& o, Report& r, crmsim::Server& crm, Controller& ctl) {
    const QByteArray kResult = memberResult();
    progress(QStringLiteral("member verification round trip"));
    const QByteArray request = memberRequest();
    WrongCount wrong(r, QStringLiteral("member verification"));

    crm.clearRequests();
    const QByteArray first = ResultFrame::memberCall(ctl, request.constData());
    wrong.check(first == kResult, QString::fromUtf8(first));
    // The floor posts exactly what the plug-in posted.
    const QByteArray sent = crm.requests().value(0).body;
    BarePost floor(txUrl(crm, "pmb001"), sent);
    const QByteArray expectedReply = memberReply();

    for (int i = 0; i < 5; ++i) { // warm both roads
        ResultFrame::memberCall(ctl, request.constData());
        floor.exchange();
    }
    VerificationSamples samples;
    const int calls = o.pick(200, 20);
    const auto viaPlugin = [&] {
        QElapsedTimer t;
        t.start();
        const QByteArray result = ResultFrame::memberCall(ctl, request.constData());
        samples.plugin.add(elapsedMs(t));
        wrong.check(result == kResult, QString::fromUtf8(result));
    };
    const auto viaFloor = [&] {
        samples.bare.add(floor.exchange());
        wrong.check(floor.ok() && floor.reply() == expectedReply, QStringLiteral("bare POST failed"));
    };
    // Where the time goes: the worker alone ...
    WorkerAlone alone;
    const auto viaWorker = [&] {
        samples.worker.add(alone.exchange(sent));
        wrong.check(alone.worker().succeeded() && alone.worker().reply().toUtf8() == expectedReply,
                    alone.worker().error());
    };
    // ... and the CRM client itself: the worker with the busy screen and its log records.
    DialogCashier cashier;
    const PayLogger log(QStringLiteral("ZoVORDA动态库"));
    CrmClient client(cashier, log);
    const QJsonObject body = QJsonDocument::fromJson(sent).object();
    const auto viaClient = [&] {
        QElapsedTimer t;
        t.start();
        const CrmReply reply = client.call(QStringLiteral("pmb001"), QStringLiteral("会员验证"), body,
                                           CrmReplyTexts::of(CrmReplyTexts::Of::MemberQuery));
        samples.client.add(elapsedMs(t));
        wrong.check(reply.accepted(), reply.error());
    };
    // ... and the wait screen, against the least a full-screen window costs: shown,
    // painted at once, closed.
    const auto viaBusy = [&] {
        QElapsedTimer t;
        t.start();
        cashier.showBusy(QStringLiteral("请稍等，处理中..."));
        cashier.hideBusy();
        samples.busy.add(elapsedMs(t));
    };
    QWidget bareScreen;
    const auto viaBareScreen = [&] {
        QElapsedTimer t;
        t.start();
        bareScreen.showFullScreen();
        bareScreen.repaint();
        bareScreen.close();
        samples.bareScreen.add(elapsedMs(t));
    };
    inRotation(calls, crm, {viaPlugin, viaFloor, viaWorker, viaClient, viaBusy, viaBareScreen});
    verificationRows(r, samples, calls);
}

// Records when a 5 ms timer on the GUI thread really fires.
class Ticker {
public:
    Ticker() {
        m_timer.setTimerType(Qt::PreciseTimer);
        QObject::connect(&m_timer, &QTimer::timeout, [this] { m_ticks.append(m_clock.nsecsElapsed()); });
    }
    void start() {
        m_ticks.clear();
        m_clock.start();
        m_timer.start(kPeriodMs);
    }
    void stop() { m_timer.stop(); }
    // The largest gap between two firings beyond the period.
    double maxLatenessMs() const {
        qint64 gap = m_ticks.isEmpty() ? m_clock.nsecsElapsed() : m_ticks.first();
        for (int i = 1; i < m_ticks.size(); ++i)
            gap = std::max(gap, m_ticks.at(i) - m_ticks.at(i - 1));
        return std::max(0.0, static_cast<double>(gap) / 1e6 - kPeriodMs);
    }
    int ticks() const { return m_ticks.size(); }

    static constexpr int kPeriodMs = 5;

private:
    QTimer m_timer;
    QElapsedTimer m_clock;
    QVector<qint64> m_ticks;
};

void guiLiveness(const Options& o, Report& r, crmsim::Server& crm, Controller& ctl) {
    const QByteArray kResult = memberResult();
    const int delay = o.pick(2000, 500);
    progress(QStringLiteral("GUI liveness during a %1 ms CRM reply").arg(delay));
    const QByteArray request = memberRequest();
    WrongCount wrong(r, QStringLiteral("slow member verification"));

    Ticker ticker;
    // Baseline: the same timer on an idle GUI thread for as long.
    ticker.start();
    spin(delay + 100);
    ticker.stop();
    const double idle = ticker.maxLatenessMs();

    crmsim::Reply slow = crmsim::Reply::json(memberReply());
    slow.delayMs = delay;
    crm.enqueue("pmb001", slow);
    ticker.start();
    spin(50);
    QElapsedTimer call;
    call.start();
    const QByteArray result = ResultFrame::memberCall(ctl, request.constData());
    const double callMs = elapsedMs(call);
    spin(50);
    ticker.stop();
    wrong.check(result == kResult, QString::fromUtf8(result));
    wrong.check(callMs >= delay, QStringLiteral("the slow reply came back after %1").arg(duration(callMs)));
    crm.clearRequests();

    const double busy = ticker.maxLatenessMs();
    r.add({QStringLiteral("GUI thread: largest lateness of a 5 ms timer during a %1 CRM reply")
               .arg(duration(delay)),
           duration(busy), duration(idle) + QStringLiteral(" idle"), ratio(busy, idle),
           QStringLiteral("< 16 ms"), met(busy < 16.0)});
}

QJsonObject orderRequest() {
    return QJsonObject{
        {"reqtype", "63"},
        {"store_id", "0101"},
        {"station_id", "01"},
        {"operator_id", "8001"},
        {"business_date", "2026-12-06"},
        {"pos_saleno", "S0001"},
        {"pos_billno", "B0001"},
        {"pos_salebgntime", "2026-12-06 10:00:00"},
        {"code", "C0001"},
        {"vipcardid", "6000000000000001"},
        {"sale_type", "sale"},
        {"amount", 120},
        {"biztype", "1"},
        {"plucounttotal", "2"},
        {"shouldtotal", "120"},
        {"actualtotal", "120"},
        {"products", QJsonArray{Requests::productLine("1001", 60, 2)}},
        {"pays",
         QJsonArray{QJsonObject{
             {"code", "01"}, {"extranno", ""}, {"payno", "P1"}, {"pay_amount", 120}, {"zf_amount", 120}}}}};
}

void honestTimeout(const Options& o, Report& r, WorkDir& dir, Controller& ctl) {
    progress(QStringLiteral("time-out of 1 s against a hanging CRM"));
    // A server of its own: a hanging reply holds its connection until the server stops.
    crmsim::Server hanging;
    if (!hanging.start()) {
        r.wrong(QStringLiteral("time-out: the simulator did not start"));
        return;
    }
    const QVariant address = dir.readIni(QStringLiteral("ZoVORDA.ini"), QStringLiteral("Config/HttpAddress"));
    dir.writeIni(QStringLiteral("ZoVORDA.ini"), {{QStringLiteral("Config/HttpAddress"), hanging.baseUrl()},
                                                 {QStringLiteral("Config/TimeOut"), 1}});
    crmsim::Reply never;
    never.hang = true;
    const QByteArray request = Requests::json(orderRequest());
    const QByteArray expected = R"({"rtncode":"000000","rtnmsg":"请求超时，请再次尝试或联系管理员处理"})";
    WrongCount wrong(r, QStringLiteral("time-out"));

    Samples calls, timers;
    const int rounds = o.pick(3, 1);
    for (int i = 0; i < rounds; ++i) {
        hanging.enqueue("pmb021", never);
        QElapsedTimer clock;
        double timerMs = 0.0;
        QObject scope; // ends the baseline timer with this round, fired or not
        clock.start();
        // Baseline: a bare 1 s timer on the GUI thread, started with the call.
        QTimer::singleShot(1000, Qt::PreciseTimer, &scope, [&] { timerMs = elapsedMs(clock); });
        const QByteArray result = ResultFrame::memberCall(ctl, request.constData());
        calls.add(elapsedMs(clock));
        spin(static_cast<int>(std::max(0.0, 1100 - elapsedMs(clock)))); // the baseline timer may still be due
        timers.add(timerMs);
        wrong.check(result == expected, QString::fromUtf8(result));
    }
    dir.writeIni(QStringLiteral("ZoVORDA.ini"),
                 {{QStringLiteral("Config/HttpAddress"), address}, {QStringLiteral("Config/TimeOut"), 5}});

    const double worst = calls.max();
    const double earliest = calls.percentile(0);
    r.add({QStringLiteral("time-out 1 s, hanging CRM: call returns after (worst of %1)").arg(rounds),
           duration(worst), duration(timers.median()) + QStringLiteral(" 1 s timer"),
           ratio(worst, timers.median()), QStringLiteral("1.0–1.1 s"),
           met(earliest >= 1000.0 && worst <= 1100.0)});
}

// An order of this many lines, two pieces of 11.80 each.
OrderRec order(int lines) {
    OrderRec o;
    o.storeId = "0101", o.stationId = "01", o.operatorId = "8001", o.businessDate = "2026-12-06";
    o.posSaleNo = "S0001", o.posBillNo = "B0001", o.saleBeginTime = "2026-12-06 10:00:00";
    o.cardNo = "C0001", o.memberId = "6000000000000001", o.saleType = "sale", o.bizType = "1";
    o.pieceTotal = 2.0 * lines;
    o.shouldTotal = o.actualTotal = 23.6 * lines;
    o.pays = {PayLineRec{"01", QString(), "P1", "T1", o.shouldTotal, 2360 * Cents(lines)}};
    o.goods.reserve(lines);
    for (int i = 0; i < lines; ++i) {
        const QString id = QString::number(100000 + i);
        o.goods.append(GoodsLine{id, "6901234" + id, "商品" + id, 1250, 1180, 1180, 2360, 2.0, 2});
    }
    return o;
}

// The body written to a plain file by a bare open, write, close: appended as a log record
// is, or written anew and waited for until it is on the disk, the least a journal can cost.
double plainWrite(QFile& file, const QByteArray& body, bool synced) {
    QElapsedTimer t;
    t.start();
    file.open(synced ? QIODevice::WriteOnly | QIODevice::Truncate : QIODevice::WriteOnly | QIODevice::Append);
    file.write(body);
    if (synced) {
        file.flush();
        ::fsync(file.handle());
    }
    file.close();
    return elapsedMs(t);
}

// The medians of one order size: the settlement, and the pieces its time is compared with.
struct SizeMedians {
    double plugin, bare, worker, journal, synced, log, appended;
};

void bigOrders(const Options& o, Report& r, crmsim::Server& crm) {
    DialogCashier cashier;
    const PayLogger log(QStringLiteral("ZoVORDA动态库"));
    CrmClient client(cashier, log);
    OrderSettlement settlement(client);
    // Three sizes, so that the cost of a line can be compared at both ends.
    const QVector<int> sizes = o.quick ? QVector<int>{10, 500, 1000} : QVector<int>{10, 1000, 10000};
    QVector<SizeMedians> medians;
    QFile bareLog(log.logDir() + QStringLiteral("/bare.txt"));
    WrongCount wrong(r, QStringLiteral("order settlement"));
    for (int lines : sizes) {
        progress(QStringLiteral("order settlement with %1 product lines").arg(lines));
        const OrderRec big = order(lines);
        SettlementRec settled;
        crm.clearRequests();
        const Outcome first = settlement.settle(QStringLiteral("S01"), big, settled);
        wrong.check(first.isDone(), first.hostText());
        const QByteArray body = crm.requests().value(0).body;
        crm.clearRequests();
        wrong.check(QJsonDocument::fromJson(body).object().value("detail_list").toArray().size() == lines,
                    QStringLiteral("the body did not carry %1 lines").arg(lines));
        BarePost floor(txUrl(crm, "pmb021"), body);
        floor.exchange();

        Samples plugin, bare, workerOnly, journalled, synced, logged, appended;
        WorkerAlone alone;
        // The tender journal's share: the same body recorded and completed on its own, two
        // synchronous commits to LOG/journal.db as the settlement makes them.
        // In a folder of its own: sharing the till's file, its pages would be copied by
        // the till's checkpoints and counted in the settlement.
        TenderJournal journal(log.logDir() + QStringLiteral("/alone"));
        TenderJournal::Entry entry(QStringLiteral("pmb021"), big.posBillNo, big.memberId,
                                   QStringLiteral("1"));
        entry.request = body;
        const int reps = lines >= 10000 ? 7 : lines >= 1000 ? o.pick(15, 7) : o.pick(30, 15);
        for (int i = 0; i < reps; ++i) {
            settled = SettlementRec();
            QElapsedTimer t;
            t.start();
            const Outcome done = settlement.settle(QStringLiteral("S01"), big, settled);
            plugin.add(elapsedMs(t));
            wrong.check(done.isDone() && settled.points == QLatin1String("10") &&
                            settled.pointsTotal == QLatin1String("1010"),
                        done.hostText());
            bare.add(floor.exchange());
            wrong.check(floor.ok(), QStringLiteral("bare POST failed"));
            workerOnly.add(alone.exchange(body, QStringLiteral("pmb021")));
            wrong.check(alone.worker().succeeded(), alone.worker().error());
            crm.clearRequests();
            t.restart();
            entry.at = QDateTime::currentDateTime();
            const qint64 row = journal.begin(entry);
            wrong.check(row != 0 && journal.end(row, TenderJournal::Outcome::Accepted, QString()),
                        journal.error());
            journalled.add(elapsedMs(t));
            journal.checkpointWhenDue(); // as the client does while it waits for the CRM
            t.restart();
            log.write(QStringLiteral("订单结算"), body);
            logged.add(elapsedMs(t));
            appended.add(plainWrite(bareLog, body, false));
            synced.add(plainWrite(bareLog, body, true));
        }
        medians.append({plugin.median(), bare.median(), workerOnly.median(), journalled.median(),
                        synced.median(), logged.median(), appended.median()});
        const bool largest = lines == 10000;
        r.add({QStringLiteral("order settlement \"pmb021\", %1 product lines (body, exchange, reply), median")
                   .arg(lines),
               duration(plugin.median()), duration(bare.median()) + QStringLiteral(" bare POST"),
               ratio(plugin.median(), bare.median()),
               largest ? QStringLiteral("≤ 3×") : QStringLiteral("(info)"),
               largest ? met(plugin.median() <= 3.0 * bare.median()) : QStringLiteral("–")});
        const double rest = plugin.median() - journalled.median();
        r.add({QStringLiteral("order settlement, %1 lines, where the time goes: less the tender journal's "
                              "two synchronous commits (%2 on their own)")
                   .arg(lines)
                   .arg(duration(journalled.median())),
               duration(rest), duration(bare.median()) + QStringLiteral(" bare POST"),
               ratio(rest, bare.median()), QStringLiteral("(info)"), QStringLiteral("–")});
    }
    // A line costs the same in a big order as in a small one: the marginal cost of a
    // line between the two larger sizes against that between the two smaller ones.
    const auto perLine = [&](double SizeMedians::*road, int from = 1, int to = 2) {
        return (medians[to].*road - medians[from].*road) / (sizes[to] - sizes[from]) * 1000.0;
    };
    const auto us = [](double value) { return QString::number(value, 'f', 2) + QStringLiteral(" µs"); };
    const double upper = perLine(&SizeMedians::plugin);
    const double lower = perLine(&SizeMedians::plugin, 0, 1);
    r.add({QStringLiteral("order settlement, cost of a line %1→%2 vs %3→%4 lines")
               .arg(sizes[1])
               .arg(sizes[2])
               .arg(sizes[0])
               .arg(sizes[1]),
           us(upper) + QStringLiteral("/line"), us(lower) + QStringLiteral("/line"), ratio(upper, lower),
           QStringLiteral("≤ 2 µs/line"), met(upper <= 2.0)});
    const double rest =
        upper - perLine(&SizeMedians::bare) - perLine(&SizeMedians::journal) - perLine(&SizeMedians::log);
    r.add({QStringLiteral("order settlement, cost of a line %1→%2, where the time goes: the bare POST's own "
                          "%3 (the worker's exchange alone: %4), the journal's %5 (the same bytes written "
                          "and synced to the disk: %6), the body's log record %7 (appended bare: %8); "
                          "the rest")
               .arg(sizes[1])
               .arg(sizes[2])
               .arg(us(perLine(&SizeMedians::bare)), us(perLine(&SizeMedians::worker)),
                    us(perLine(&SizeMedians::journal)), us(perLine(&SizeMedians::synced)),
                    us(perLine(&SizeMedians::log)), us(perLine(&SizeMedians::appended))),
           us(rest) + QStringLiteral("/line"), us(upper) + QStringLiteral("/line"), ratio(rest, upper),
           QStringLiteral("(info)"), QStringLiteral("–")});
}

} // namespace

void crmExchanges(const Options& o, Report& r) {
    crmsim::Server crm;
    if (!crm.start()) {
        r.wrong(QStringLiteral("the CRM simulator did not start"));
        return;
    }
    crm.setFallback([member = memberReply(), settle = settleReply()](const crmsim::Request& req) {
        if (req.txcode == "pmb001")
            return crmsim::Reply::json(member);
        if (req.txcode == "pmb021")
            return crmsim::Reply::json(settle);
        return crmsim::Reply::json(
            CrmReplies::refused(QStringLiteral("unexpected ") + QString::fromUtf8(req.txcode)));
    });
    WorkDir dir;
    dir.configureTill(crm.baseUrl(), 5);
    CashierRobot guard; // none of these calls may open a dialog
    {
        Controller ctl(std::make_unique<DialogCashier>());
        memberVerification(o, r, crm, ctl);
        guiLiveness(o, r, crm, ctl);
        honestTimeout(o, r, dir, ctl);
        bigOrders(o, r, crm);
    }
    if (!guard.allDone())
        r.wrong(QStringLiteral("a dialog opened: ") + guard.failures());
}

} // namespace bench
