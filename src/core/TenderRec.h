#pragma once
#include <QString>

// The head of a tender call and the amount the tender paid.
struct TenderRec {
    double order_amount = 0.0;
    double tr_amt = 0.0;
    QString oper_code;
    QString pos_no;
    QString shop_code;
    QString tr_bizdate;
    QString pay_type;
    QString txn_type;
    QString bill_no;
    QString sale_no;
    QString oribill_no;
    QString orisale_no;
    QString vip_cardno;
    QString vip_cardid;
    QString vip_systype;
    QString pay_code;
    QString pay_name;
    double AmountTotal = 0.0;
    QString MchOrderNo;
    QString CardNo;
    QString OtherInfo;
};
