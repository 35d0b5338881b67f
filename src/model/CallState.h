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
    Cents paid = 0; // what the tender paid (negative for a refund)

    void reset(const QString& currentShopId) { *this = CallState{currentShopId, {}, {}, {}, {}, 0}; }
};
