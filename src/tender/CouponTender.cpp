#include "tender/CouponTender.h"

#include "crm/CrmClient.h"
#include "model/CallState.h"
#include "tender/CouponSession.h"
#include "ui/Cashier.h"

#include <QJsonObject>

#include <algorithm>

CouponTender::CouponTender(CrmClient& crm, Cashier& cashier, const PayLogger& log)
    : m_crm(crm), m_cashier(cashier), m_log(log), m_check(crm) {}

Outcome CouponTender::sale(CallState& state) {
    CouponSession session(state, m_check, m_cashier, m_log);
    if (!m_cashier.collectCoupons(session))
        return Outcome::closed();
    if (state.coupons.isEmpty())
        return Outcome::failed(tr("未录入券"));
    return writeOff(state);
}

Outcome CouponTender::writeOff(CallState& state) {
    QJsonArray usable;
    double value = 0;
    for (const CouponRec& c : qAsConst(state.coupons)) {
        if (c.use == CouponUse::Usable) {
            usable.append(QJsonObject{{QStringLiteral("coupon_no"), c.couponNo}});
            value += c.amount;
        }
    }
    if (usable.isEmpty())
        return Outcome::failed(tr("没有可用的券"));
    const QJsonObject body{{QStringLiteral("shop_id"), state.shopId},
                           {QStringLiteral("order_id"), state.tender.billNo},
                           {QStringLiteral("member_id"), state.tender.memberId},
                           {QStringLiteral("detail_list"), CouponCheck::goodsDetails(state)},
                           {QStringLiteral("coupon_list"), usable}};
    // The journal keeps what the coupons take off the sale, as the check found them.
    const CrmReply reply = m_crm.moveMoney(
        {QStringLiteral("pmb023"), state.tender.billNo, state.tender.memberId, Money::generalFormat(value)},
        tr("券核销报文"), body, CrmReplyTexts::of(CrmReplyTexts::Of::CouponWriteOff));
    if (!reply.accepted())
        return reply.outcome();
    return readWriteOff(reply.data(), state.coupons);
}

Outcome CouponTender::readWriteOff(const QVariantMap& data, QList<CouponRec>& coupons) {
    // The serials written before a broken element stay: those coupons are written off.
    return CouponCheck::readCouponList(data,
                                       {{QStringLiteral("payflow"), tr("券参数payflow不完整")},
                                        {QStringLiteral("coupon_no"), tr("券参数coupon_no不完整")}},
                                       [&coupons](const QVariantMap& element) {
                                           const QString no =
                                               element.value(QStringLiteral("coupon_no")).toString();
                                           for (CouponRec& c : coupons) {
                                               if (c.couponNo == no)
                                                   c.payflow =
                                                       element.value(QStringLiteral("payflow")).toString();
                                           }
                                       });
}

Outcome CouponTender::refund(CallState& state) {
    // Coupons go back without asking the CRM: the refund lists them with their
    // write-off serials and negative amounts, and the host returns them. The call began
    // with an empty coupon list.
    TenderRec& t = state.tender;
    if (t.salePays.isEmpty())
        return Outcome::failed(tr("非原单退货不允许进行退券操作"));
    double paidTotal = 0;
    for (const PayLineRec& line : qAsConst(t.salePays))
        paidTotal += line.amount;
    // Only a refund of the whole sale may return coupons; the totals are compared in cents.
    if (t.orderAmount != Money::fromDouble(paidTotal))
        return Outcome::failed(tr("部分退货时不允许进行退券操作"));
    const auto otherTender = [&t](const PayLineRec& line) { return line.code != t.payCode; };
    t.refundPays.erase(std::remove_if(t.refundPays.begin(), t.refundPays.end(), otherTender),
                       t.refundPays.end());
    t.salePays.erase(std::remove_if(t.salePays.begin(), t.salePays.end(), otherTender), t.salePays.end());
    // A coupon this refund already returned is not returned twice.
    const auto returnedAlready = [&t](const PayLineRec& line) {
        return std::any_of(t.refundPays.cbegin(), t.refundPays.cend(),
                           [&line](const PayLineRec& now) { return now.payNo == line.payNo; });
    };
    t.salePays.erase(std::remove_if(t.salePays.begin(), t.salePays.end(), returnedAlready), t.salePays.end());
    if (t.salePays.isEmpty())
        return Outcome::failed(tr("原单中不存在可退的券"));
    for (const PayLineRec& line : qAsConst(t.salePays))
        state.coupons.append(
            CouponRec{line.payNo, QString(), -line.amount, CouponUse::Usable, line.extranNo});
    return Outcome::done();
}
