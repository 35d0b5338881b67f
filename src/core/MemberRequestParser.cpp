#include "core/MemberRequestParser.h"

#include "core/JsonInput.h"
#include "model/Money.h"

#include <QVariantList>

namespace {

using JsonInput::number;
using JsonInput::require;

Outcome settledPays(const QVariantMap& in, QList<PayLineRec>& pays) {
    QVariantList items;
    RETURN_UNLESS_DONE(JsonInput::list(in, QStringLiteral("pays"), items));
    for (const QVariant& item : items) {
        const QVariantMap line = item.toMap();
        PayLineRec p;
        p.code = line.value(QStringLiteral("code")).toString();
        p.extranNo = line.value(QStringLiteral("extranno")).toString();
        p.payNo = line.value(QStringLiteral("payno")).toString();
        double paid = 0;
        RETURN_UNLESS_DONE(number(line, QStringLiteral("pay_amount"), JsonInput::kAmountLimit, p.amount));
        RETURN_UNLESS_DONE(number(line, QStringLiteral("zf_amount"), JsonInput::kAmountLimit, paid));
        p.paidAmount = Money::fromDouble(paid);
        pays.append(p);
    }
    return Outcome::done();
}

Outcome parseVerify(const QVariantMap& in, MemberRequest& r) {
    QString storeId, stationId, operatorId, businessDate;
    RETURN_UNLESS_DONE(require(in, QStringLiteral("store_id"), storeId));
    RETURN_UNLESS_DONE(require(in, QStringLiteral("station_id"), stationId));
    RETURN_UNLESS_DONE(require(in, QStringLiteral("operator_id"), operatorId));
    RETURN_UNLESS_DONE(require(in, QStringLiteral("business_date"), businessDate));
    RETURN_UNLESS_DONE(require(in, QStringLiteral("biztype"), r.bizType));
    r.storeId = storeId;
    if (in.contains(QStringLiteral("code"))) {
        r.code = in.value(QStringLiteral("code")).toString();
        RETURN_UNLESS_DONE(require(in, QStringLiteral("cardid"), r.cardId));
    }
    return Outcome::done();
}

Outcome parseOrderHead(const QVariantMap& in, OrderRec& o) {
    RETURN_UNLESS_DONE(require(in, QStringLiteral("store_id"), o.storeId));
    RETURN_UNLESS_DONE(require(in, QStringLiteral("station_id"), o.stationId));
    RETURN_UNLESS_DONE(require(in, QStringLiteral("operator_id"), o.operatorId));
    RETURN_UNLESS_DONE(require(in, QStringLiteral("business_date"), o.businessDate));
    RETURN_UNLESS_DONE(require(in, QStringLiteral("pos_saleno"), o.posSaleNo));
    RETURN_UNLESS_DONE(require(in, QStringLiteral("pos_billno"), o.posBillNo));
    RETURN_UNLESS_DONE(require(in, QStringLiteral("pos_salebgntime"), o.saleBeginTime));
    o.cardNo = in.value(QStringLiteral("code")).toString();
    o.memberId = in.value(QStringLiteral("vipcardid")).toString();
    RETURN_UNLESS_DONE(require(in, QStringLiteral("sale_type"), o.saleType));
    if (!in.contains(QStringLiteral("amount")))
        return Outcome::failed(MemberRequestParser::tr("amount参数传入不全"));
    // The order amount is checked without sign; a return is told by its sale type.
    double amount = 0;
    RETURN_UNLESS_DONE(number(in, QStringLiteral("amount"), JsonInput::kAmountLimit, amount));
    if (Money::fromDouble(amount) == 0)
        return Outcome::failed(MemberRequestParser::tr("订单金额不允许为0"));
    return Outcome::done();
}

Outcome parseSettle(const QVariantMap& in, OrderRec& o) {
    RETURN_UNLESS_DONE(parseOrderHead(in, o));
    o.adviserNo = in.value(QStringLiteral("emp_id")).toString();
    RETURN_UNLESS_DONE(require(in, QStringLiteral("biztype"), o.bizType));
    o.sourceBillNo = in.value(QStringLiteral("sourcebillno")).toString();
    QString pieces, shouldTotal, actualTotal;
    RETURN_UNLESS_DONE(require(in, QStringLiteral("plucounttotal"), pieces));
    RETURN_UNLESS_DONE(require(in, QStringLiteral("shouldtotal"), shouldTotal));
    RETURN_UNLESS_DONE(require(in, QStringLiteral("actualtotal"), actualTotal));
    RETURN_UNLESS_DONE(number(in, QStringLiteral("plucounttotal"), JsonInput::kQuantityLimit, o.pieceTotal));
    RETURN_UNLESS_DONE(number(in, QStringLiteral("shouldtotal"), JsonInput::kAmountLimit, o.shouldTotal));
    RETURN_UNLESS_DONE(number(in, QStringLiteral("actualtotal"), JsonInput::kAmountLimit, o.actualTotal));
    if (o.saleType == QLatin1String("return")) {
        o.oldPosSaleNo = in.value(QStringLiteral("old_pos_saleno")).toString();
        o.oldPosBillNo = in.value(QStringLiteral("old_pos_billno")).toString();
    }
    if (!in.contains(QStringLiteral("products")))
        return Outcome::failed(MemberRequestParser::tr("products参数传入不全"));
    if (!in.contains(QStringLiteral("pays")))
        return Outcome::failed(MemberRequestParser::tr("pays参数传入不全"));
    RETURN_UNLESS_DONE(JsonInput::goodsLines(in, QStringLiteral("products"), o.goods));
    return settledPays(in, o.pays);
}

} // namespace

Outcome MemberRequestParser::parse(const QString& text, MemberRequest& request) {
    QVariantMap in;
    RETURN_UNLESS_DONE(
        JsonInput::parseObject(text, tr("TranVipIn参数解析错误"), tr("TranVipIn参数解析失败"), in));
    QString type;
    RETURN_UNLESS_DONE(require(in, QStringLiteral("reqtype"), type));
    request.type = Kinds::requestType(type);
    switch (request.type) {
    case RequestType::Verify:
        return parseVerify(in, request);
    case RequestType::Settle:
        return parseSettle(in, request.order);
    case RequestType::Manage:
        if (in.contains(QStringLiteral("store_id")))
            request.storeId = in.value(QStringLiteral("store_id")).toString();
        return Outcome::done();
    case RequestType::Unknown:
        break;
    }
    return Outcome::failed(tr("交易类型错误"));
}
