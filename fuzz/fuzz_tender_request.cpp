// The tender request reader on its own: TranHead, TranPlu and UdpIn1 separated by zero
// bytes (missing parts are empty), read as the tender call reads them, without the
// call around them.
//
// Besides the sanitizers it checks that a refusal names what is wrong in the texts the
// host knows, that an accepted tender carries no figure the till refuses (judged on
// the input itself) and no amount of zero, and that the texts of the record read read
// back as the same record.

#include "Reader.h"
#include "Records.h"

#include "core/JsonInput.h"
#include "core/TenderRequestParser.h"

#include <QJsonArray>
#include <QJsonObject>

using namespace reader;

namespace {

bool same(const TenderRec& a, const TenderRec& b) {
    return a.payType == b.payType && a.txnType == b.txnType && a.txnText == b.txnText &&
           a.shopCode == b.shopCode && a.posNo == b.posNo && a.operCode == b.operCode &&
           a.bizDate == b.bizDate && a.billNo == b.billNo && a.saleNo == b.saleNo &&
           a.oriBillNo == b.oriBillNo && a.oriSaleNo == b.oriSaleNo && a.cardNo == b.cardNo &&
           a.memberId == b.memberId && a.memberSysType == b.memberSysType && a.payCode == b.payCode &&
           a.payName == b.payName && a.orderAmount == b.orderAmount && a.amount == b.amount &&
           a.amountAsSent == b.amountAsSent && Same(a.goods, b.goods) && Same(a.salePays, b.salePays) &&
           Same(a.refundPays, b.refundPays);
}

bool couponRefund(const TenderRec& t) {
    return t.txnType == TxnType::Refund && t.payType == PayType::Coupons;
}

// A pay type as the host writes it; any text but "J" and "Q" is another tender.
QString payTypeText(PayType type) {
    return type == PayType::Points    ? QStringLiteral("J")
           : type == PayType::Coupons ? QStringLiteral("Q")
                                      : QStringLiteral("X");
}

QJsonObject headJson(const TenderRec& t) {
    return QJsonObject{{QStringLiteral("pay_type"), payTypeText(t.payType)},
                       {QStringLiteral("shop_code"), t.shopCode},
                       {QStringLiteral("pos_no"), t.posNo},
                       {QStringLiteral("oper_code"), t.operCode},
                       {QStringLiteral("tr_bizdate"), t.bizDate},
                       {QStringLiteral("bill_no"), t.billNo},
                       {QStringLiteral("sale_no"), t.saleNo},
                       {QStringLiteral("txn_type"), t.txnText},
                       {QStringLiteral("oribill_no"), t.oriBillNo},
                       {QStringLiteral("orisale_no"), t.oriSaleNo},
                       {QStringLiteral("vip_cardno"), t.cardNo},
                       {QStringLiteral("vip_cardid"), t.memberId},
                       {QStringLiteral("vip_systype"), t.memberSysType},
                       {QStringLiteral("order_amount"), Amount(t.orderAmount)},
                       {QStringLiteral("tr_amt"), t.amountAsSent},
                       {QStringLiteral("pay_code"), t.payCode},
                       {QStringLiteral("pay_name"), t.payName}};
}

void checkRefusal(const Outcome& outcome, const QString& input) {
    if (!KnownMessage(outcome.hostText(),
                      {"TranHead解析错误", "TranHead参数解析失败", "参数传入不全", "未登录会员",
                       "订单金额不允许为0", "支付金额不允许为0", "无商品明细", "商品参数解析错误",
                       "商品参数解析失败", "无原单支付信息，仅原单可退", "支付参数解析错误",
                       "支付参数解析失败", "无支付信息", "支付编码参数不完整", "支付名称参数不完整",
                       "支付金额参数不完整"},
                      {"pay_type", "shop_code",  "pos_no",     "oper_code",    "tr_bizdate", "bill_no",
                       "sale_no",  "oribill_no", "orisale_no", "order_amount", "tr_amt",     "pay_code",
                       "pay_name", "plu",        "yj",         "hyj",          "fsp",        "st",
                       "sc",       "pays",       "paysnow",    "pay_amt"}))
        Fail("refusal in words the host does not know", outcome.hostText() + QLatin1Char('\n') + input);
}

// An accepted tender: every figure is one the till takes, and both amounts are money.
void checkAccepted(const TenderRec& t, const QList<QString>& parts, const QString& input) {
    using JsonInput::kAmountLimit;
    const QJsonObject head = JsonObject(parts.at(0));
    const QJsonObject plu = JsonObject(parts.at(1));
    if (!AcceptableFigures(head, {"order_amount", "tr_amt"}, kAmountLimit) ||
        !AcceptableLines(plu, "plu", {"yj", "hyj", "fsp", "st"}, kAmountLimit) ||
        !AcceptableLines(plu, "plu", {"sc"}, JsonInput::kQuantityLimit))
        Fail("tender accepted with a figure or a list the till refuses", input);
    if (t.orderAmount <= 0 || t.amount <= 0 || t.cardNo.isEmpty() || t.memberId.isEmpty())
        Fail("tender accepted without its amounts or its member", input);
    if (couponRefund(t)) {
        const QJsonObject udp = JsonObject(parts.at(2));
        if (!AcceptableLines(udp, "pays", {"pay_amt"}, kAmountLimit) ||
            !AcceptableLines(udp, "paysnow", {"pay_amt"}, kAmountLimit))
            Fail("coupon refund accepted with a payment line the till refuses", input);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QList<QString> parts = CTexts(data, size, 3);
    const QString input = parts.join(QStringLiteral("\n"));
    TenderRec tender;
    const Outcome outcome = TenderRequestParser::parse(parts.at(0), parts.at(1), parts.at(2), tender);
    if (outcome.isClosed())
        Fail("the reader closed a dialog", input);
    if (outcome.isFailed()) {
        checkRefusal(outcome, input);
        return 0;
    }
    checkAccepted(tender, parts, input);

    const QString head = Json(headJson(tender));
    const QString plu = Json(QJsonObject{{QStringLiteral("plu"), GoodsJson(tender.goods)}});
    const QString udp =
        couponRefund(tender)
            ? Json(QJsonObject{
                  {QStringLiteral("pays"), PaysJson(tender.salePays, QStringLiteral("pay_amt"))},
                  {QStringLiteral("paysnow"), PaysJson(tender.refundPays, QStringLiteral("pay_amt"))}})
            : QString();
    const QString written = head + QLatin1Char('\n') + plu + QLatin1Char('\n') + udp;
    TenderRec again;
    const Outcome reread = TenderRequestParser::parse(head, plu, udp, again);
    if (!reread.isDone())
        Fail("the texts of an accepted tender are refused", reread.hostText() + QLatin1Char('\n') + written);
    if (!same(tender, again))
        Fail("the texts of a tender read as another tender", input + QLatin1Char('\n') + written);
    return 0;
}
