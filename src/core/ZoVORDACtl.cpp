#include "core/ZoVORDACtl.h"

#include <QSettings>

const QString ZoVORDACtl::LogSource = QStringLiteral("ZoVORDA动态库");

ZoVORDACtl::ZoVORDACtl() : messageWidget(1, false) {
    connect(&waitThread, &QThread::finished, &eventLoop, &QEventLoop::quit, Qt::UniqueConnection);
    connect(&couponWidget, &CouponWidget::SignCouponCheck, this, &ZoVORDACtl::SlotCouponCheck,
            Qt::UniqueConnection);
    connect(&couponWidget, &CouponWidget::SignCouponClear, this, &ZoVORDACtl::SlotCouponClear,
            Qt::UniqueConnection);
}

ZoVORDACtl::~ZoVORDACtl() {
    ClearCoupons();
}

void ZoVORDACtl::ClearMember() {
    memberRec = MemberRec();
}

void ZoVORDACtl::ClearOrder() {
    orderRec = OrderRec();
}

void ZoVORDACtl::ClearTender() {
    tenderRec = TenderRec();
}

void ZoVORDACtl::ClearCoupons() {
    qDeleteAll(couponList);
    couponList.clear();
}

bool ZoVORDACtl::ResetCall(QString& p_sError) {
    Q_UNUSED(p_sError)
    ClearMember();
    ClearOrder();
    ClearTender();
    goodsLines.clear();
    settlePays.clear();
    oriPays.clear();
    oriPaysNow.clear();
    ClearCoupons();
    // reqtype is left alone: the next member call overwrites it before anyone reads it.
    QSettings config(QStringLiteral("ZoVORDA.ini"), QSettings::IniFormat);
    shop_id = config.value(QStringLiteral("Config/shop_id"), QString()).toString();
    return true;
}

void ZoVORDACtl::WriteLog(const QString& p_sStep, const QString& p_sText) {
    logger.WriteLog(LogSource, p_sStep, p_sText);
}

void ZoVORDACtl::ShowMessage(const QString& p_sText) {
    messageWidget.showMessage(p_sText, 3, false);
}
