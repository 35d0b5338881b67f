#include "core/Counts.h"
#include "core/Formats.h"
#include "core/ZoVORDACtl.h"
#include "crm/CrmReply.h"
#include "tender/CouponListReply.h"

bool ZoVORDACtl::QueryCoupon(const QString& p_sCouponNo, CouponRec& p_Coupon, QString& p_sError) {
    const QVariantMap body{{QStringLiteral("shop_id"), shop_id},
                           {QStringLiteral("coupon_no"), p_sCouponNo},
                           {QStringLiteral("member_id"), tenderRec.vip_cardid}};
    QString reply;
    if (!PostCrm(QStringLiteral("pmb010"), tr("券查询报文"), body, reply, p_sError))
        return false;
    QVariantMap data;
    if (ReadCrmReply(reply, TenderReplyTexts(tr("券查询异常")), data, p_sError) != CrmReplyStatus::Accepted)
        return false;
    const QVariantMap info = data.value(QStringLiteral("couponInfo")).toMap();
    if (!info.contains(QStringLiteral("ticket_name"))) {
        p_sError = tr("券查询时Vorda未返回ticket_name");
        return false;
    }
    p_Coupon.ticketName = info.value(QStringLiteral("ticket_name")).toString();
    p_Coupon.couponNo = p_sCouponNo;
    p_Coupon.payValue = 0.0;
    p_Coupon.useFlag = QStringLiteral("0");
    return true;
}

QVariantList ZoVORDACtl::CouponGoodsDetails() const {
    QVariantList details;
    for (const QVariant& item : goodsLines) {
        const QVariantMap line = item.toMap();
        details.append(QVariantMap{
            {QStringLiteral("goods_id"), line.value(QStringLiteral("pi")).toString()},
            {QStringLiteral("bar_code"), line.value(QStringLiteral("bc")).toString()},
            {QStringLiteral("goods_name"), line.value(QStringLiteral("pn")).toString()},
            {QStringLiteral("unit_price"), Formats::Money(line.value(QStringLiteral("yj")).toDouble())},
            {QStringLiteral("member_price"), Formats::Money(line.value(QStringLiteral("hyj")).toDouble())},
            {QStringLiteral("act_price"), Formats::Money(line.value(QStringLiteral("fsp")).toDouble())},
            {QStringLiteral("goods_num"), Formats::General(line.value(QStringLiteral("sc")).toDouble())},
        });
    }
    return details;
}

bool ZoVORDACtl::CheckCoupons(QList<CouponRec*>& p_Coupons, QString& p_sError) {
    const QVariantList details = CouponGoodsDetails();
    // The total counts whole pieces: a number is rounded, a text like "1.5" counts 0.
    qint64 quantityTotal = 0;
    for (const QVariant& item : goodsLines)
        quantityTotal = AddCount(quantityTotal, item.toMap().value(QStringLiteral("sc")).toLongLong());
    QVariantList coupons;
    for (const CouponRec* c : p_Coupons)
        coupons.append(QVariantMap{{QStringLiteral("coupon_no"), c->couponNo}});
    const QVariantMap body{{QStringLiteral("shop_id"), shop_id},
                           {QStringLiteral("type"), QStringLiteral("1")},
                           {QStringLiteral("member_id"), tenderRec.vip_cardid},
                           {QStringLiteral("s_value"), Formats::Money(tenderRec.order_amount)},
                           {QStringLiteral("detail_list"), details},
                           {QStringLiteral("goods_num_total"), QString::number(quantityTotal)},
                           {QStringLiteral("coupon_list"), coupons}};
    QString reply;
    if (!PostCrm(QStringLiteral("pmb011"), tr("券检验报文"), body, reply, p_sError))
        return false;
    QVariantMap data;
    if (ReadCrmReply(reply, TenderReplyTexts(tr("券校验异常")), data, p_sError) != CrmReplyStatus::Accepted)
        return false;
    return ReadCouponList(
        data,
        {{QStringLiteral("coupon_no"), tr("券参数coupon_no不完整")},
         {QStringLiteral("useflag"), tr("券参数useflag不完整")},
         // This message is the bare key name.
         {QStringLiteral("pay_value"), QStringLiteral("pay_value")}},
        [&p_Coupons](const QVariantMap& element) {
            const QString couponNo = element.value(QStringLiteral("coupon_no")).toString();
            for (CouponRec* c : p_Coupons) {
                if (c->couponNo == couponNo) {
                    c->useFlag = element.value(QStringLiteral("useflag")).toString();
                    c->payValue = element.value(QStringLiteral("pay_value")).toDouble();
                }
            }
        },
        p_sError);
}

void ZoVORDACtl::SlotCouponCheck(QString p_CouponNo) {
    for (const CouponRec* c : qAsConst(couponList)) {
        if (c->couponNo == p_CouponNo) {
            ShowMessage(tr("此券已经添加"));
            return;
        }
    }
    auto* coupon = new CouponRec;
    QString error;
    if (!QueryCoupon(p_CouponNo, *coupon, error)) {
        delete coupon;
        // The blank after the caption is part of the text the cashier reads.
        ShowMessage(tr("券查询失败 ") + error);
        WriteLog(tr("券查询"), error);
        return;
    }
    couponList.append(coupon);
    // "2": the set as a whole was refused; a later good check can clear it.
    if (!CheckCoupons(couponList, error))
        RejectCouponSet(error, QStringLiteral("2"));
    couponWidget.SetCoupons(couponList);
}

void ZoVORDACtl::SlotCouponClear() {
    const QString couponNo = couponWidget.CurrentCouponNo();
    for (int i = couponList.size() - 1; i >= 0; --i) {
        if (couponList.at(i)->couponNo == couponNo)
            delete couponList.takeAt(i);
    }
    QString error;
    // After a clear the remaining coupons are simply not usable ("0"), unlike a
    // refused add which marks the whole set as failed ("2").
    if (!couponList.isEmpty() && !CheckCoupons(couponList, error))
        RejectCouponSet(error, QStringLiteral("0"));
    couponWidget.SetCoupons(couponList);
}

void ZoVORDACtl::RejectCouponSet(const QString& p_sError, const QString& p_sFlag) {
    // The blank after the caption is part of the text the cashier reads.
    ShowMessage(tr("券校验失败 ") + p_sError);
    WriteLog(tr("券校验"), p_sError);
    for (CouponRec* c : qAsConst(couponList)) {
        c->useFlag = p_sFlag;
        c->payValue = 0.0;
    }
}
