// The CRM's side of every exchange: the input is what the CRM answers. An
// in-process CRM simulator answers every transaction with the same body, so each
// operation reads it through the real HTTP exchange (worker thread, NUL cut,
// the HTTP 400 case) and then with its own reader.
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
#include "core/ZoVORDACtl.h"
#include "crm/CrmReply.h"

#include <QJsonObject>

#include <cstddef>
#include <cstdint>

using namespace fuzzhost;

namespace {

constexpr unsigned kHttp400 = 1u << 0; // the CRM answers with HTTP 400 (its refusal)
constexpr unsigned kVariant =
    1u << 3; // refund instead of payment, order instead of member, points instead of coupons

crmsim::Server* g_crm = nullptr;
int g_crmPort = 0;

enum Op {
    OpSignin,
    OpVerifyMember,
    OpPassword,
    OpSettleOrder,
    OpQueryCoupon,
    OpCheckCoupons,
    OpPayByPoints,
    OpCouponSlots,
    OpVipCall,
    OpCardCall,
    OpCount
};

const char* const kOpNames[OpCount] = {"Signin",      "VerifyMember", "CheckMemberPassword", "SettleOrder",
                                       "QueryCoupon", "CheckCoupons", "PayByPoints",         "coupon slots",
                                       "ZoVipTrans",  "ZoCardTrans"};

void checkFailureSaysWhy(bool p_bOk, const QString& p_sError, Op p_Op) {
    if (!p_bOk && p_sError.isEmpty())
        Fail("operation failed without a message", QLatin1String(kOpNames[p_Op]));
}

// The common reader on its own, with both ways of wording a refusal.
void readDirectly(const QByteArray& p_Body) {
    QByteArray cut = p_Body;
    const int nul = cut.indexOf('\0');
    if (nul >= 0)
        cut.truncate(nul);
    const QString reply = QString::fromUtf8(cut);
    for (bool codeFirst : {false, true}) {
        CrmReplyTexts texts;
        texts.notJson = QStringLiteral("J");
        texts.notObject = QStringLiteral("O");
        texts.noData = QStringLiteral("D");
        texts.noResultCode = QStringLiteral("R");
        texts.refusedPrefix = QStringLiteral("<");
        texts.refusedSuffix = QStringLiteral(">");
        texts.refusedNoMsg = QStringLiteral("N");
        texts.codeFirst = codeFirst;
        QVariantMap data;
        QString error;
        switch (ReadCrmReply(reply, texts, data, error)) {
        case CrmReplyStatus::Accepted:
            if (data.value(QStringLiteral("result_code")).toString() != QLatin1String("1"))
                Fail("reply accepted without result code 1", reply);
            break;
        case CrmReplyStatus::NotJson:
            if (error != texts.notJson)
                Fail("reply that is not JSON reported otherwise", reply);
            break;
        case CrmReplyStatus::Failed:
            if (error.isEmpty() || error == texts.notJson)
                Fail("refused reply without its message", reply);
            break;
        }
    }
}

void presetMember(ZoVORDACtl& ctl) {
    ctl.memberRec.code = QStringLiteral("123456");
    ctl.memberRec.vipcardid = QStringLiteral("1000000000000001");
}

void presetOrder(ZoVORDACtl& ctl) {
    OrderRec& o = ctl.orderRec;
    o.store_id = QStringLiteral("S001");
    o.station_id = QStringLiteral("POS01");
    o.operator_id = QStringLiteral("0001");
    o.business_date = QStringLiteral("2024-05-01");
    o.pos_saleno = QStringLiteral("100001");
    o.pos_billno = QStringLiteral("B100001");
    o.vipcardid = QStringLiteral("1000000000000001");
    o.sale_type = QStringLiteral("sale");
    o.amount = QStringLiteral("25.50");
    o.biztype = QStringLiteral("1");
    o.plucounttotal = QStringLiteral("2");
    o.shouldtotal = QStringLiteral("25.5");
    o.actualtotal = QStringLiteral("25.5");
    o.pos_salebgntime = QStringLiteral("2024-05-01 10:00:00");
    ctl.goodsLines = {QVariantMap{{"pi", "P1"},
                                  {"bc", "690001"},
                                  {"pn", "牛奶"},
                                  {"yj", 12.75},
                                  {"hyj", 12.75},
                                  {"fsp", 12.75},
                                  {"sc", 2},
                                  {"st", 25.5}}};
    ctl.settlePays = {QVariantMap{
        {"code", "01"}, {"extranno", ""}, {"payno", ""}, {"pay_amount", 25.5}, {"zf_amount", 25.5}}};
}

void presetTender(ZoVORDACtl& ctl) {
    TenderRec& t = ctl.tenderRec;
    t.order_amount = 25.5;
    t.tr_amt = 10.0;
    t.pay_type = QStringLiteral("Q");
    t.txn_type = QStringLiteral("SALE");
    t.bill_no = QStringLiteral("B100001");
    t.oribill_no = QStringLiteral("B100000");
    t.vip_cardno = QStringLiteral("123456");
    t.vip_cardid = QStringLiteral("1000000000000001");
    t.pay_code = QStringLiteral("12");
    t.pay_name = QStringLiteral("券");
    ctl.goodsLines = {QVariantMap{{"pi", "P1"},
                                  {"bc", "690001"},
                                  {"pn", "牛奶"},
                                  {"yj", "12.75"},
                                  {"hyj", "12.75"},
                                  {"fsp", "12.75"},
                                  {"sc", "2"}}};
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
    setup.cashier = Cashier::Confirm;
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

    ZoVORDACtl& ctl = Ctl();
    QString error;
    ctl.ResetCall(error);
    bool ok = true;
    switch (op) {
    case OpSignin:
        ok = ctl.Signin(QStringLiteral("S001"), error);
        break;
    case OpVerifyMember:
        ok = ctl.VerifyMember(QStringLiteral("123456"), error);
        break;
    case OpPassword:
        presetMember(ctl);
        ok = ctl.CheckMemberPassword(error);
        break;
    case OpSettleOrder:
        presetOrder(ctl);
        ok = ctl.SettleOrder(error);
        break;
    case OpQueryCoupon: {
        presetTender(ctl);
        CouponRec coupon;
        ok = ctl.QueryCoupon(QStringLiteral("C001"), coupon, error);
        if (ok && (coupon.couponNo != QLatin1String("C001") || coupon.useFlag != QLatin1String("0")))
            Fail("queried coupon not recorded as asked for and unchecked");
        break;
    }
    case OpCheckCoupons: {
        presetTender(ctl);
        CouponRec a{QStringLiteral("C001"), QStringLiteral("A"), 0.0, QStringLiteral("0"), QString()};
        CouponRec b{QStringLiteral("C002"), QStringLiteral("B"), 0.0, QStringLiteral("0"), QString()};
        QList<CouponRec*> coupons{&a, &b};
        ok = ctl.CheckCoupons(coupons, error);
        break;
    }
    case OpPayByPoints:
        presetTender(ctl);
        ok = ctl.PayByPoints(12.5, (flags & kVariant) ? QStringLiteral("-1") : QStringLiteral("1"), error);
        break;
    case OpCouponSlots:
        presetTender(ctl);
        ctl.couponWidget.InitTable();
        ctl.SlotCouponCheck(QStringLiteral("C001"));
        if (flags & kSecondCoupon) {
            ctl.SlotCouponCheck(QStringLiteral("C002"));
            ctl.SlotCouponCheck(QStringLiteral("C001")); // already there
            ctl.SlotCouponClear();
        }
        for (const CouponRec* c : qAsConst(ctl.couponList)) {
            if (c->couponNo.isEmpty())
                Fail("coupon without a number in the list");
        }
        break;
    case OpVipCall: {
        const QByteArray result = ResultFrame::VipTrans(ctl, (flags & kVariant) ? kVip63 : kVip50);
        Trace(result);
        const QJsonObject r = CheckResult(result, "rtncode", "rtnmsg");
        ok = r.value(QStringLiteral("rtncode")) == QLatin1String("111111");
        error = r.value(QStringLiteral("rtnmsg")).toString();
        break;
    }
    case OpCardCall: {
        const QByteArray head = QString::fromLatin1(kHead).arg((flags & kVariant) ? "J" : "Q").toUtf8();
        const QByteArray result = ResultFrame::CardTrans(ctl, head.constData(), kPlu, "");
        Trace(result);
        const QJsonObject r = CheckResult(result, "RtnCode", "RtnMsg");
        ok = r.value(QStringLiteral("RtnCode")) == QLatin1String("111111");
        error = r.value(QStringLiteral("RtnMsg")).toString();
        if (r.value(QStringLiteral("AmountTotal")) != r.value(QStringLiteral("ActualTotal")))
            Fail("AmountTotal and ActualTotal differ", QString::fromUtf8(result));
        break;
    }
    case OpCount:
        break;
    }
    Trace(QByteArray(kOpNames[op]) + (ok ? " ok " : " failed ") + error.toUtf8());
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
    checkFailureSaysWhy(ok, error, op);
    return 0;
}
