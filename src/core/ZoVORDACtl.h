#pragma once
#include "core/MemberRec.h"
#include "core/OrderRec.h"
#include "core/OriPayRec.h"
#include "core/TenderRec.h"
#include "crm/WaitThread.h"
#include "db/PosDB.h"
#include "log/PayLogger.h"
#include "tender/CouponRec.h"
#include "ui/CouponWidget.h"
#include "ui/JFPayWidget.h"
#include "ui/MemberLogin.h"
#include "ui/MemberManage.h"
#include "ui/MessageWidget.h"
#include "ui/VipSelection.h"
#include "ui/WaitWidget.h"

#include <QEventLoop>
#include <QJsonObject>
#include <QList>
#include <QObject>
#include <QString>
#include <QVariantList>
#include <QVariantMap>

struct CrmReplyTexts;

// The one object that holds the plug-in's state: the records of the current call,
// the dialogs, the CRM worker, the member database and the log. Every operation is
// a method that answers true, or false with a message for the cashier or the host
// ("CLOSE" when the cashier closed a dialog).
class ZoVORDACtl : public QObject {
    Q_OBJECT
public:
    ZoVORDACtl();
    ~ZoVORDACtl() override;

    // Every record this object writes carries this source.
    static const QString LogSource;

    // Per-call reset.
    bool ResetCall(QString& p_sError);
    void ClearMember();
    void ClearOrder();
    void ClearTender();
    void ClearCoupons();

    // Host requests.
    bool HandleVipRequest(const QString& p_sTranVipIn, QString& p_sError);
    bool ParseTenderInput(const QString& p_sTranHead, const QString& p_sTranPlu, const QString& p_sUdpIn1,
                          QString& p_sError);
    bool TenderSale(QString& p_sError);
    bool TenderRefund(QString& p_sError);
    bool TenderCancel(QString& p_sError);

    // CRM exchange.
    bool CallCrm(const QString& p_sTxCode, const QString& p_sRequest, QString& p_sReply, QString& p_sError);

    // Member operations.
    bool VerifyMember(const QString& p_sKey, QString& p_sError);
    bool SettleOrder(QString& p_sError);
    bool CheckMemberPassword(QString& p_sError);
    bool Signin(const QString& p_sStoreId, QString& p_sError);
    bool SigninIfNeeded(const QString& p_sStoreId, QString& p_sError);

    // Tender operations.
    bool PayByPoints(double p_dAmount, const QString& p_sType, QString& p_sError);
    bool QueryCoupon(const QString& p_sCouponNo, CouponRec& p_Coupon, QString& p_sError);
    bool CheckCoupons(QList<CouponRec*>& p_Coupons, QString& p_sError);

    // Local member store.
    bool QueryMemberOffline(const QString& p_sKey, QList<MemberRec>& p_Candidates, QString& p_sError);

    void WriteLog(const QString& p_sStep, const QString& p_sText);

public slots:
    void SlotCouponCheck(QString p_CouponNo);
    void SlotCouponClear();

public:
    PayLogger logger;
    QString reqtype;
    MemberRec memberRec;
    OrderRec orderRec;
    TenderRec tenderRec;
    QVariantList goodsLines;
    QVariantList settlePays;
    QList<OriPayRec> oriPays;
    QList<OriPayRec> oriPaysNow;
    QList<CouponRec*> couponList; // owned
    PosDB posDB;
    WaitThread waitThread;
    MemberLogin memberLogin;
    WaitWidget waitWidget;
    QEventLoop eventLoop;
    MessageWidget messageWidget;
    MemberManage memberManage;
    QString shop_id;
    CouponWidget couponWidget;
    JFPayWidget jfPayWidget;
    VipSelection vipSelection;

private:
    // Serialises a request body compactly, logs it under p_sStep and exchanges it.
    bool PostCrm(const QString& p_sTxCode, const QString& p_sStep, const QVariantMap& p_Body,
                 QString& p_sReply, QString& p_sError);
    bool PostCrm(const QString& p_sTxCode, const QString& p_sStep, const QJsonObject& p_Body,
                 QString& p_sReply, QString& p_sError);
    bool ConfirmPassword(const QString& p_sBizType, QString& p_sError);
    // The product lines as the coupon check and the write-off send them.
    QVariantList CouponGoodsDetails() const;
    // A refused check of the coupon set: tell the cashier, log it, and mark every
    // coupon with p_sFlag and no deduction.
    void RejectCouponSet(const QString& p_sError, const QString& p_sFlag);
    void ShowMessage(const QString& p_sText);
};
