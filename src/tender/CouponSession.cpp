#include "tender/CouponSession.h"

#include "log/PayLogger.h"
#include "model/CallState.h"
#include "tender/CouponCheck.h"

#include <algorithm>

CouponSession::CouponSession(CallState& state, CouponCheck& check, Cashier& cashier, const PayLogger& log)
    : m_state(state), m_check(check), m_cashier(cashier), m_log(log) {}

QList<CouponRec> CouponSession::addCoupon(const QString& couponNo) {
    QList<CouponRec>& coupons = m_state.coupons;
    const auto sameNo = [&couponNo](const CouponRec& c) { return c.couponNo == couponNo; };
    if (std::any_of(coupons.cbegin(), coupons.cend(), sameNo)) {
        m_cashier.showMessage(tr("此券已经添加"));
        return coupons;
    }
    CouponRec coupon;
    const Outcome found = m_check.query(m_state, couponNo, coupon);
    if (!found.isDone()) {
        // The blank after the caption is part of the text the cashier reads.
        m_cashier.showMessage(tr("券查询失败 ") + found.hostText());
        m_log.write(tr("券查询"), found.hostText());
        return coupons;
    }
    coupons.append(coupon);
    // The set as a whole was refused; a later good check can clear it.
    const Outcome checked = m_check.check(m_state, coupons);
    if (!checked.isDone())
        rejectSet(checked.hostText(), CouponUse::SetRefused);
    return coupons;
}

QList<CouponRec> CouponSession::removeCoupon(const QString& couponNo) {
    QList<CouponRec>& coupons = m_state.coupons;
    coupons.erase(std::remove_if(coupons.begin(), coupons.end(),
                                 [&couponNo](const CouponRec& c) { return c.couponNo == couponNo; }),
                  coupons.end());
    // After a removal the remaining coupons are simply not usable, unlike a refused
    // add, which marks the whole set as refused.
    if (!coupons.isEmpty()) {
        const Outcome checked = m_check.check(m_state, coupons);
        if (!checked.isDone())
            rejectSet(checked.hostText(), CouponUse::NotUsable);
    }
    return coupons;
}

void CouponSession::rejectSet(const QString& error, CouponUse use) {
    // The blank after the caption is part of the text the cashier reads.
    m_cashier.showMessage(tr("券校验失败 ") + error);
    m_log.write(tr("券校验"), error);
    for (CouponRec& c : m_state.coupons) {
        c.use = use;
        c.amount = 0;
    }
}
