#include "api/ResultFrame.h"

#include "core/Formats.h"
#include "core/ZoVORDACtl.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

QString resultCode;
QString resultMsg;

namespace {

const QString kSuccess = QStringLiteral("111111");
const QString kFailure = QStringLiteral("000000");

QString tr(const char* text) {
    return QCoreApplication::translate("ZoVORDACtl", text);
}

// Compact, keys in ascending order (QJsonObject keeps them sorted), raw UTF-8.
QByteArray finish(ZoVORDACtl& ctl, const QJsonObject& result, const QString& codeKey, const QString& msgKey) {
    QByteArray json = QJsonDocument(result).toJson(QJsonDocument::Compact);
    if (json.size() + 1 > ResultFrame::MaxResultBytes) {
        ctl.WriteLog(tr("返回结果"), QString::fromUtf8(json));
        QJsonObject tooLong{{codeKey, kFailure}, {msgKey, tr("返回结果过长")}};
        json = QJsonDocument(tooLong).toJson(QJsonDocument::Compact);
    }
    ctl.WriteLog(tr("返回结果"), QString::fromUtf8(json));
    return json;
}

QJsonObject memberKeys(const MemberRec& m) {
    QJsonArray accounts;
    for (const PointAccountRec& a : m.jfRecords) {
        accounts.append(QJsonObject{{QStringLiteral("PrjCode"), a.PrjCode},
                                    {QStringLiteral("PrjName"), a.PrjName},
                                    {QStringLiteral("JfTotal"), a.JfTotal},
                                    {QStringLiteral("BalanceJfTotal"), a.BalanceJfTotal}});
    }
    return QJsonObject{
        {QStringLiteral("type_code"), m.type_code}, {QStringLiteral("type_name"), m.type_name},
        {QStringLiteral("name"), m.name},           {QStringLiteral("code"), m.code},
        {QStringLiteral("vipcardid"), m.vipcardid}, {QStringLiteral("birthday"), m.birthday},
        {QStringLiteral("score"), m.score},         {QStringLiteral("phone"), m.phone},
        {QStringLiteral("balance"), m.balance},     {QStringLiteral("address"), m.address},
        {QStringLiteral("JfRecord"), accounts},     {QStringLiteral("HasVipRight"), QStringLiteral("1")}};
}

} // namespace

