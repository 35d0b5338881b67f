#include "member/OrderSettlement.h"

#include "config/Settings.h"
#include "crm/CrmClient.h"
#include "crm/JsonWriter.h"
#include "model/Money.h"

#include <QtMath>

namespace {

// The CRM takes every amount without sign; the direction travels in "sale_type".
QString money(Cents amount) {
    return Money::twoDecimals(qAbs(amount));
}
QLatin1String money(Cents amount, Money::TextRoom& room) {
    return Money::twoDecimals(qAbs(amount), room);
}
QString total(double figure) {
    return Money::total(qAbs(figure), Settings::exactAmounts());
}
QString quantity(double value) {
    return Money::generalFormat(qAbs(value));
}

QString saleTypeOf(const QString& bizType) {
    if (bizType == QLatin1String("1") || bizType == QLatin1String("2") || bizType == QLatin1String("3") ||
        bizType == QLatin1String("4"))
        return bizType;
    if (bizType == QLatin1String("5"))
        return QStringLiteral("4");
    if (bizType == QLatin1String("6"))
        return QStringLiteral("5");
    return QString();
}

// Members in ascending order of their names, as the CRM has always received them.
void writePayInfo(JsonWriter& json, const QList<PayLineRec>& pays) {
    const QString empty(QLatin1String(""));
    json.beginArray(QLatin1String("payinfo"));
    for (const PayLineRec& pay : pays) {
        json.beginObject();
        json.add(QLatin1String("pay_code"), pay.payNo);
        json.add(QLatin1String("pay_value"), money(Money::fromDouble(pay.amount)));
        json.add(QLatin1String("paytype"), pay.code);
        json.add(QLatin1String("rec_value"), money(pay.paidAmount));
        json.add(QLatin1String("rej_code_cn"), empty);
        json.add(QLatin1String("return_value"), QStringLiteral("0"));
        json.add(QLatin1String("trace_no"), pay.extranNo);
        json.add(QLatin1String("trade_date"), empty);
        json.add(QLatin1String("trade_time"), empty);
        json.endObject();
    }
    json.endArray();
}

void writeDetailList(JsonWriter& json, const OrderRec& order) {
    json.beginArray(QLatin1String("detail_list"));
    Money::TextRoom saleRoom, room;
    for (const GoodsLine& line : order.goods) {
        // The CRM wants the sale price twice: as the actual and as the promotion price.
        const QLatin1String salePrice = money(line.salePrice, saleRoom);
        json.beginObject();
        json.add(QLatin1String("act_price"), salePrice);
        json.add(QLatin1String("adviser_no"), order.adviserNo);
        json.add(QLatin1String("bar_code"), line.barcode);
        json.add(QLatin1String("cu_price"), salePrice);
        json.add(QLatin1String("goods_id"), line.goodsId);
        json.add(QLatin1String("goods_name"), line.name);
        json.add(QLatin1String("goods_num"), quantity(line.quantity));
        json.add(QLatin1String("member_price"), money(line.memberPrice, room));
        json.add(QLatin1String("sum_value"), money(line.lineTotal, room));
        json.add(QLatin1String("unit_price"), money(line.unitPrice, room));
        json.endObject();
    }
    json.endArray();
}

} // namespace

OrderSettlement::OrderSettlement(CrmClient& crm) : m_crm(crm) {}

// A sale may have thousands of lines: the body is written as JSON text directly.
QByteArray OrderSettlement::requestBody(const QString& shopId, const OrderRec& o) {
    const QString empty(QLatin1String(""));
    const QString zero = QStringLiteral("0");
    const QString saleType = saleTypeOf(o.bizType);
    const bool withSource = o.bizType == QLatin1String("3") || o.bizType == QLatin1String("4");
    JsonWriter json(512 + 320 * o.goods.size());
    json.beginObject();
    json.add(QLatin1String("adviser_no"), o.adviserNo);
    json.add(QLatin1String("bizdate"), o.businessDate);
    json.add(QLatin1String("cashier_no"), o.operatorId);
    json.add(QLatin1String("coupon_rebate"), zero);
    writeDetailList(json, o);
    json.add(QLatin1String("goods_num_total"), quantity(o.pieceTotal));
    json.add(QLatin1String("member_id"), o.memberId);
    json.add(QLatin1String("member_rebate"), zero);
    json.add(QLatin1String("order_id"), o.posBillNo);
    writePayInfo(json, o.pays);
    json.add(QLatin1String("pos_no"), o.posSaleNo);
    json.add(QLatin1String("s_value"), total(o.shouldTotal));
    if (!saleType.isEmpty())
        json.add(QLatin1String("sale_type"), saleType);
    json.add(QLatin1String("score_rebate"), zero);
    json.add(QLatin1String("score_value"), empty);
    json.add(QLatin1String("shop_id"), shopId);
    json.add(QLatin1String("sorder_id"), o.bizType == QLatin1String("6") ? o.sourceBillNo : o.oldPosBillNo);
    json.add(QLatin1String("sourcebillno"), withSource ? o.sourceBillNo : empty);
    json.add(QLatin1String("spend_time"), o.saleBeginTime);
    json.add(QLatin1String("status"), QStringLiteral("1"));
    json.add(QLatin1String("value"), total(o.actualTotal));
    json.endObject();
    return json.text();
}

Outcome OrderSettlement::settle(const QString& shopId, const OrderRec& order, SettlementRec& result) {
    // The journal keeps the amount the member earns points on, as the body's "value" has it.
    const CrmReply reply = m_crm.moveMoney(
        {QStringLiteral("pmb021"), order.posBillNo, order.memberId, total(order.actualTotal)}, tr("订单结算"),
        requestBody(shopId, order), CrmReplyTexts::of(CrmReplyTexts::Of::Settlement));
    if (!reply.accepted())
        return reply.outcome();
    return readReply(reply.data(), result);
}

Outcome OrderSettlement::readReply(const QVariantMap& data, SettlementRec& result) {
    if (!data.contains(QStringLiteral("score")))
        return Outcome::failed(tr("订单结算时未返回score"));
    result.points = data.value(QStringLiteral("score")).toString();
    if (!data.contains(QStringLiteral("score_value")))
        return Outcome::failed(tr("订单结算时未返回score_value"));
    result.pointsTotal = data.value(QStringLiteral("score_value")).toString();
    result.ticketText = ticketText(data);
    return Outcome::done();
}

QString OrderSettlement::ticketText(const QVariantMap& data) {
    // The receipt printer of the host turns "@+" into line breaks.
    const QString sep = QStringLiteral("@+");
    QString ticket;
    for (const QVariant& item : data.value(QStringLiteral("couponInfo")).toList()) {
        const QVariantMap c = item.toMap();
        const QString couponNo = c.value(QStringLiteral("coupon_no")).toString();
        ticket += c.value(QStringLiteral("ticket_name")).toString() + sep;
        const QString faceValue = c.value(QStringLiteral("ticket_value")).toString();
        if (!faceValue.isEmpty())
            ticket += tr("面额：") + faceValue + sep;
        ticket += tr("券号：") + couponNo + sep;
        ticket += tr("barcode：") + couponNo + sep;
        ticket += tr("券有效开始日期：") + c.value(QStringLiteral("begin_date")).toString() + sep;
        ticket += tr("券有效结束日期：") + c.value(QStringLiteral("end_date")).toString() + sep;
        ticket += c.value(QStringLiteral("remark")).toString() + sep;
        ticket += QStringLiteral("-------------------") + sep;
    }
    return ticket;
}
