#pragma once
#include "model/OrderRec.h"
#include "model/Outcome.h"
#include "model/SettlementRec.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QString>
#include <QVariantMap>

class CrmClient;

// Settles a finished order against the member's account: the CRM credits the
// points and issues coupons, whose text goes on the receipt.
class OrderSettlement {
    Q_DECLARE_TR_FUNCTIONS(OrderSettlement)
public:
    explicit OrderSettlement(CrmClient& crm);

    Outcome settle(const QString& shopId, const OrderRec& order, SettlementRec& result);

    // Reads the "data" node of an accepted settlement: the points and the issued coupons.
    static Outcome readReply(const QVariantMap& data, SettlementRec& result);

private:
    static QByteArray requestBody(const QString& shopId, const OrderRec& order);
    static QString ticketText(const QVariantMap& data);

    CrmClient& m_crm;
};
