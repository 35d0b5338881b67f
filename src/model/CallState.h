#pragma once
#include "model/CouponRec.h"
#include "model/MemberRec.h"
#include "model/Money.h"
#include "model/SettlementRec.h"
#include "model/TenderRec.h"

#include <QList>
#include <QString>

// The records of one call of the host, emptied as a whole when the next call begins.
struct CallState {
    QString shopId; // the CRM's id of this shop, from the last sign-in
    MemberRec member;
    SettlementRec settlement;
    TenderRec tender;
    QList<CouponRec> coupons;
    // What the points paid, as the host reads it back: its own figure unrounded (the
    // amount keyed or the refund's "tr_amt"), negative for a refund.
    double paid = 0;

    void reset(const QString& currentShopId) { *this = CallState{currentShopId, {}, {}, {}, {}, 0}; }
};
