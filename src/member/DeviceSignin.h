#pragma once
#include "model/Outcome.h"

#include <QCoreApplication>
#include <QString>
#include <QVariantMap>

class CrmClient;
class PayLogger;

// Signs the till in to the CRM, which answers the token every later request carries
// and the CRM's id of the shop. Done once a day, before the first member call, and
// whenever the cashier asks for it; the companion program is kept running alongside.
class DeviceSignin {
    Q_DECLARE_TR_FUNCTIONS(DeviceSignin)
public:
    DeviceSignin(CrmClient& crm, const PayLogger& log);

    // On success shopId is the shop id the CRM answered.
    Outcome signin(const QString& storeId, QString& shopId);
    // Starts the companion program if it is not running, and signs in unless the
    // last sign-in was today.
    Outcome signinIfNeeded(const QString& storeId, QString& shopId);

private:
    Outcome readReply(const QVariantMap& data, const QString& storeId, QString& shopId);
    void keepCompanionRunning();

    CrmClient& m_crm;
    const PayLogger& m_log;
};
