#pragma once
#include "model/MemberRec.h"
#include "model/Outcome.h"

#include <QCoreApplication>
#include <QList>
#include <QString>
#include <QVariantMap>

class Cashier;
class CrmClient;
class MemberStore;
class PayLogger;

// Finds a member by card number, phone number, member number or name: at the CRM,
// or in the till's own member table when the CRM cannot be reached. When several
// match, the cashier chooses one.
class MemberVerification {
    Q_DECLARE_TR_FUNCTIONS(MemberVerification)
public:
    MemberVerification(CrmClient& crm, MemberStore& store, Cashier& cashier, const PayLogger& log);

    // On success member is the one found; otherwise it is left as it was.
    Outcome verify(const QString& shopId, const QString& key, MemberRec& member);

    // Reads the members of an accepted member query ("memberinfo"); the first member
    // that lacks a required key ends the reading with its message.
    static Outcome readCandidates(const QVariantMap& data, QList<MemberRec>& candidates);

private:
    static Outcome readMember(const QVariantMap& info, MemberRec& member);
    Outcome choose(const QList<MemberRec>& candidates, MemberRec& member);

    CrmClient& m_crm;
    MemberStore& m_store;
    Cashier& m_cashier;
    const PayLogger& m_log;
};
