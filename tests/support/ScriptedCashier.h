#pragma once
// A cashier whose answers a test writes down beforehand, for tests of an operation
// where the dialogs are not what is being tested (the dialogs have their own suite,
// driven by the robot). Every question takes the next answer of its own queue; an
// empty optional backs out. A question nobody scripted backs out too and is noted,
// and so is an answer left over.
#include "ui/Cashier.h"

#include <QStringList>

#include <functional>

class ScriptedCashier : public Cashier {
public:
    QList<std::optional<QString>> codes, passwords, amounts, choices;
    QList<bool> signins;
    // The coupon dialog: what the cashier does with the desk; true confirms.
    QList<std::function<bool(CouponDesk&)>> couponRuns;

    // What the cashier saw.
    QStringList messages;
    QStringList passwordHelp;                 // the card number shown beside each password entry
    QList<QPair<QString, QString>> amountAsked; // (points cash, amount due)
    QList<QList<MemberRec>> choicesOffered;
    int busyShown = 0;
    bool busyUp = false;

    std::optional<QString> memberCode() override { return next(codes, "member code"); }
    std::optional<QString> password(const QString& cardNo) override {
        passwordHelp.append(cardNo);
        return next(passwords, "password");
    }
    std::optional<QString> pointsAmount(const QString& pointsCash, const QString& due) override {
        amountAsked.append({pointsCash, due});
        return next(amounts, "points amount");
    }
    std::optional<QString> chooseMember(const QList<MemberRec>& candidates) override {
        choicesOffered.append(candidates);
        return next(choices, "member choice");
    }
    bool wantsSignin() override {
        if (signins.isEmpty()) {
            unexpected.append("member management");
            return false;
        }
        return signins.takeFirst();
    }
    bool collectCoupons(CouponDesk& desk) override {
        if (couponRuns.isEmpty()) {
            unexpected.append("coupon dialog");
            return false;
        }
        return couponRuns.takeFirst()(desk);
    }
    void showMessage(const QString& text) override { messages.append(text); }
    void showBusy(const QString&) override {
        ++busyShown;
        busyUp = true;
    }
    void hideBusy() override { busyUp = false; }

    // Questions nobody scripted and answers nobody asked for; empty when all went to script.
    QStringList problems() const {
        QStringList all = unexpected;
        const auto left = [&all](int n, const char* what) {
            if (n)
                all.append(QStringLiteral("%1 %2 answer(s) never asked for").arg(n).arg(what));
        };
        left(codes.size(), "member code");
        left(passwords.size(), "password");
        left(amounts.size(), "amount");
        left(choices.size(), "choice");
        left(signins.size(), "sign-in");
        left(couponRuns.size(), "coupon");
        return all;
    }

private:
    std::optional<QString> next(QList<std::optional<QString>>& queue, const char* what) {
        if (queue.isEmpty()) {
            unexpected.append(QStringLiteral("unexpected %1 question").arg(what));
            return std::nullopt;
        }
        return queue.takeFirst();
    }
    QStringList unexpected;
};

#define VERIFY_SCRIPT(cashier) QVERIFY2((cashier).problems().isEmpty(), qPrintable((cashier).problems().join("; ")))
