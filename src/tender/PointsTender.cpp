#include "tender/PointsTender.h"

#include "crm/CrmClient.h"
#include "member/MemberPassword.h"
#include "member/MemberVerification.h"
#include "model/CallState.h"
#include "ui/Cashier.h"

#include <QJsonObject>
#include <QVariant>

PointsTender::PointsTender(CrmClient& crm, MemberVerification& verification, MemberPassword& password,
                           Cashier& cashier)
    : m_crm(crm), m_verification(verification), m_password(password), m_cashier(cashier) {}

Outcome PointsTender::sale(CallState& state) {
    const TenderRec& t = state.tender;
    const Outcome verified = m_verification.verify(state.shopId, t.memberId, state.member);
    if (!verified.isDone())
        return verified.prefixed(tr("会员验证失败 "));
    const Outcome password = m_password.check(state.member);
    if (password.isFailed())
        return password.prefixed(tr("密码验证失败 "));
    if (password.isClosed())
        return password;
    const QString pointsCash =
        state.member.pointsCash ? Money::generalFormat(*state.member.pointsCash) : QString();
    const std::optional<QString> keyed = m_cashier.pointsAmount(pointsCash, Money::twoDecimals(t.amount));
    if (!keyed)
        return Outcome::closed();
    // The bound is checked at two decimals: 10.004 against 10 passes, 10.01 does not.
    const Cents amount = Money::fromVariant(*keyed);
    if (amount > t.amount)
        return Outcome::failed(tr("支付金额请勿大于输入的待付金额"));
    const Outcome paid = post(state, amount, false);
    if (paid.isDone())
        state.paid = QVariant(*keyed).toDouble();
    return paid;
}

Outcome PointsTender::refund(CallState& state) {
    const Outcome refunded = post(state, state.tender.amount, true);
    if (refunded.isDone())
        state.paid = -state.tender.amountAsSent;
    return refunded;
}

Outcome PointsTender::post(const CallState& state, Cents amount, bool refund) {
    const TenderRec& t = state.tender;
    const QJsonObject body{
        {QStringLiteral("shop_id"), state.shopId},
        {QStringLiteral("order_id"), t.billNo},
        {QStringLiteral("member_id"), t.memberId},
        {QStringLiteral("type"), refund ? QStringLiteral("-1") : QStringLiteral("1")},
        // Two decimals with the sign kept: the CRM debits what it is told.
        {QStringLiteral("score_cash"), Money::twoDecimals(amount)},
        // Always present; only a refund names the sale it gives the points back for.
        {QStringLiteral("sorder_id"), refund ? t.oriBillNo : QString(QLatin1String(""))},
    };
    return m_crm
        .moveMoney({QStringLiteral("pmb020"), t.billNo, t.memberId, Money::twoDecimals(amount)},
                   tr("积分支付报文"), body, CrmReplyTexts::of(CrmReplyTexts::Of::PointsPayment))
        .outcome();
}
