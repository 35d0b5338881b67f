#pragma once
#include "model/Money.h"
#include "model/PointAccountRec.h"

#include <QList>
#include <QString>

#include <optional>

// A member as the CRM or the local member table knows him.
struct MemberRec {
    QString memberId; // the CRM's id ("vipcardid" to the host)
    QString cardNo;   // "code" to the host
    QString gradeCode;
    QString gradeName;
    QString name;
    QString birthday;
    QString mobile;
    QString address;
    // The local member table knows no points: then these stay empty.
    std::optional<qint64> points;
    std::optional<double> pointsCash; // the sum of the accounts' cash
    QList<PointAccountRec> accounts;
};
