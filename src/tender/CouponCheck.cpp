#include "tender/CouponCheck.h"

#include "crm/CrmClient.h"
#include "model/CallState.h"
#include "model/Money.h"

#include <QJsonObject>

CouponCheck::CouponCheck(CrmClient& crm) : m_crm(crm) {}

Outcome CouponCheck::query(const CallState& state, const QString& couponNo, CouponRec& coupon) {
    const QJsonObject body{{QStringLiteral("shop_id"), state.shopId},
                           {QStringLiteral("coupon_no"), couponNo},
                           {QStringLiteral("member_id"), state.tender.memberId}};
    const CrmReply reply = m_crm.call(QStringLiteral("pmb010"), tr("券查询报文"), body,
                                      CrmReplyTexts::of(CrmReplyTexts::Of::CouponQuery));
    if (!reply.accepted())
        return reply.outcome();
    return readQuery(reply.data(), couponNo, coupon);
}

Outcome CouponCheck::readQuery(const QVariantMap& data, const QString& couponNo, CouponRec& coupon) {
    const QVariantMap info = data.value(QStringLiteral("couponInfo")).toMap();
    if (!info.contains(QStringLiteral("ticket_name")))
        return Outcome::failed(tr("券查询时Vorda未返回ticket_name"));
    coupon = CouponRec{couponNo, info.value(QStringLiteral("ticket_name")).toString(), 0,
                       CouponUse::NotUsable, QString()};
    return Outcome::done();
}

QJsonArray CouponCheck::goodsDetails(const CallState& state) {
    QJsonArray details;
    for (const GoodsLine& line : state.tender.goods) {
        details.append(QJsonObject{
            {QStringLiteral("goods_id"), line.goodsId},
            {QStringLiteral("bar_code"), line.barcode},
            {QStringLiteral("goods_name"), line.name},
            {QStringLiteral("unit_price"), Money::twoDecimals(line.unitPrice)},
            {QStringLiteral("member_price"), Money::twoDecimals(line.memberPrice)},
            {QStringLiteral("act_price"), Money::twoDecimals(line.salePrice)},
            {QStringLiteral("goods_num"), Money::generalFormat(line.quantity)},
        });
    }
    return details;
}

Outcome CouponCheck::check(const CallState& state, QList<CouponRec>& coupons) {
    // The total counts whole pieces.
    qint64 pieces = 0;
    for (const GoodsLine& line : state.tender.goods)
        pieces = Money::saturatingAdd(pieces, line.wholePieces);
    QJsonArray couponList;
    for (const CouponRec& c : qAsConst(coupons))
        couponList.append(QJsonObject{{QStringLiteral("coupon_no"), c.couponNo}});
    const QJsonObject body{{QStringLiteral("shop_id"), state.shopId},
                           {QStringLiteral("type"), QStringLiteral("1")},
                           {QStringLiteral("member_id"), state.tender.memberId},
                           {QStringLiteral("s_value"), Money::twoDecimals(state.tender.orderAmount)},
                           {QStringLiteral("detail_list"), goodsDetails(state)},
                           {QStringLiteral("goods_num_total"), QString::number(pieces)},
                           {QStringLiteral("coupon_list"), couponList}};
    const CrmReply reply = m_crm.call(QStringLiteral("pmb011"), tr("券检验报文"), body,
                                      CrmReplyTexts::of(CrmReplyTexts::Of::CouponCheck));
    if (!reply.accepted())
        return reply.outcome();
    return readCheck(reply.data(), coupons);
}

Outcome CouponCheck::readCheck(const QVariantMap& data, QList<CouponRec>& coupons) {
    return readCouponList(data,
                          {{QStringLiteral("coupon_no"), tr("券参数coupon_no不完整")},
                           {QStringLiteral("useflag"), tr("券参数useflag不完整")},
                           // This message is the bare key name.
                           {QStringLiteral("pay_value"), QStringLiteral("pay_value")}},
                          [&coupons](const QVariantMap& element) {
                              const QString couponNo = element.value(QStringLiteral("coupon_no")).toString();
                              for (CouponRec& c : coupons) {
                                  if (c.couponNo != couponNo)
                                      continue;
                                  c.use =
                                      Kinds::couponUse(element.value(QStringLiteral("useflag")).toString());
                                  c.amount = element.value(QStringLiteral("pay_value")).toDouble();
                              }
                          });
}

Outcome CouponCheck::readCouponList(const QVariantMap& data, const QList<QPair<QString, QString>>& required,
                                    const std::function<void(const QVariantMap&)>& apply) {
    if (!data.contains(QStringLiteral("coupon_list")))
        return Outcome::failed(tr("无券相关明细"));
    for (const QVariant& item : data.value(QStringLiteral("coupon_list")).toList()) {
        const QVariantMap element = item.toMap();
        for (const auto& key : required) {
            if (!element.contains(key.first))
                return Outcome::failed(key.second);
        }
        apply(element);
    }
    return Outcome::done();
}
