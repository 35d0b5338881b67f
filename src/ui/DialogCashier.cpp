#include "ui/DialogCashier.h"

#include "ui/CouponWidget.h"
#include "ui/JFPayWidget.h"
#include "ui/MemberLogin.h"
#include "ui/MemberManage.h"
#include "ui/MessageWidget.h"
#include "ui/VipSelection.h"
#include "ui/WaitWidget.h"

#include <QCoreApplication>

namespace {
// The dialog, built on first use and kept for the next.
template <typename Dialog, typename... Args> Dialog& built(std::unique_ptr<Dialog>& dialog, Args... args) {
    if (!dialog)
        dialog = std::make_unique<Dialog>(args...);
    return *dialog;
}
} // namespace

struct DialogCashier::Dialogs {
    std::unique_ptr<MemberLogin> memberLogin;
    std::unique_ptr<JFPayWidget> pointsPay;
    std::unique_ptr<VipSelection> selection;
    std::unique_ptr<MemberManage> manage;
    std::unique_ptr<CouponWidget> coupons;
    std::unique_ptr<MessageWidget> message;
    std::unique_ptr<WaitWidget> busy;
};

DialogCashier::DialogCashier() : d(std::make_unique<Dialogs>()) {}

DialogCashier::~DialogCashier() = default;

std::optional<QString> DialogCashier::memberCode() {
    MemberLogin& login = built(d->memberLogin);
    if (login.run(QCoreApplication::translate("DialogCashier", "会员验证"), QString()) == 0)
        return std::nullopt;
    return login.input();
}

std::optional<QString> DialogCashier::password(const QString& cardNo) {
    MemberLogin& login = built(d->memberLogin);
    if (login.run(QCoreApplication::translate("DialogCashier", "会员密码验证"),
                  QCoreApplication::translate("DialogCashier", "会员：") + cardNo) == 0)
        return std::nullopt;
    return login.input();
}

std::optional<QString> DialogCashier::pointsAmount(const QString& pointsCash, const QString& due) {
    JFPayWidget& pay = built(d->pointsPay);
    if (pay.run(pointsCash, due,
                QCoreApplication::translate("DialogCashier",
                                            "【Esc】：返回   【Enter】：确定   【Backspace】：删除")) == 0)
        return std::nullopt;
    return pay.input();
}

std::optional<QString> DialogCashier::chooseMember(const QList<MemberRec>& candidates) {
    VipSelection& selection = built(d->selection);
    if (selection.run(candidates) != 1)
        return std::nullopt;
    return selection.cardNo();
}

bool DialogCashier::wantsSignin() {
    return built(d->manage).run() == 1;
}

bool DialogCashier::collectCoupons(CouponDesk& desk) {
    CouponWidget& w = built(d->coupons);
    w.clearTable();
    const auto add = QObject::connect(&w, &CouponWidget::couponEntered,
                                      [&](const QString& no) { w.setCoupons(desk.addCoupon(no)); });
    const auto clear = QObject::connect(&w, &CouponWidget::clearRequested,
                                        [&]() { w.setCoupons(desk.removeCoupon(w.currentCouponNo())); });
    const int result = w.run();
    QObject::disconnect(add);
    QObject::disconnect(clear);
    return result != 0;
}

void DialogCashier::showMessage(const QString& text) {
    built(d->message, 1, false).showMessage(text, 3, false);
}

void DialogCashier::showBusy(const QString& text) {
    WaitWidget& busy = built(d->busy);
    busy.setMessage(text);
    busy.showFullScreen();
    busy.repaint();
}

void DialogCashier::hideBusy() {
    if (d->busy)
        d->busy->close();
}
