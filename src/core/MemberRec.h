#pragma once
#include "core/PointAccountRec.h"
#include <QList>
#include <QString>

// The member call's request context and the member it identified.
struct MemberRec {
    QString store_id;
    QString station_id;
    QString operator_id;
    QString business_date;
    QString inputCode;
    QString inputCardId;
    QString type_code;
    QString type_name;
    QString name;
    QString code;
    QString vipcardid;
    QString birthday;
    QString score;
    QString phone;
    QString balance;
    QString address;
    QList<PointAccountRec> jfRecords;
};
