#pragma once
#include "ui/Cashier.h"

#include <memory>

// The cashier answering through the plug-in's full-screen dialogs. Each dialog is
// built the first time it is needed and kept for the next.
class DialogCashier : public Cashier {
public:
    DialogCashier();
    ~DialogCashier() override;

    std::optional<QString> memberCode() override;
    std::optional<QString> password(const QString& cardNo) override;
    std::optional<QString> pointsAmount(const QString& pointsCash, const QString& due) override;
    std::optional<QString> chooseMember(const QList<MemberRec>& candidates) override;
    bool wantsSignin() override;
    bool collectCoupons(CouponDesk& desk) override;
    void showMessage(const QString& text) override;
    void showBusy(const QString& text) override;
    void hideBusy() override;

private:
    struct Dialogs;
    std::unique_ptr<Dialogs> d;
};
