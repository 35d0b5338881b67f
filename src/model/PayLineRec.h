#pragma once
#include "model/Money.h"

#include <QString>

// One payment line of a sale: of the order being settled, of the sale a refund
// gives back, or of the refund itself.
struct PayLineRec {
    QString code; // the host's tender code
    QString name;
    QString payNo;        // the coupon number for a coupon line
    QString extranNo;     // the CRM's write-off serial for a coupon line
    double amount = 0;    // "pay_amt" / "pay_amount", as the host gave it
    Cents paidAmount = 0; // "zf_amount", settled orders only
};
