#include "core/Formats.h"
#include "core/ZoVORDACtl.h"

#include <algorithm>

bool ZoVORDACtl::TenderRefund(QString& p_sError) {
    if (tenderRec.pay_type == QLatin1String("J")) {
        if (!PayByPoints(tenderRec.tr_amt, QStringLiteral("-1"), p_sError))
            return false;
        tenderRec.AmountTotal = -tenderRec.tr_amt;
        return true;
    }
    if (tenderRec.pay_type != QLatin1String("Q"))
        return false;

    // Coupons go back without asking the CRM: the refund lists them with their
    // write-off serials and negative amounts, and the host returns them.
    ClearCoupons();
    if (oriPays.isEmpty()) {
        p_sError = tr("非原单退货不允许进行退券操作");
        return false;
    }
    double paidTotal = 0.0;
    for (const OriPayRec& line : qAsConst(oriPays))
        paidTotal += line.pay_amt.toDouble();
    // Only a refund of the whole sale may return coupons.
    if (Formats::Money(tenderRec.order_amount) != Formats::Money(paidTotal)) {
        p_sError = tr("部分退货时不允许进行退券操作");
        return false;
    }
    const auto otherTender = [this](const OriPayRec& line) { return line.code != tenderRec.pay_code; };
    oriPaysNow.erase(std::remove_if(oriPaysNow.begin(), oriPaysNow.end(), otherTender), oriPaysNow.end());
    oriPays.erase(std::remove_if(oriPays.begin(), oriPays.end(), otherTender), oriPays.end());
    // A coupon this refund transaction already returned is not returned twice.
    const auto returnedAlready = [this](const OriPayRec& line) {
        return std::any_of(oriPaysNow.cbegin(), oriPaysNow.cend(),
                           [&line](const OriPayRec& now) { return now.payno == line.payno; });
    };
    oriPays.erase(std::remove_if(oriPays.begin(), oriPays.end(), returnedAlready), oriPays.end());
    if (oriPays.isEmpty()) {
        p_sError = tr("原单中不存在可退的券");
        return false;
    }
    double total = 0.0;
    for (const OriPayRec& line : qAsConst(oriPays)) {
        auto* coupon = new CouponRec;
        coupon->couponNo = line.payno;
        coupon->payValue = -line.pay_amt.toDouble();
        coupon->useFlag = QStringLiteral("1");
        coupon->payflow = line.extranno;
        couponList.append(coupon);
        total += coupon->payValue;
    }
    tenderRec.AmountTotal = total;
    return true;
}

bool ZoVORDACtl::TenderCancel(QString& p_sError) {
    // A CRM tender, once paid, is undone by a refund only.
    p_sError = tr("该支付方式不允许清除");
    return false;
}
