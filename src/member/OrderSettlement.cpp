#include "core/Formats.h"
#include "core/ZoVORDACtl.h"
#include "crm/CrmReply.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QtMath>

namespace {

// The CRM takes every amount without sign; the direction travels in "sale_type".
QString number(const QVariant& v) {
    return Formats::General(qAbs(v.toDouble()));
}
QString money(const QVariant& v) {
    return Formats::Money(qAbs(v.toDouble()));
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

} // namespace

bool ZoVORDACtl::SettleOrder(QString& p_sError) {
    const OrderRec& o = orderRec;
    QJsonObject body;
    body[QStringLiteral("order_id")] = o.pos_billno;
    body[QStringLiteral("sorder_id")] = o.biztype == QLatin1String("6") ? o.sourcebillno : o.old_pos_billno;
    body[QStringLiteral("member_id")] = o.vipcardid;
    body[QStringLiteral("cashier_no")] = o.operator_id;
    body[QStringLiteral("adviser_no")] = o.emp_id;
    body[QStringLiteral("bizdate")] = o.business_date;
    const QString saleType = saleTypeOf(o.biztype);
    if (!saleType.isEmpty())
        body[QStringLiteral("sale_type")] = saleType;
    body[QStringLiteral("shop_id")] = shop_id;
    const bool withSource = o.biztype == QLatin1String("3") || o.biztype == QLatin1String("4");
    body[QStringLiteral("sourcebillno")] = withSource ? o.sourcebillno : QString(QLatin1String(""));
    body[QStringLiteral("s_value")] = number(o.shouldtotal);
    body[QStringLiteral("value")] = number(o.actualtotal);
    body[QStringLiteral("goods_num_total")] = number(o.plucounttotal);
    body[QStringLiteral("member_rebate")] = QStringLiteral("0");
    body[QStringLiteral("coupon_rebate")] = QStringLiteral("0");
    body[QStringLiteral("score_rebate")] = QStringLiteral("0");
    body[QStringLiteral("score_value")] = QString(QLatin1String(""));
    body[QStringLiteral("status")] = QStringLiteral("1");
    body[QStringLiteral("pos_no")] = o.pos_saleno;
    body[QStringLiteral("spend_time")] = o.pos_salebgntime;

    // Built as JSON directly: an order may carry thousands of lines.
    QJsonArray payinfo;
    for (const QVariant& item : settlePays) {
        const QVariantMap line = item.toMap();
        payinfo.append(QJsonObject{
            {QStringLiteral("paytype"), line.value(QStringLiteral("code")).toString()},
            {QStringLiteral("trace_no"), line.value(QStringLiteral("extranno")).toString()},
            {QStringLiteral("pay_code"), line.value(QStringLiteral("payno")).toString()},
            {QStringLiteral("pay_value"), money(line.value(QStringLiteral("pay_amount")))},
            {QStringLiteral("rec_value"), money(line.value(QStringLiteral("zf_amount")))},
            {QStringLiteral("return_value"), QStringLiteral("0")},
            {QStringLiteral("trade_date"), QString(QLatin1String(""))},
            {QStringLiteral("trade_time"), QString(QLatin1String(""))},
            {QStringLiteral("rej_code_cn"), QString(QLatin1String(""))},
        });
    }
    body[QStringLiteral("payinfo")] = payinfo;

    QJsonArray details;
    for (const QVariant& item : goodsLines) {
        const QVariantMap line = item.toMap();
        details.append(QJsonObject{
            {QStringLiteral("adviser_no"), o.emp_id},
            {QStringLiteral("goods_id"), line.value(QStringLiteral("pi")).toString()},
            {QStringLiteral("bar_code"), line.value(QStringLiteral("bc")).toString()},
            {QStringLiteral("goods_name"), line.value(QStringLiteral("pn")).toString()},
            {QStringLiteral("unit_price"), money(line.value(QStringLiteral("yj")))},
            {QStringLiteral("member_price"), money(line.value(QStringLiteral("hyj")))},
            // The CRM wants the sale price twice: as the actual and as the promotion price.
            {QStringLiteral("act_price"), money(line.value(QStringLiteral("fsp")))},
            {QStringLiteral("cu_price"), money(line.value(QStringLiteral("fsp")))},
            {QStringLiteral("goods_num"), number(line.value(QStringLiteral("sc")))},
            {QStringLiteral("sum_value"), money(line.value(QStringLiteral("st")))},
        });
    }
    body[QStringLiteral("detail_list")] = details;

    QString reply;
    if (!PostCrm(QStringLiteral("pmb021"), tr("订单结算"), body, reply, p_sError))
        return false;

    CrmReplyTexts texts;
    texts.notJson = tr("订单结算解析Vorda返回数据错误，请再次尝试或联系管理员处理");
    texts.notObject = tr("订单结算解析Vorda返回数据失败，请再次尝试或联系管理员处理");
    texts.noData = tr("订单结算未获取到Vorda返回数据节点");
    texts.noResultCode = tr("订单结算时未返回result_code");
    texts.refusedPrefix = tr("订单结算失败，");
    texts.refusedNoMsg = tr("订单结算失败。");
    QVariantMap data;
    if (ReadCrmReply(reply, texts, data, p_sError) != CrmReplyStatus::Accepted)
        return false;

    if (!data.contains(QStringLiteral("score"))) {
        p_sError = tr("订单结算时未返回score");
        return false;
    }
    orderRec.cent = data.value(QStringLiteral("score")).toString();
    if (!data.contains(QStringLiteral("score_value"))) {
        p_sError = tr("订单结算时未返回score_value");
        return false;
    }
    orderRec.sum_cent = data.value(QStringLiteral("score_value")).toString();

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
    orderRec.sendticket = ticket;
    return true;
}
