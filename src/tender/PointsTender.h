#pragma once
#include "model/Money.h"
#include "model/Outcome.h"

#include <QCoreApplication>

class Cashier;
class CrmClient;
class MemberPassword;
class MemberVerification;
struct CallState;

// Part of a sale paid with the member's points, and points given back by a refund.
class PointsTender {
    Q_DECLARE_TR_FUNCTIONS(PointsTender)
public:
    PointsTender(CrmClient& crm, MemberVerification& verification, MemberPassword& password,
                 Cashier& cashier);

    // The member of the head is verified and keys his password, the cashier keys the
    // amount (at most the amount due), and the CRM debits it.
    Outcome sale(CallState& state);
    // The whole tender amount goes back to the member, naming the original bill.
    Outcome refund(CallState& state);

private:
    Outcome post(const CallState& state, Cents amount, bool refund);

    CrmClient& m_crm;
    MemberVerification& m_verification;
    MemberPassword& m_password;
    Cashier& m_cashier;
};
