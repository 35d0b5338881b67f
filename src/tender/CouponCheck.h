#pragma once
#include "model/CouponRec.h"
#include "model/Outcome.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QList>
#include <QPair>
#include <QString>
#include <QVariantMap>

#include <functional>

class CrmClient;
struct CallState;

// What the CRM says about coupons: one coupon looked up by its number, and the whole
// set checked against the sale (which of them may be used, and for how much).
class CouponCheck {
    Q_DECLARE_TR_FUNCTIONS(CouponCheck)
public:
    explicit CouponCheck(CrmClient& crm);

    // A coupon the CRM knows: its name, not yet usable.
    Outcome query(const CallState& state, const QString& couponNo, CouponRec& coupon);
    // Every coupon of the set gets the use and amount the CRM decided.
    Outcome check(const CallState& state, QList<CouponRec>& coupons);

    // Reads an accepted coupon query: the coupon couponNo with the name the CRM gave it.
    static Outcome readQuery(const QVariantMap& data, const QString& couponNo, CouponRec& coupon);
    // Reads an accepted check of the set: each coupon the CRM names gets its use and amount.
    static Outcome readCheck(const QVariantMap& data, QList<CouponRec>& coupons);

    // The product lines as the coupon check and the write-off send them.
    static QJsonArray goodsDetails(const CallState& state);
    // Reads the "coupon_list" of a check or write-off reply. No list: "无券相关明细".
    // Every element must carry the required keys, checked in the order given; the
    // first one missing ends the reading with its message. Elements applied before a
    // broken one stay applied: the CRM decided them.
    static Outcome readCouponList(const QVariantMap& data, const QList<QPair<QString, QString>>& required,
                                  const std::function<void(const QVariantMap&)>& apply);

private:
    CrmClient& m_crm;
};
