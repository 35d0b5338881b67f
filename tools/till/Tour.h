#pragma once

// A day at the demo till, played against the CRM simulator in business mode: the
// morning sign-in, member look-ups (with a choice between two members and a
// password typed wrong first), a points sale, a coupon sale, a big sale that earns
// a coupon, a points refund and a coupon refund, and finally a CRM outage in which
// the member is found in the till's own member table. Every call is printed, every
// dialog the cashier saw is photographed, and every result is checked.

#include "CashierRobot.h"

#include <QJsonArray>
#include <QString>
#include <QStringList>

class TillWindow;
struct CallResult;

class Tour {
public:
    Tour(TillWindow& till, const QString& pictureDir, const QString& crmUrl, const QString& membersDb);

    int run(); // 0 when the whole day went to plan

private:
    void step(const QString& title);
    void afterCall();
    CashierRobot::Action reads(const QString& expected);

    // The day's steps, in order; the refunds take back the sales before them.
    void signIn();
    void saleWithChoice();
    void saleWithPassword();
    void pointsPayment();
    void couponSale();
    void bigSale();
    void pointsRefund();
    void couponRefund();
    void crmOutage();
    void check(bool good, const QString& what);
    void checkEqual(const QString& actual, const QString& expected, const QString& what);
    void checkResult(const CallResult& call, const QString& what);

    TillWindow& m_till;
    QString m_pictureDir;
    QString m_crmUrl;
    QString m_membersDb;
    int m_step = 0;
    int m_checks = 0;
    QStringList m_failures;
    CashierRobot m_cashier;
    QString m_pointsBill; // the points sale, refunded in the afternoon
    QString m_couponBill; // the coupon sale, refunded in the afternoon
    QJsonArray m_written; // its coupons as written off
    double m_couponSum = 0;
};
