#pragma once
#include <QString>

// An order settlement request and what the CRM answered to it.
struct OrderRec {
    QString store_id;
    QString station_id;
    QString operator_id;
    QString business_date;
    QString pos_saleno;
    QString pos_billno;
    QString code;
    QString vipcardid;
    QString sale_type;
    QString old_pos_saleno;
    QString old_pos_billno;
    QString amount;
    QString emp_id;
    QString biztype;
    QString sourcebillno;
    QString plucounttotal;
    QString shouldtotal;
    QString actualtotal;
    QString pos_salebgntime;
    QString cent;
    QString sum_cent;
    QString sendticket;
};
