#pragma once
#include "model/GoodsLine.h"
#include "model/Money.h"
#include "model/PayLineRec.h"

#include <QList>
#include <QString>

// A finished order to settle against the member's account. Amounts are kept as the
// host signed them; the CRM receives them without sign.
struct OrderRec {
    QString storeId;
    QString stationId;
    QString operatorId;
    QString businessDate;
    QString posSaleNo;
    QString posBillNo;
    QString saleBeginTime;
    QString cardNo;
    QString memberId;
    QString saleType;
    QString oldPosSaleNo;
    QString oldPosBillNo;
    QString adviserNo; // "emp_id"
    QString bizType;
    QString sourceBillNo;
    double pieceTotal = 0.0; // "plucounttotal"
    double shouldTotal = 0;  // as the host gave them
    double actualTotal = 0;
    QList<GoodsLine> goods;
    QList<PayLineRec> pays;
};
