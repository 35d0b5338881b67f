#pragma once
#include "model/GoodsLine.h"
#include "model/Kinds.h"
#include "model/Money.h"
#include "model/PayLineRec.h"

#include <QList>
#include <QString>

// A tender request of the host: its head, the product lines and, for a coupon
// refund, the payment lines of the sale and of the refund so far.
struct TenderRec {
    PayType payType = PayType::Other;
    TxnType txnType = TxnType::Other;
    QString txnText; // as the host wrote it, for the log
    QString shopCode;
    QString posNo;
    QString operCode;
    QString bizDate;
    QString billNo;
    QString saleNo;
    QString oriBillNo;
    QString oriSaleNo;
    QString cardNo;   // "vip_cardno"
    QString memberId; // "vip_cardid"
    QString memberSysType;
    QString payCode;
    QString payName;
    Cents orderAmount = 0; // without sign
    Cents amount = 0;      // "tr_amt", without sign
    // "tr_amt" without sign and unrounded: a points refund answers the host's own
    // figure back (0.006 comes back as -0.006 although a cent is given back).
    double amountAsSent = 0;
    QList<GoodsLine> goods;
    QList<PayLineRec> salePays;   // "pays" of UdpIn1
    QList<PayLineRec> refundPays; // "paysnow" of UdpIn1
};