namespace ResultFrame {

QByteArray VipTrans(ZoVORDACtl& ctl, const char* p_TranVipIn) {
    QString message;
    if (!ctl.ResetCall(message)) {
        ctl.WriteLog(tr("会员-初始化"), message);
        resultCode = kFailure;
        resultMsg = message;
    } else {
        const QString input = QString::fromUtf8(p_TranVipIn);
        ctl.WriteLog(tr("传入参数"), input);
        if (!ctl.HandleVipRequest(input, message)) {
            resultCode = kFailure;
            resultMsg = message;
        } else {
            resultCode = kSuccess;
            resultMsg = tr("成功");
        }
    }
    return finish(ctl, VipResult(ctl), QStringLiteral("rtncode"), QStringLiteral("rtnmsg"));
}

QJsonObject VipResult(const ZoVORDACtl& ctl) {
    QJsonObject result;
    // Partial records of a failed request never reach the host.
    if (resultCode == kSuccess) {
        if (ctl.reqtype == QLatin1String("50")) {
            result = memberKeys(ctl.memberRec);
        } else if (ctl.reqtype == QLatin1String("63")) {
            result = QJsonObject{{QStringLiteral("printcent"), QStringLiteral("1")},
                                 {QStringLiteral("cent"), ctl.orderRec.cent},
                                 {QStringLiteral("sum_cent"), ctl.orderRec.sum_cent},
                                 {QStringLiteral("sendticket"), ctl.orderRec.sendticket}};
        }
    }
    result.insert(QStringLiteral("rtncode"), resultCode);
    result.insert(QStringLiteral("rtnmsg"), resultMsg);
    return result;
}

QByteArray CardTrans(ZoVORDACtl& ctl, const char* p_TranHead, const char* p_TranPlu, const char* p_UdpIn1) {
    QString message;
    if (!ctl.ResetCall(message)) {
        ctl.WriteLog(tr("支付-初始化"), message);
        resultCode = kFailure;
        resultMsg = message;
    } else {
        const QString head = QString::fromUtf8(p_TranHead);
        const QString plu = QString::fromUtf8(p_TranPlu);
        const QString udp = QString::fromUtf8(p_UdpIn1);
        ctl.WriteLog(tr("传入参数TranHead"), head);
        ctl.WriteLog(tr("传入参数TranPlu"), plu);
        ctl.WriteLog(tr("传入参数UdpIn1"), udp);
        if (!ctl.ParseTenderInput(head, plu, udp, message)) {
            resultCode = kFailure;
            resultMsg = message;
        } else {
            const QString txnType = ctl.tenderRec.txn_type;
            bool ok = false;
            if (txnType == QLatin1String("SALE"))
                ok = ctl.TenderSale(message);
            else if (txnType == QLatin1String("REFUND"))
                ok = ctl.TenderRefund(message);
            else if (txnType == QLatin1String("CANCEL"))
                ok = ctl.TenderCancel(message);
            else
                message = tr("交易类型错误");
            if (ok) {
                resultCode = kSuccess;
                resultMsg = tr("交易成功");
            } else {
                ctl.WriteLog(tr("执行") + txnType, message);
                resultCode = kFailure;
                resultMsg = message;
            }
        }
    }

    return finish(ctl, CardResult(ctl), QStringLiteral("RtnCode"), QStringLiteral("RtnMsg"));
}

QJsonObject CardResult(ZoVORDACtl& ctl) {
    const TenderRec& t = ctl.tenderRec;
    QJsonObject result{{QStringLiteral("RtnCode"), resultCode},
                       {QStringLiteral("RtnMsg"), resultMsg},
                       {QStringLiteral("AmountTotal"), Formats::General(t.AmountTotal)},
                       {QStringLiteral("ActualTotal"), Formats::General(t.AmountTotal)},
                       {QStringLiteral("CardNo"), t.CardNo},
                       {QStringLiteral("MchOrderNo"), t.MchOrderNo},
                       {QStringLiteral("OtherInfo"), t.OtherInfo}};
    // The coupon tender always reports its coupons, also after a failure, so the
    // host can see which ones the CRM has already written off.
    if (t.pay_type == QLatin1String("Q")) {
        double total = 0.0;
        QJsonArray details;
        for (const CouponRec* c : qAsConst(ctl.couponList)) {
            if (c->useFlag != QLatin1String("1"))
                continue;
            details.append(QJsonObject{{QStringLiteral("ChildPayCode"), t.pay_code},
                                       {QStringLiteral("ChildPayName"), t.pay_name},
                                       {QStringLiteral("CardNo"), c->couponNo},
                                       {QStringLiteral("MchOrderNo"), c->payflow},
                                       {QStringLiteral("AmountTotal"), Formats::Money(c->payValue)},
                                       {QStringLiteral("ActualTotal"), Formats::Money(c->payValue)}});
            total += c->payValue;
        }
        ctl.tenderRec.AmountTotal = total;
        result.insert(QStringLiteral("PayDetails"), details);
        result.insert(QStringLiteral("AmountTotal"), Formats::General(total));
        result.insert(QStringLiteral("ActualTotal"), Formats::General(total));
    }
    return result;
}

QByteArray VipBusy(ZoVORDACtl& ctl) {
    const QString message = tr("上一笔交易尚未结束，请稍后再试");
    ctl.WriteLog(tr("重复调用"), message);
    const QJsonObject result{{QStringLiteral("rtncode"), kFailure}, {QStringLiteral("rtnmsg"), message}};
    return finish(ctl, result, QStringLiteral("rtncode"), QStringLiteral("rtnmsg"));
}

QByteArray CardBusy(ZoVORDACtl& ctl) {
    const QString message = tr("上一笔交易尚未结束，请稍后再试");
    ctl.WriteLog(tr("重复调用"), message);
    const QJsonObject result{{QStringLiteral("RtnCode"), kFailure},
                             {QStringLiteral("RtnMsg"), message},
                             {QStringLiteral("AmountTotal"), QStringLiteral("0")},
                             {QStringLiteral("ActualTotal"), QStringLiteral("0")},
                             {QStringLiteral("CardNo"), QString()},
                             {QStringLiteral("MchOrderNo"), QString()},
                             {QStringLiteral("OtherInfo"), QString()}};
    return finish(ctl, result, QStringLiteral("RtnCode"), QStringLiteral("RtnMsg"));
}

} // namespace ResultFrame
