#include "core/Formats.h"
#include "core/ZoVORDACtl.h"
#include "crm/CrmReply.h"
#include "tender/CouponListReply.h"

bool ZoVORDACtl::TenderSale(QString& p_sError) {
    if (tenderRec.pay_type == QLatin1String("Q")) {
        ClearCoupons();
        couponWidget.InitTable();
        // While the dialog is open the coupon slots fill couponList.
        if (couponWidget.Exec() == 0) {
            p_sError = QStringLiteral("CLOSE");
            return false;
        }
        if (couponList.isEmpty()) {
            p_sError = tr("未录入券");
            return false;
        }
        QVariantList coupons;
        for (const CouponRec* c : qAsConst(couponList)) {
            if (c->useFlag == QLatin1String("1"))
                coupons.append(QVariantMap{{QStringLiteral("coupon_no"), c->couponNo}});
        }
        if (coupons.isEmpty()) {
            p_sError = tr("没有可用的券");
            return false;
        }
        const QVariantMap body{{QStringLiteral("shop_id"), shop_id},
                               {QStringLiteral("order_id"), tenderRec.bill_no},
                               {QStringLiteral("member_id"), tenderRec.vip_cardid},
                               {QStringLiteral("detail_list"), CouponGoodsDetails()},
                               {QStringLiteral("coupon_list"), coupons}};
        QString reply;
        if (!PostCrm(QStringLiteral("pmb023"), tr("券核销报文"), body, reply, p_sError))
            return false;
        QVariantMap data;
        if (ReadCrmReply(reply, TenderReplyTexts(tr("券核销异常")), data, p_sError) !=
            CrmReplyStatus::Accepted)
            return false;
        // The serials written before a broken element stay: those coupons are written off.
        return ReadCouponList(
            data,
            {{QStringLiteral("payflow"), tr("券参数payflow不完整")},
             {QStringLiteral("coupon_no"), tr("券参数coupon_no不完整")}},
            [this](const QVariantMap& element) {
                const QString couponNo = element.value(QStringLiteral("coupon_no")).toString();
                for (CouponRec* c : qAsConst(couponList)) {
                    if (c->couponNo == couponNo)
                        c->payflow = element.value(QStringLiteral("payflow")).toString();
                }
            },
            p_sError);
    }

    if (tenderRec.pay_type != QLatin1String("J"))
        return false;

    if (!VerifyMember(tenderRec.vip_cardid, p_sError)) {
        p_sError = tr("会员验证失败 ") + p_sError;
        return false;
    }
    if (!CheckMemberPassword(p_sError)) {
        if (p_sError != QLatin1String("CLOSE"))
            p_sError = tr("密码验证失败 ") + p_sError;
        return false;
    }
    if (jfPayWidget.Exec(memberRec.balance, Formats::Money(tenderRec.tr_amt),
                         tr("【Esc】：返回   【Enter】：确定   【Backspace】：删除")) == 0) {
        p_sError = QStringLiteral("CLOSE");
        return false;
    }
    const double amount = jfPayWidget.m_sInput.toDouble();
    // The bound is checked at two decimals: 10.004 against 10 passes, 10.01 does not.
    if (amount > tenderRec.tr_amt && Formats::Money(amount) != Formats::Money(tenderRec.tr_amt)) {
        p_sError = tr("支付金额请勿大于输入的待付金额");
        return false;
    }
    if (!PayByPoints(amount, QStringLiteral("1"), p_sError))
        return false;
    tenderRec.AmountTotal = jfPayWidget.m_sInput.toDouble();
    return true;
}
