#pragma once
#include "model/Kinds.h"
#include "model/Money.h"

#include <QString>

// One coupon of the current tender.
struct CouponRec {
    QString couponNo;
    QString ticketName;
    // What it takes off the sale, as the CRM (or for a refund the sale's payment line)
    // gave it; negative when refunded.
    double amount = 0;
    CouponUse use = CouponUse::NotUsable;
    QString payflow; // the CRM's write-off serial
};
