#pragma once
#include "model/Kinds.h"
#include "model/Money.h"

#include <QString>

// One coupon of the current tender.
struct CouponRec {
    QString couponNo;
    QString ticketName;
    Cents amount = 0; // what it takes off the sale; negative when refunded
    CouponUse use = CouponUse::NotUsable;
    QString payflow; // the CRM's write-off serial
};
