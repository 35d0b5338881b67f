#pragma once
#include "model/CouponRec.h"
#include "model/MemberRec.h"

#include <QList>
#include <QString>

#include <optional>

// While the coupon dialog is open the cashier adds and removes coupons; whoever
// opened it checks each change with the CRM and answers the list to show.
class CouponDesk {
public:
    virtual ~CouponDesk() = default;
    virtual QList<CouponRec> addCoupon(const QString& couponNo) = 0;
    virtual QList<CouponRec> removeCoupon(const QString& couponNo) = 0;
};

// What an operation may ask of the person at the till. Every question blocks until
// the cashier answered; an empty optional (or false) means he backed out. The real
// answers come from the full-screen dialogs; a test may script them instead.
class Cashier {
public:
    virtual ~Cashier() = default;

    // A member's card number, phone number, member number or name.
    virtual std::optional<QString> memberCode() = 0;
    // The member's password; the member's card number is shown beside the entry.
    virtual std::optional<QString> password(const QString& cardNo) = 0;
    // The amount to pay with points, given the cash value of the member's points
    // ("32.5") and the amount due ("10.00").
    virtual std::optional<QString> pointsAmount(const QString& pointsCash, const QString& due) = 0;
    // One of several members: the chosen member's card number (empty if the
    // cashier confirmed an empty list).
    virtual std::optional<QString> chooseMember(const QList<MemberRec>& candidates) = 0;
    // The member management screen: true when the cashier asks for a sign-in.
    virtual bool wantsSignin() = 0;
    // The coupon dialog: true when the cashier confirmed the coupons he entered.
    virtual bool collectCoupons(CouponDesk& desk) = 0;

    virtual void showMessage(const QString& text) = 0;
    // The busy screen over the till while the CRM is asked; it is on screen and
    // painted when showBusy returns.
    virtual void showBusy(const QString& text) = 0;
    virtual void hideBusy() = 0;
};
