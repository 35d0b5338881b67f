#pragma once
#include <QString>

// One payment line of the sale being refunded (or of the refund itself).
struct OriPayRec {
    QString pay_amt;
    QString code;
    QString name;
    QString payno;
    QString extranno;
};
