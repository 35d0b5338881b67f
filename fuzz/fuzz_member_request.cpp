// The member request reader on its own: one TranVipIn text per input (the host's C
// string), read as the member call reads it, without the call around it.
//
// Besides the sanitizers it checks that a refusal names what is wrong in the texts the
// host knows, that an accepted request carries no figure the till refuses (judged on
// the input itself, not on the reader's record), and that the text of the record read
// reads back as the same record.

#include "Reader.h"
#include "Records.h"

#include "core/JsonInput.h"
#include "core/MemberRequestParser.h"

#include <QJsonArray>
#include <QJsonObject>

using namespace reader;

namespace {

bool same(const OrderRec& a, const OrderRec& b) {
    return a.storeId == b.storeId && a.stationId == b.stationId && a.operatorId == b.operatorId &&
           a.businessDate == b.businessDate && a.posSaleNo == b.posSaleNo && a.posBillNo == b.posBillNo &&
           a.saleBeginTime == b.saleBeginTime && a.cardNo == b.cardNo && a.memberId == b.memberId &&
           a.saleType == b.saleType && a.oldPosSaleNo == b.oldPosSaleNo && a.oldPosBillNo == b.oldPosBillNo &&
           a.adviserNo == b.adviserNo && a.bizType == b.bizType && a.sourceBillNo == b.sourceBillNo &&
           a.pieceTotal == b.pieceTotal && a.shouldTotal == b.shouldTotal && a.actualTotal == b.actualTotal &&
           Same(a.goods, b.goods) && Same(a.pays, b.pays);
}

bool same(const MemberRequest& a, const MemberRequest& b) {
    return a.type == b.type && a.storeId == b.storeId && a.bizType == b.bizType && a.code == b.code &&
           a.cardId == b.cardId && same(a.order, b.order);
}

QJsonObject orderJson(const OrderRec& o) {
    return QJsonObject{{QStringLiteral("reqtype"), QStringLiteral("63")},
                       {QStringLiteral("store_id"), o.storeId},
                       {QStringLiteral("station_id"), o.stationId},
                       {QStringLiteral("operator_id"), o.operatorId},
                       {QStringLiteral("business_date"), o.businessDate},
                       {QStringLiteral("pos_saleno"), o.posSaleNo},
                       {QStringLiteral("pos_billno"), o.posBillNo},
                       {QStringLiteral("pos_salebgntime"), o.saleBeginTime},
                       {QStringLiteral("code"), o.cardNo},
                       {QStringLiteral("vipcardid"), o.memberId},
                       {QStringLiteral("sale_type"), o.saleType},
                       // The record keeps no order amount: any that is not zero reads the same.
                       {QStringLiteral("amount"), 1},
                       {QStringLiteral("emp_id"), o.adviserNo},
                       {QStringLiteral("biztype"), o.bizType},
                       {QStringLiteral("sourcebillno"), o.sourceBillNo},
                       {QStringLiteral("plucounttotal"), o.pieceTotal},
                       {QStringLiteral("shouldtotal"), o.shouldTotal},
                       {QStringLiteral("actualtotal"), o.actualTotal},
                       {QStringLiteral("old_pos_saleno"), o.oldPosSaleNo},
                       {QStringLiteral("old_pos_billno"), o.oldPosBillNo},
                       {QStringLiteral("products"), GoodsJson(o.goods)},
                       {QStringLiteral("pays"), PaysJson(o.pays, QStringLiteral("pay_amount"))}};
}

// The request the host would send for this record; the keys the record does not keep
// (station, operator, date of a lookup) are empty.
QString requestText(const MemberRequest& r) {
    QJsonObject in;
    switch (r.type) {
    case RequestType::Verify:
        in = QJsonObject{{QStringLiteral("reqtype"), QStringLiteral("50")},
                         {QStringLiteral("store_id"), r.storeId.value_or(QString())},
                         {QStringLiteral("station_id"), QString()},
                         {QStringLiteral("operator_id"), QString()},
                         {QStringLiteral("business_date"), QString()},
                         {QStringLiteral("biztype"), r.bizType}};
        if (r.code) {
            in.insert(QStringLiteral("code"), *r.code);
            in.insert(QStringLiteral("cardid"), r.cardId);
        }
        break;
    case RequestType::Settle:
        in = orderJson(r.order);
        break;
    case RequestType::Manage:
        in.insert(QStringLiteral("reqtype"), QStringLiteral("78"));
        if (r.storeId)
            in.insert(QStringLiteral("store_id"), *r.storeId);
        break;
    case RequestType::Unknown:
        Fail("request of an unknown type accepted");
    }
    return Json(in);
}

void checkRefusal(const Outcome& outcome, const QString& text) {
    if (!KnownMessage(outcome.hostText(),
                      {"TranVipIn参数解析错误", "TranVipIn参数解析失败", "订单金额不允许为0", "交易类型错误"},
                      {"reqtype",
                       "store_id",
                       "station_id",
                       "operator_id",
                       "business_date",
                       "biztype",
                       "cardid",
                       "pos_saleno",
                       "pos_billno",
                       "pos_salebgntime",
                       "sale_type",
                       "amount",
                       "plucounttotal",
                       "shouldtotal",
                       "actualtotal",
                       "products",
                       "pays",
                       "yj",
                       "hyj",
                       "fsp",
                       "st",
                       "sc",
                       "pay_amount",
                       "zf_amount"}))
        Fail("refusal in words the host does not know", outcome.hostText() + QLatin1Char('\n') + text);
}

// An accepted settlement: every figure is one the till takes, and the lists are lists.
void checkSettlement(const QString& text) {
    const QJsonObject in = JsonObject(text);
    using JsonInput::kAmountLimit;
    using JsonInput::kQuantityLimit;
    if (!AcceptableFigures(in, {"amount", "shouldtotal", "actualtotal"}, kAmountLimit) ||
        !AcceptableFigures(in, {"plucounttotal"}, kQuantityLimit) ||
        !AcceptableLines(in, "products", {"yj", "hyj", "fsp", "st"}, kAmountLimit) ||
        !AcceptableLines(in, "products", {"sc"}, kQuantityLimit) ||
        !AcceptableLines(in, "pays", {"pay_amount", "zf_amount"}, kAmountLimit))
        Fail("settlement accepted with a figure or a list the till refuses", text);
    if (!in.contains(QStringLiteral("products")) || !in.contains(QStringLiteral("pays")))
        Fail("settlement accepted without its product or payment lines", text);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString text = CText(data, size);
    MemberRequest request;
    const Outcome outcome = MemberRequestParser::parse(text, request);
    if (outcome.isClosed())
        Fail("the reader closed a dialog", text);
    if (outcome.isFailed()) {
        checkRefusal(outcome, text);
        return 0;
    }
    if (request.type == RequestType::Settle)
        checkSettlement(text);

    const QString written = requestText(request);
    MemberRequest again;
    const Outcome reread = MemberRequestParser::parse(written, again);
    if (!reread.isDone())
        Fail("the text of an accepted request is refused", reread.hostText() + QLatin1Char('\n') + written);
    if (!same(request, again))
        Fail("the text of a request reads as another request", text + QLatin1Char('\n') + written);
    return 0;
}
