#pragma once
#include <QString>

// What the CRM answered to a settlement.
struct SettlementRec {
    QString points;      // "cent": earned by this order
    QString pointsTotal; // "sum_cent"
    QString ticketText;  // "sendticket": the issued coupons for the receipt
};
