#pragma once
#include "model/CouponRec.h"

#include <QCoreApplication>
#include <QList>
#include <QString>

#include "ui/Cashier.h"

class CouponCheck;
class PayLogger;
struct CallState;

// The coupons of one coupon sale while the cashier enters them: each coupon added
// is looked up, and after every change the whole set is checked again.
class CouponSession : public CouponDesk {
    Q_DECLARE_TR_FUNCTIONS(CouponSession)
public:
    CouponSession(CallState& state, CouponCheck& check, Cashier& cashier, const PayLogger& log);

    QList<CouponRec> addCoupon(const QString& couponNo) override;
    QList<CouponRec> removeCoupon(const QString& couponNo) override;

private:
    // A refused check of the set: tell the cashier, log it, and mark every coupon
    // with this use and no amount.
    void rejectSet(const QString& error, CouponUse use);

    CallState& m_state;
    CouponCheck& m_check;
    Cashier& m_cashier;
    const PayLogger& m_log;
};
