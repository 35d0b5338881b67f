#include "core/TenderRequestParser.h"

#include "core/JsonInput.h"
#include "model/Money.h"

#include <QVariantList>
#include <QtMath>

namespace {

using JsonInput::require;

// An amount must be there and not be zero at two decimals; it is kept without sign
// (a refund's amounts arrive negative from some hosts).
Outcome takeAmount(const QVariantMap& in, const QString& key, const QString& zeroMsg, Cents& value,
                   double* asSent = nullptr) {
    if (!in.contains(key))
        return Outcome::failed(JsonInput::missing(key));
    double figure = 0;
    RETURN_UNLESS_DONE(JsonInput::number(in, key, JsonInput::kAmountLimit, figure));
    value = qAbs(Money::fromDouble(figure));
    if (asSent)
        *asSent = qAbs(figure);
    return value == 0 ? Outcome::failed(zeroMsg) : Outcome::done();
}

// The payment lines of a refund's original sale (or of the refund itself).
Outcome takePayLines(const QVariantMap& in, const QString& key, QList<PayLineRec>& lines) {
    if (!in.contains(key))
        return Outcome::failed(TenderRequestParser::tr("无支付信息"));
    QVariantList items;
    RETURN_UNLESS_DONE(JsonInput::list(in, key, items));
    for (const QVariant& item : items) {
        const QVariantMap line = item.toMap();
        if (!line.contains(QStringLiteral("code")))
            return Outcome::failed(TenderRequestParser::tr("支付编码参数不完整"));
        if (!line.contains(QStringLiteral("name")))
            return Outcome::failed(TenderRequestParser::tr("支付名称参数不完整"));
        for (const char* k : {"pay_amt", "payno", "extranno"}) {
            if (!line.contains(QLatin1String(k)))
                return Outcome::failed(TenderRequestParser::tr("支付金额参数不完整"));
        }
        PayLineRec rec;
        RETURN_UNLESS_DONE(
            JsonInput::number(line, QStringLiteral("pay_amt"), JsonInput::kAmountLimit, rec.amount));
        rec.code = line.value(QStringLiteral("code")).toString();
        rec.name = line.value(QStringLiteral("name")).toString();
        rec.payNo = line.value(QStringLiteral("payno")).toString();
        rec.extranNo = line.value(QStringLiteral("extranno")).toString();
        lines.append(rec);
    }
    return Outcome::done();
}

} // namespace

Outcome TenderRequestParser::parse(const QString& head, const QString& plu, const QString& udp,
                                   TenderRec& tender) {
    TenderRec t;
    RETURN_UNLESS_DONE(parseHead(head, t));
    tender = t;
    RETURN_UNLESS_DONE(parseGoods(plu, tender));
    if (tender.txnType != TxnType::Refund || tender.payType != PayType::Coupons)
        return Outcome::done();
    return parsePays(udp, tender);
}

Outcome TenderRequestParser::parseHead(const QString& text, TenderRec& t) {
    QVariantMap in;
    RETURN_UNLESS_DONE(JsonInput::parseObject(text, tr("TranHead解析错误"), tr("TranHead参数解析失败"), in));
    QString payType;
    RETURN_UNLESS_DONE(require(in, QStringLiteral("pay_type"), payType));
    RETURN_UNLESS_DONE(require(in, QStringLiteral("shop_code"), t.shopCode));
    RETURN_UNLESS_DONE(require(in, QStringLiteral("pos_no"), t.posNo));
    RETURN_UNLESS_DONE(require(in, QStringLiteral("oper_code"), t.operCode));
    RETURN_UNLESS_DONE(require(in, QStringLiteral("tr_bizdate"), t.bizDate));
    RETURN_UNLESS_DONE(require(in, QStringLiteral("bill_no"), t.billNo));
    RETURN_UNLESS_DONE(require(in, QStringLiteral("sale_no"), t.saleNo));
    t.payType = Kinds::payType(payType);
    if (!in.contains(QStringLiteral("txn_type")))
        return Outcome::failed(tr("参数传入不全"));
    t.txnText = in.value(QStringLiteral("txn_type")).toString();
    t.txnType = Kinds::txnType(t.txnText);
    if (t.txnType == TxnType::Refund) {
        RETURN_UNLESS_DONE(require(in, QStringLiteral("oribill_no"), t.oriBillNo));
        RETURN_UNLESS_DONE(require(in, QStringLiteral("orisale_no"), t.oriSaleNo));
    }
    t.cardNo = in.value(QStringLiteral("vip_cardno")).toString();
    t.memberId = in.value(QStringLiteral("vip_cardid")).toString();
    if (t.cardNo.isEmpty() || t.memberId.isEmpty())
        return Outcome::failed(tr("未登录会员"));
    t.memberSysType = in.value(QStringLiteral("vip_systype")).toString();
    RETURN_UNLESS_DONE(
        takeAmount(in, QStringLiteral("order_amount"), tr("订单金额不允许为0"), t.orderAmount));
    RETURN_UNLESS_DONE(
        takeAmount(in, QStringLiteral("tr_amt"), tr("支付金额不允许为0"), t.amount, &t.amountAsSent));
    RETURN_UNLESS_DONE(require(in, QStringLiteral("pay_code"), t.payCode));
    return require(in, QStringLiteral("pay_name"), t.payName);
}

Outcome TenderRequestParser::parseGoods(const QString& text, TenderRec& t) {
    // "{}" and the like: a tender always has products.
    if (text.size() <= 2)
        return Outcome::failed(tr("无商品明细"));
    QVariantMap in;
    RETURN_UNLESS_DONE(JsonInput::parseObject(text, tr("商品参数解析错误"), tr("商品参数解析失败"), in));
    if (!in.contains(QStringLiteral("plu")))
        return Outcome::failed(tr("plu参数传入不全"));
    return JsonInput::goodsLines(in, QStringLiteral("plu"), t.goods);
}

Outcome TenderRequestParser::parsePays(const QString& text, TenderRec& t) {
    // A coupon refund needs the payment lines of the original sale.
    if (text.isEmpty())
        return Outcome::failed(tr("无原单支付信息，仅原单可退"));
    QVariantMap in;
    RETURN_UNLESS_DONE(JsonInput::parseObject(text, tr("支付参数解析错误"), tr("支付参数解析失败"), in));
    RETURN_UNLESS_DONE(takePayLines(in, QStringLiteral("pays"), t.salePays));
    return takePayLines(in, QStringLiteral("paysnow"), t.refundPays);
}
