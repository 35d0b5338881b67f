#include "core/Formats.h"
#include "core/ZoVORDACtl.h"
#include "crm/CrmReply.h"

bool ZoVORDACtl::PayByPoints(double p_dAmount, const QString& p_sType, QString& p_sError) {
    const bool refund = p_sType == QLatin1String("-1");
    const QVariantMap body{
        {QStringLiteral("shop_id"), shop_id},
        {QStringLiteral("order_id"), tenderRec.bill_no},
        {QStringLiteral("member_id"), tenderRec.vip_cardid},
        {QStringLiteral("type"), p_sType},
        // Two decimals with the sign kept: the CRM debits what it is told.
        {QStringLiteral("score_cash"), Formats::Money(p_dAmount)},
        // Always present; only a refund names the sale it gives the points back for.
        {QStringLiteral("sorder_id"), refund ? tenderRec.oribill_no : QString(QLatin1String(""))},
    };
    QString reply;
    if (!PostCrm(QStringLiteral("pmb020"), tr("积分支付报文"), body, reply, p_sError))
        return false;
    QVariantMap data;
    return ReadCrmReply(reply, TenderReplyTexts(tr("积分支付异常")), data, p_sError) ==
           CrmReplyStatus::Accepted;
}
