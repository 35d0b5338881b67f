#include "tender/CouponListReply.h"

#include <QCoreApplication>

bool ReadCouponList(const QVariantMap& p_Data, const QList<QPair<QString, QString>>& p_Required,
                    const std::function<void(const QVariantMap&)>& p_Apply, QString& p_sError) {
    if (!p_Data.contains(QStringLiteral("coupon_list"))) {
        p_sError = QCoreApplication::translate("ZoVORDACtl", "无券相关明细");
        return false;
    }
    for (const QVariant& item : p_Data.value(QStringLiteral("coupon_list")).toList()) {
        const QVariantMap element = item.toMap();
        for (const auto& key : p_Required) {
            if (!element.contains(key.first)) {
                p_sError = key.second;
                return false;
            }
        }
        p_Apply(element);
    }
    return true;
}
