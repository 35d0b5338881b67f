#pragma once
#include "model/Outcome.h"
#include "tender/CouponCheck.h"

#include <QCoreApplication>

class Cashier;
class CrmClient;
class PayLogger;
struct CallState;

// Paying with coupons: the cashier enters them, the CRM checks them and writes the
// usable ones off. A refund gives back the coupons of the original sale.
class CouponTender {
    Q_DECLARE_TR_FUNCTIONS(CouponTender)
public:
    CouponTender(CrmClient& crm, Cashier& cashier, const PayLogger& log);

    Outcome sale(CallState& state);
    Outcome refund(CallState& state);

    // Reads an accepted write-off: each coupon the CRM names gets its write-off serial.
    static Outcome readWriteOff(const QVariantMap& data, QList<CouponRec>& coupons);

private:
    Outcome writeOff(CallState& state);

    CrmClient& m_crm;
    Cashier& m_cashier;
    const PayLogger& m_log;
    CouponCheck m_check;
};
