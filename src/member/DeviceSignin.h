#pragma once
#include "model/Outcome.h"

#include <QCoreApplication>
#include <QString>
#include <QVariantMap>

#include <optional>

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

    // What an accepted sign-in reply gives the till.
    struct Reply {
        // Kept as soon as the reply carries it, even when the shop id is missing after it.
        std::optional<QString> token;
        QString shopId;
    };
    // Reads the "data" node of an accepted sign-in reply; storeId names the store in the
    // message of a disabled one.
    static Outcome readReply(const QVariantMap& data, const QString& storeId, Reply& reply);

private:
    void keepCompanionRunning();

    CrmClient& m_crm;
    const PayLogger& m_log;
};
