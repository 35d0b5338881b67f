#include "member/OrderSettlement.h"

#include "crm/CrmClient.h"
#include "model/Money.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QtMath>

namespace {

// The CRM takes every amount without sign; the direction travels in "sale_type".
QString money(Cents amount) {
    return Money::twoDecimals(qAbs(amount));
}
QString total(double figure) {
    return Money::generalFormat(qAbs(figure));
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

QJsonArray payInfo(const QList<PayLineRec>& pays) {
    QJsonArray lines;
    for (const PayLineRec& pay : pays) {
        lines.append(QJsonObject{
            {QStringLiteral("paytype"), pay.code},
            {QStringLiteral("trace_no"), pay.extranNo},
            {QStringLiteral("pay_code"), pay.payNo},
            {QStringLiteral("pay_value"), money(Money::fromDouble(pay.amount))},
            {QStringLiteral("rec_value"), money(pay.paidAmount)},
            {QStringLiteral("return_value"), QStringLiteral("0")},
            {QStringLiteral("trade_date"), QString(QLatin1String(""))},
            {QStringLiteral("trade_time"), QString(QLatin1String(""))},
            {QStringLiteral("rej_code_cn"), QString(QLatin1String(""))},
        });
    }
    return lines;
}

QJsonArray detailList(const OrderRec& order) {
    QJsonArray lines;
    for (const GoodsLine& line : order.goods) {
        lines.append(QJsonObject{
            {QStringLiteral("adviser_no"), order.adviserNo},
            {QStringLiteral("goods_id"), line.goodsId},
            {QStringLiteral("bar_code"), line.barcode},
            {QStringLiteral("goods_name"), line.name},
            {QStringLiteral("unit_price"), money(line.unitPrice)},
            {QStringLiteral("member_price"), money(line.memberPrice)},
            // The CRM wants the sale price twice: as the actual and as the promotion price.
            {QStringLiteral("act_price"), money(line.salePrice)},
            {QStringLiteral("cu_price"), money(line.salePrice)},
            {QStringLiteral("goods_num"), quantity(line.quantity)},
            {QStringLiteral("sum_value"), money(line.lineTotal)},
        });
    }
    return lines;
}

} // namespace

OrderSettlement::OrderSettlement(CrmClient& crm) : m_crm(crm) {}

QJsonObject OrderSettlement::requestBody(const QString& shopId, const OrderRec& o) {
    const QString empty(QLatin1String(""));
    QJsonObject body{
        {QStringLiteral("order_id"), o.posBillNo},
        {QStringLiteral("sorder_id"), o.bizType == QLatin1String("6") ? o.sourceBillNo : o.oldPosBillNo},
        {QStringLiteral("member_id"), o.memberId},
        {QStringLiteral("cashier_no"), o.operatorId},
        {QStringLiteral("adviser_no"), o.adviserNo},
        {QStringLiteral("bizdate"), o.businessDate},
        {QStringLiteral("shop_id"), shopId},
        {QStringLiteral("s_value"), total(o.shouldTotal)},
        {QStringLiteral("value"), total(o.actualTotal)},
        {QStringLiteral("goods_num_total"), quantity(o.pieceTotal)},
        {QStringLiteral("member_rebate"), QStringLiteral("0")},
        {QStringLiteral("coupon_rebate"), QStringLiteral("0")},
        {QStringLiteral("score_rebate"), QStringLiteral("0")},
        {QStringLiteral("score_value"), empty},
        {QStringLiteral("status"), QStringLiteral("1")},
        {QStringLiteral("pos_no"), o.posSaleNo},
        {QStringLiteral("spend_time"), o.saleBeginTime},
    };
    const QString saleType = saleTypeOf(o.bizType);
    if (!saleType.isEmpty())
        body.insert(QStringLiteral("sale_type"), saleType);
    const bool withSource = o.bizType == QLatin1String("3") || o.bizType == QLatin1String("4");
    body.insert(QStringLiteral("sourcebillno"), withSource ? o.sourceBillNo : empty);
    body.insert(QStringLiteral("payinfo"), payInfo(o.pays));
    body.insert(QStringLiteral("detail_list"), detailList(o));
    return body;
}

Outcome OrderSettlement::settle(const QString& shopId, const OrderRec& order, SettlementRec& result) {
    const CrmReply reply = m_crm.call(QStringLiteral("pmb021"), tr("订单结算"), requestBody(shopId, order),
                                      CrmReplyTexts::of(CrmReplyTexts::Of::Settlement));
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
