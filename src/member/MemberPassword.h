#pragma once
#include "model/Outcome.h"

#include <QCoreApplication>
#include <QString>

class Cashier;
class CrmClient;
struct MemberRec;

// The member proves the account is his with its password, checked by the CRM.
class MemberPassword {
    Q_DECLARE_TR_FUNCTIONS(MemberPassword)
public:
    MemberPassword(CrmClient& crm, Cashier& cashier);

    // One attempt: the cashier keys the password in, the CRM checks it.
    Outcome check(const MemberRec& member);
    // For the business types that need it (3 and 6), up to ten attempts, each
    // refusal shown to the cashier; other business types pass at once.
    Outcome confirm(const QString& bizType, const MemberRec& member);

private:
    CrmClient& m_crm;
    Cashier& m_cashier;
};
