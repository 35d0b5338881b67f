// The CRM's side of every exchange: the input is what the CRM answers. An
// in-process CRM simulator answers every transaction with the same body, so each
// operation reads it through the real HTTP exchange (worker thread, NUL cut,
// the HTTP 400 case) and then with its own reader: the operations' parts are called
// directly, the whole calls through the result frame.
//
// Input: byte 0 chooses the operation, byte 1 holds flags (HTTP status, the
// cashier's choices, the variant of the operation), both counted from the digit
// 0; the rest is the reply body.
// One operation per input rather than all of them: an exchange costs far more
// than reading a reply, and the fuzzer's coverage feedback reaches each reader
// through the selector just as well.

#include "FuzzHost.h"

#include "CrmSim.h"
#include "api/ResultFrame.h"
#include "core/Controller.h"
#include "crm/CrmClient.h"
#include "db/MemberStore.h"
#include "db/PosDB.h"
#include "log/PayLogger.h"
#include "member/DeviceSignin.h"
#include "member/MemberPassword.h"
#include "member/MemberVerification.h"
#include "member/OrderSettlement.h"
#include "model/CallState.h"
#include "tender/CouponCheck.h"
#include "tender/CouponSession.h"
#include "tender/PointsTender.h"
#include "ui/DialogCashier.h"

#include <QJsonObject>

#include <cstddef>
#include <cstdint>

using namespace fuzzhost;

