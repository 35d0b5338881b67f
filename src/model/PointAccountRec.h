#pragma once
#include "model/Money.h"

#include <QString>

// One point account of a member: its points and the cash they are worth.
struct PointAccountRec {
    QString code; // "PrjCode"
    QString name; // "PrjName"
    qint64 points = 0;
    double cash = 0; // as the CRM gave it
};
