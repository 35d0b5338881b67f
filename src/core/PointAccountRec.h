#pragma once
#include <QString>

// One point account of a member: points and the cash they are worth.
struct PointAccountRec {
    QString JfTotal;
    QString BalanceJfTotal;
    QString PrjCode;
    QString PrjName;
};