namespace {

constexpr unsigned kHttp400 = 1u << 0; // the CRM answers with HTTP 400 (its refusal)
// A sale instead of a refund, an order instead of a member, points instead of coupons.
constexpr unsigned kVariant = 1u << 3;

crmsim::Server* g_crm = nullptr;
int g_crmPort = 0;

enum Op {
    OpSignin,
    OpVerifyMember,
    OpPassword,
    OpSettleOrder,
    OpQueryCoupon,
    OpCheckCoupons,
    OpPoints,
    OpCouponSession,
    OpVipCall,
    OpCardCall,
    OpCount
};

const char* const kOpNames[OpCount] = {"DeviceSignin::signin",
                                       "MemberVerification::verify",
                                       "MemberPassword::check",
                                       "OrderSettlement::settle",
                                       "CouponCheck::query",
                                       "CouponCheck::check",
                                       "PointsTender",
                                       "CouponSession",
                                       "ZoVipTrans",
                                       "ZoCardTrans"};

// The operations' parts, wired as the controller wires them, with the real dialogs
// (the fuzz cashier answers them). Built at the first input, in the till's directory.
struct Parts {
    PayLogger log{QStringLiteral("ZoVORDA动态库")};
    DialogCashier cashier;
    PosDB db;
    MemberStore store{db, log};
    CrmClient crm{cashier, log};
    DeviceSignin signin{crm, log};
    MemberVerification verification{crm, store, cashier, log};
    MemberPassword password{crm, cashier};
    OrderSettlement settlement{crm};
    CouponCheck coupons{crm};
    PointsTender points{crm, verification, password, cashier};
};

// The common reader on its own, with both ways of wording a refusal.
void readDirectly(const QByteArray& body) {
    QByteArray cut = body;
    const int nul = cut.indexOf('\0');
    if (nul >= 0)
        cut.truncate(nul);
    const QString reply = QString::fromUtf8(cut);
    for (bool codeFirst : {false, true}) {
        const CrmReplyTexts texts{
            QStringLiteral("J"), QStringLiteral("O"), QStringLiteral("D"), QStringLiteral("R"),
            QStringLiteral("<"), QStringLiteral(">"), QStringLiteral("N"), codeFirst};
        const CrmReply read = CrmReply::read(reply, texts);
        switch (read.status()) {
        case CrmReply::Status::Accepted:
            if (read.data().value(QStringLiteral("result_code")).toString() != QLatin1String("1"))
                Fail("reply accepted without result code 1", reply);
            break;
        case CrmReply::Status::NotJson:
            if (read.error() != texts.notJson)
                Fail("reply that is not JSON reported otherwise", reply);
            break;
        case CrmReply::Status::Refused:
        case CrmReply::Status::ExchangeFailed:
            if (read.error().isEmpty() || read.error() == texts.notJson)
                Fail("refused reply without its message", reply);
            break;
        }
    }
}

MemberRec member() {
    MemberRec m;
    m.cardNo = QStringLiteral("123456");
    m.memberId = QStringLiteral("1000000000000001");
    return m;
}

GoodsLine milk() {
    return GoodsLine{QStringLiteral("P1"),
                     QStringLiteral("690001"),
                     QStringLiteral("牛奶"),
                     1275,
                     1275,
                     1275,
                     2550,
                     2.0,
                     2};
}

OrderRec order() {
    OrderRec o;
    o.storeId = QStringLiteral("S001");
    o.stationId = QStringLiteral("POS01");
    o.operatorId = QStringLiteral("0001");
    o.businessDate = QStringLiteral("2024-05-01");
    o.posSaleNo = QStringLiteral("100001");
    o.posBillNo = QStringLiteral("B100001");
    o.memberId = QStringLiteral("1000000000000001");
    o.saleType = QStringLiteral("sale");
    o.bizType = QStringLiteral("1");
    o.pieceTotal = 2;
    o.shouldTotal = o.actualTotal = 25.5;
    o.saleBeginTime = QStringLiteral("2024-05-01 10:00:00");
    o.goods = {milk()};
    o.pays = {PayLineRec{QStringLiteral("01"), QString(), QString(), QString(), 25.5, 2550}};
    return o;
}

// A coupon sale of 25.50 by member 123456, 10.00 to pay by this tender.
CallState tenderState() {
    CallState state;
    state.reset(QStringLiteral("S01"));
    TenderRec& t = state.tender;
    t.payType = PayType::Coupons;
    t.txnType = TxnType::Sale;
    t.orderAmount = 2550;
    t.amount = 1000;
    t.billNo = QStringLiteral("B100001");
    t.oriBillNo = QStringLiteral("B100000");
    t.cardNo = QStringLiteral("123456");
    t.memberId = QStringLiteral("1000000000000001");
    t.payCode = QStringLiteral("12");
    t.payName = QStringLiteral("券");
    t.goods = {milk()};
    return state;
}

const char kHead[] = R"({"pay_type":"%1","shop_code":"S001","pos_no":"POS01","oper_code":"0001",)"
                     R"("tr_bizdate":"2024-05-01","bill_no":"B100001","sale_no":"100001","txn_type":"SALE",)"
                     R"("vip_cardno":"123456","vip_cardid":"1000000000000001","order_amount":25.5,)"
                     R"("tr_amt":10,"pay_code":"12","pay_name":"CRM"})";
const char kPlu[] =
    R"({"plu":[{"pi":"P1","bc":"690001","pn":"milk","yj":12.75,"hyj":12.75,"fsp":12.75,"sc":2}]})";
const char kVip50[] = R"({"reqtype":"50","store_id":"S001","station_id":"POS01","operator_id":"0001",)"
                      R"("business_date":"2024-05-01","biztype":"3","code":"123456","cardid":""})";
const char kVip63[] =
    R"({"reqtype":"63","store_id":"S001","station_id":"POS01","operator_id":"0001","business_date":"2024-05-01",)"
    R"("pos_saleno":"100001","pos_billno":"B100001","pos_salebgntime":"2024-05-01 10:00:00","code":"123456",)"
    R"("vipcardid":"1000000000000001","sale_type":"sale","amount":25.5,"biztype":"1","plucounttotal":"2",)"
    R"("shouldtotal":"25.5","actualtotal":"25.5","products":[{"pi":"P1","sc":2,"st":25.5}],)"
    R"("pays":[{"code":"01","pay_amount":25.5,"zf_amount":25.5}]})";

// The whole member or tender call; its result checked and turned into an outcome.
Outcome wholeCall(bool member, unsigned flags) {
    QByteArray result;
    if (member) {
        result = ResultFrame::memberCall(Ctl(), (flags & kVariant) ? kVip63 : kVip50);
    } else {
        const QByteArray head = QString::fromLatin1(kHead).arg((flags & kVariant) ? "J" : "Q").toUtf8();
        result = ResultFrame::tenderCall(Ctl(), head.constData(), kPlu, "");
    }
    Trace(result);
    const QJsonObject r =
        member ? CheckResult(result, "rtncode", "rtnmsg") : CheckResult(result, "RtnCode", "RtnMsg");
    if (!member && r.value(QStringLiteral("AmountTotal")) != r.value(QStringLiteral("ActualTotal")))
        Fail("AmountTotal and ActualTotal differ", QString::fromUtf8(result));
    const QString code = r.value(member ? QStringLiteral("rtncode") : QStringLiteral("RtnCode")).toString();
    return code == QLatin1String("111111")
               ? Outcome::done()
               : Outcome::failed(
                     r.value(member ? QStringLiteral("rtnmsg") : QStringLiteral("RtnMsg")).toString());
}

Outcome couponCheck(Parts& p) {
    CallState state = tenderState();
    QList<CouponRec> coupons{
        CouponRec{QStringLiteral("C001"), QStringLiteral("A"), 0, CouponUse::NotUsable, {}},
        CouponRec{QStringLiteral("C002"), QStringLiteral("B"), 0, CouponUse::NotUsable, {}}};
    return p.coupons.check(state, coupons);
}

Outcome couponQuery(Parts& p) {
    CouponRec coupon;
    const Outcome found = p.coupons.query(tenderState(), QStringLiteral("C001"), coupon);
    if (found.isDone() && (coupon.couponNo != QLatin1String("C001") || coupon.use != CouponUse::NotUsable))
        Fail("queried coupon not recorded as asked for and unchecked");
    return found;
}

// Adds a coupon; with flag 4 a second, the first again (already there), and takes one off.
Outcome couponSession(Parts& p, unsigned flags) {
    CallState state = tenderState();
    CouponSession session(state, p.coupons, p.cashier, p.log);
    session.addCoupon(QStringLiteral("C001"));
    if (flags & kSecondCoupon) {
        session.addCoupon(QStringLiteral("C002"));
        session.addCoupon(QStringLiteral("C001"));
        session.removeCoupon(QStringLiteral("C002"));
    }
    for (const CouponRec& c : qAsConst(state.coupons)) {
        if (c.couponNo.isEmpty())
            Fail("coupon without a number in the list");
    }
    return Outcome::done();
}

Outcome run(Op op, unsigned flags) {
    static Parts* parts = new Parts; // after the first NextInput: the till's directory
    Parts& p = *parts;
    QString shopId = QStringLiteral("S01");
    MemberRec found;
    SettlementRec settled;
    CallState state = tenderState();
    state.tender.payType = PayType::Points;
    switch (op) {
    case OpSignin:
        return p.signin.signin(QStringLiteral("S001"), shopId);
    case OpVerifyMember:
        return p.verification.verify(shopId, QStringLiteral("123456"), found);
    case OpPassword:
        return p.password.check(member());
    case OpSettleOrder:
        return p.settlement.settle(shopId, order(), settled);
    case OpQueryCoupon:
        return couponQuery(p);
    case OpCheckCoupons:
        return couponCheck(p);
    case OpPoints:
        return (flags & kVariant) ? p.points.sale(state) : p.points.refund(state);
    case OpCouponSession:
        return couponSession(p, flags);
    case OpVipCall:
    case OpCardCall:
        return wholeCall(op == OpVipCall, flags);
    case OpCount:
        break;
    }
    return Outcome::done();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    // The simulator runs for one input at a time, always on the same port: when the
    // input is done it is stopped, so none of its threads is still busy with a
    // connection while the leak check looks at the heap.
    g_crm = new crmsim::Server;
    if (!g_crm->start())
        Fail("the CRM simulator does not start");
    g_crmPort = g_crm->port();
    Setup setup;
    setup.crmAddress = g_crm->baseUrl();
    setup.cashier = CashierMode::Confirm;
    Start(argc, argv, setup);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    NextInput();
    // Counted from the digit 0, so that a seed reads "51{...}": check coupons, HTTP 400.
    const Op op = Op(size > 0 ? uint8_t(data[0] - '0') % OpCount : 0);
    const unsigned flags = size > 1 ? uint8_t(data[1] - '0') : 0;
    const QByteArray body =
        size > 2 ? QByteArray(reinterpret_cast<const char*>(data) + 2, int(size - 2)) : QByteArray();
    SetCashierChoices(flags);
    readDirectly(body);

    const int status = (flags & kHttp400) ? 400 : 200;
    g_crm->setFallback([body, status](const crmsim::Request&) { return crmsim::Reply::json(body, status); });
    if (!g_crm->isRunning() && !g_crm->start(QStringLiteral("127.0.0.1"), g_crmPort))
        Fail("the CRM simulator does not start again on its port");

    const Outcome outcome = run(op, flags);
    Trace(QByteArray(kOpNames[op]) + (outcome.isDone() ? " ok " : " failed ") + outcome.hostText().toUtf8());
    if (qEnvironmentVariableIsSet("ZOVORDA_FUZZ_TRACE")) {
        for (const crmsim::Request& r : g_crm->requests()) {
            QByteArray headers;
            for (const auto& h : r.headers)
                headers += "\n    " + h.first + ": " + h.second;
            Trace("  " + r.txcode + " " + r.body + headers);
        }
    }
    g_crm->clearRequests();
    g_crm->stop();
    CheckNoDialogOpen();
    if (outcome.isFailed() && outcome.hostText().isEmpty())
        Fail("operation failed without a message", QLatin1String(kOpNames[op]));
    return 0;
}
