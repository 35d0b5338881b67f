#pragma once
#include <QList>
#include <QPair>
#include <QString>
#include <QVariantMap>

#include <functional>

// Reads the "coupon_list" of a coupon check or write-off reply. No list:
// "无券相关明细". Every element must carry the required keys, checked in the order
// given; the first one missing ends the reading with its message. Elements applied
// before a broken one stay applied: the CRM decided them.
bool ReadCouponList(const QVariantMap& p_Data, const QList<QPair<QString, QString>>& p_Required,
                    const std::function<void(const QVariantMap&)>& p_Apply, QString& p_sError);
