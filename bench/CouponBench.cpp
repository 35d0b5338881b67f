// A coupon tender with many coupons: each add queries the new coupon, checks the
// whole set with the CRM and refills the coupon table.
#include "BarePost.h"
#include "Bench.h"
#include "CashierRobot.h"
#include "CrmSim.h"
#include "crm/CrmClient.h"
#include "log/PayLogger.h"
#include "model/CallState.h"
#include "support/CrmReplies.h"
#include "support/Requests.h"
#include "support/WorkDir.h"
#include "tender/CouponCheck.h"
#include "tender/CouponSession.h"
#include "ui/CouponWidget.h"
#include "ui/DialogCashier.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStandardItemModel>
#include <QTableView>

namespace bench {
namespace {

// Every coupon of the request is usable for 5.
crmsim::Reply checkReply(const crmsim::Request& req) {
    QJsonArray list;
    const QJsonArray asked = QJsonDocument::fromJson(req.body).object().value("coupon_list").toArray();
    for (const QJsonValue& c : asked)
        list.append(
            QJsonObject{{"coupon_no", c.toObject().value("coupon_no")}, {"useflag", "1"}, {"pay_value", 5}});
    return crmsim::Reply::json(CrmReplies::accepted({{"coupon_list", list}}));
}

QString couponNo(int n) {
    return QStringLiteral("Q%1").arg(n, 8, 10, QLatin1Char('0'));
}

constexpr int kRounds = 3;
constexpr int kEdge = 5; // the first and the last five adds of a round are compared

// A coupon sale of member 6000000000000001 with three product lines.
CallState saleState() {
    CallState state;
    state.reset(QStringLiteral("S01"));
    state.tender.payType = PayType::Coupons;
    state.tender.memberId = QStringLiteral("6000000000000001");
    state.tender.orderAmount = 500000;
    for (int i = 0; i < 3; ++i)
        state.tender.goods.append(GoodsLine{QString::number(1001 + i),
                                            QStringLiteral("69") + QString::number(1001 + i),
                                            QStringLiteral("商品"), 6000, 6000, 6000, 12000, 2.0, 2});
    return state;
}

// The coupon dialog's road for each coupon entered: the session asks the CRM, the
// dialog refills its table with the answer.
struct CouponDialogRoad {
    DialogCashier cashier;
    const PayLogger log{QStringLiteral("ZoVORDA动态库")};
    CrmClient client{cashier, log};
    CouponCheck check{client};
    CallState state = saleState();
    CouponSession session{state, check, cashier, log};
    CouponWidget widget;
    QTableView* table = widget.findChild<QTableView*>();
};

struct AddSamples {
    Samples firstAdds, lastAdds, bareFirst, bareLast;
};

// Adds this many coupons, kRounds times; the first and last kEdge adds of each round
// are timed, each against the same two bodies posted bare right after it.
AddSamples timeAdds(int coupons, crmsim::Server& crm, CouponDialogRoad& road, WrongCount& wrong) {
    AddSamples s;
    BarePost query(QUrl(crm.baseUrl() + QStringLiteral("/txCtrl?txcode=pmb010")), QByteArray());
    BarePost check(QUrl(crm.baseUrl() + QStringLiteral("/txCtrl?txcode=pmb011")), QByteArray());
    for (int round = 0; round < kRounds; ++round) {
        road.state.coupons.clear();
        road.widget.clearTable();
        for (int n = 1; n <= coupons; ++n) {
            crm.clearRequests();
            QElapsedTimer t;
            t.start();
            road.widget.setCoupons(road.session.addCoupon(couponNo(n)));
            const double ms = elapsedMs(t);
            const QList<crmsim::Request> requests = crm.requests();
            const QList<CouponRec>& added = road.state.coupons;
            if (added.size() != n || added.last().use != CouponUse::Usable ||
                added.first().use != CouponUse::Usable || road.table->model()->rowCount() != n ||
                requests.size() != 2) {
                wrong.fail(QStringLiteral("after adding %1: %2 coupons, %3 rows, %4 requests")
                               .arg(couponNo(n))
                               .arg(added.size())
                               .arg(road.table->model()->rowCount())
                               .arg(requests.size()));
                continue;
            }
            const bool firstEdge = n <= kEdge, lastEdge = n > coupons - kEdge;
            if (!firstEdge && !lastEdge)
                continue;
            query.setBody(requests[0].body);
            check.setBody(requests[1].body);
            const double bare = query.exchange() + check.exchange();
            wrong.check(query.ok() && check.ok(), QStringLiteral("bare POST failed"));
            (firstEdge ? s.firstAdds : s.lastAdds).add(ms);
            (firstEdge ? s.bareFirst : s.bareLast).add(bare);
        }
    }
    crm.clearRequests();
    return s;
}

// Refilling the table with 200 coupons where every row changes (a refused check marks
// the whole set; the next good check clears it again), against a bare model of the same
// cells built anew.
void timeRefill(CouponWidget& widget, Samples& refill, Samples& bareRefill) {
    QList<CouponRec> many, refused;
    for (int n = 1; n <= 200; ++n) {
        many.append(CouponRec{couponNo(n), QStringLiteral("满100减5"), 5.0, CouponUse::Usable, QString()});
        refused.append(
            CouponRec{couponNo(n), QStringLiteral("满100减5"), 0.0, CouponUse::SetRefused, QString()});
    }
    QStandardItemModel model(0, 5);
    QTableView view;
    view.setModel(&model);
    for (int i = 0; i < 25; ++i) {
        QElapsedTimer t;
        t.start();
        widget.setCoupons(i % 2 ? many : refused);
        refill.add(elapsedMs(t));

        t.restart();
        model.removeRows(0, model.rowCount());
        for (int row = 0; row < many.size(); ++row) {
            const CouponRec& c = many.at(row);
            model.setItem(row, 0, new QStandardItem(QString::number(row + 1)));
            model.setItem(row, 1, new QStandardItem(c.couponNo));
            model.setItem(row, 2, new QStandardItem(c.ticketName));
            model.setItem(row, 3, new QStandardItem(QString::number(c.amount, 'f', 2)));
            model.setItem(row, 4, new QStandardItem(QStringLiteral("1")));
        }
        bareRefill.add(elapsedMs(t));
    }
}

void couponRows(Report& r, const AddSamples& s, int coupons, const Samples& refill,
                const Samples& bareRefill) {
    const QString lastRange = QStringLiteral("#%1–%2").arg(coupons - kEdge + 1).arg(coupons);
    r.add({QStringLiteral("coupon add %1 vs #1–5 (query, check of the set, table), median of %2")
               .arg(lastRange)
               .arg(kRounds * kEdge),
           duration(s.lastAdds.median()), duration(s.firstAdds.median()),
           ratio(s.lastAdds.median(), s.firstAdds.median()), QStringLiteral("≤ 1.5×"),
           met(s.lastAdds.median() <= 1.5 * s.firstAdds.median())});
    r.add({QStringLiteral("coupon add #1–5 vs two bare POSTs of the same bodies"),
           duration(s.firstAdds.median()), duration(s.bareFirst.median()),
           ratio(s.firstAdds.median(), s.bareFirst.median()), QStringLiteral("(info)"), QStringLiteral("–")});
    r.add({QStringLiteral("coupon add %1 vs two bare POSTs of the same bodies").arg(lastRange),
           duration(s.lastAdds.median()), duration(s.bareLast.median()),
           ratio(s.lastAdds.median(), s.bareLast.median()), QStringLiteral("(info)"), QStringLiteral("–")});
    r.add({QStringLiteral("coupon table refill with 200 rows, every row changed (setCoupons), median of 25"),
           duration(refill.median()), duration(bareRefill.median()) + QStringLiteral(" bare model"),
           ratio(refill.median(), bareRefill.median()), QStringLiteral("< 16 ms"),
           met(refill.median() < 16.0)});
}

} // namespace

void manyCoupons(const Options& o, Report& r) {
    progress(QStringLiteral("many coupons"));
    crmsim::Server crm;
    if (!crm.start()) {
        r.wrong(QStringLiteral("the CRM simulator did not start"));
        return;
    }
    const QByteArray found = CrmReplies::accepted({{"couponInfo", QJsonObject{{"ticket_name", "满100减5"}}}});
    crm.setFallback([found](const crmsim::Request& req) {
        if (req.txcode == "pmb010")
            return crmsim::Reply::json(found);
        if (req.txcode == "pmb011")
            return checkReply(req);
        return crmsim::Reply::json(
            CrmReplies::refused(QStringLiteral("unexpected ") + QString::fromUtf8(req.txcode)));
    });
    WorkDir dir;
    dir.configureTill(crm.baseUrl(), 5);
    CashierRobot guard; // an add that goes wrong shows a message: a fault here
    CouponDialogRoad road;
    const int coupons = o.pick(200, 20);
    WrongCount wrong(r, QStringLiteral("coupons"));
    const AddSamples adds = timeAdds(coupons, crm, road, wrong);
    Samples refill, bareRefill;
    timeRefill(road.widget, refill, bareRefill);
    if (road.table->model()->rowCount() != 200)
        wrong.fail(
            QStringLiteral("the coupon table holds %1 rows, not 200").arg(road.table->model()->rowCount()));
    if (!guard.allDone())
        r.wrong(QStringLiteral("a dialog opened: ") + guard.failures());
    couponRows(r, adds, coupons, refill, bareRefill);
}

} // namespace bench
