#pragma once
#include <QString>

// One coupon of the current tender. useFlag: "0" not (yet) usable, "1" usable,
// "2" the last check of the whole set failed; the CRM may send other texts.
struct CouponRec {
    QString couponNo;
    QString ticketName;
    double payValue = 0.0;
    QString useFlag;
    QString payflow;
};
