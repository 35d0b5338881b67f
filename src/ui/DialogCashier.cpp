#include "ui/DialogCashier.h"

#include "ui/CouponWidget.h"
#include "ui/JFPayWidget.h"
#include "ui/MemberLogin.h"
#include "ui/MemberManage.h"
#include "ui/MessageWidget.h"
#include "ui/VipSelection.h"
#include "ui/WaitWidget.h"

#include <QCoreApplication>

struct DialogCashier::Dialogs {
    MemberLogin memberLogin;
    JFPayWidget jfPay;
    VipSelection selection;
    MemberManage manage;
    CouponWidget coupons;
    MessageWidget message{1, false};
    std::unique_ptr<WaitWidget> busy;
};

DialogCashier::DialogCashier() : d(std::make_unique<Dialogs>()) {}

DialogCashier::~DialogCashier() = default;

std::optional<QString> DialogCashier::memberCode() {
    if (d->memberLogin.Exec(QCoreApplication::translate("DialogCashier", "会员验证"), QString()) == 0)
        return std::nullopt;
    return d->memberLogin.m_sInput;
}

std::optional<QString> DialogCashier::password(const QString& cardNo) {
    if (d->memberLogin.Exec(QCoreApplication::translate("DialogCashier", "会员密码验证"),
                            QCoreApplication::translate("DialogCashier", "会员：") + cardNo) == 0)
        return std::nullopt;
    return d->memberLogin.m_sInput;
}

std::optional<QString> DialogCashier::pointsAmount(const QString& pointsCash, const QString& due) {
    if (d->jfPay.Exec(pointsCash, due,
                      QCoreApplication::translate(
                          "DialogCashier", "【Esc】：返回   【Enter】：确定   【Backspace】：删除")) == 0)
        return std::nullopt;
    return d->jfPay.m_sInput;
}

std::optional<QString> DialogCashier::chooseMember(const QList<MemberRec>& candidates) {
    if (d->selection.SelectMember(candidates) != 1)
        return std::nullopt;
    return d->selection.m_sCardNo;
}

bool DialogCashier::wantsSignin() {
    return d->manage.Exec() == 1;
}

bool DialogCashier::collectCoupons(CouponDesk& desk) {
    CouponWidget& w = d->coupons;
    w.InitTable();
    const auto add = QObject::connect(&w, &CouponWidget::SignCouponCheck,
                                      [&](const QString& no) { w.SetCoupons(desk.addCoupon(no)); });
    const auto clear = QObject::connect(&w, &CouponWidget::SignCouponClear,
                                        [&]() { w.SetCoupons(desk.removeCoupon(w.CurrentCouponNo())); });
    const int result = w.Exec();
    QObject::disconnect(add);
    QObject::disconnect(clear);
    return result != 0;
}

void DialogCashier::showMessage(const QString& text) {
    d->message.showMessage(text, 3, false);
}

void DialogCashier::showBusy(const QString& text) {
    d->busy = std::make_unique<WaitWidget>();
    d->busy->SetMessage(text);
    d->busy->showFullScreen();
    d->busy->repaint();
}

void DialogCashier::hideBusy() {
    if (d->busy)
        d->busy->close();
    d->busy.reset();
}
