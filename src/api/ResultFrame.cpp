#include "api/ResultFrame.h"

#include "config/Settings.h"
#include "core/Controller.h"
#include "log/PayLogger.h"
#include "model/CallState.h"
#include "model/Money.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

const QString kSuccess = QStringLiteral("111111");
const QString kFailure = QStringLiteral("000000");

QString tr(const char* text) {
    return QCoreApplication::translate("ResultFrame", text);
}

// Compact, keys in ascending order (QJsonObject keeps them sorted), raw UTF-8.
QByteArray finish(const PayLogger& log, const QJsonObject& result, const QString& codeKey,
                  const QString& msgKey) {
    QByteArray json = QJsonDocument(result).toJson(QJsonDocument::Compact);
    if (json.size() + 1 > ResultFrame::MaxResultBytes) {
        log.write(tr("返回结果"), json);
        const QJsonObject tooLong{{codeKey, kFailure}, {msgKey, tr("返回结果过长")}};
        json = QJsonDocument(tooLong).toJson(QJsonDocument::Compact);
    }
    log.write(tr("返回结果"), json);
    return json;
}

QJsonObject memberKeys(const MemberRec& m) {
    QJsonArray accounts;
    for (const PointAccountRec& a : m.accounts) {
        accounts.append(QJsonObject{{QStringLiteral("PrjCode"), a.code},
                                    {QStringLiteral("PrjName"), a.name},
                                    {QStringLiteral("JfTotal"), QString::number(a.points)},
                                    {QStringLiteral("BalanceJfTotal"), Money::generalFormat(a.cash)}});
    }
    return QJsonObject{
        {QStringLiteral("type_code"), m.gradeCode},
        {QStringLiteral("type_name"), m.gradeName},
        {QStringLiteral("name"), m.name},
        {QStringLiteral("code"), m.cardNo},
        {QStringLiteral("vipcardid"), m.memberId},
        {QStringLiteral("birthday"), m.birthday},
        {QStringLiteral("score"), m.points ? QString::number(*m.points) : QString()},
        {QStringLiteral("phone"), m.mobile},
        {QStringLiteral("balance"), m.pointsCash ? Money::generalFormat(*m.pointsCash) : QString()},
        {QStringLiteral("address"), m.address},
        {QStringLiteral("JfRecord"), accounts},
        {QStringLiteral("HasVipRight"), QStringLiteral("1")}};
}

QJsonObject memberResult(const Outcome& outcome, RequestType type, const CallState& state) {
    QJsonObject result;
    // Partial records of a failed request never reach the host.
    if (outcome.isDone() && type == RequestType::Verify) {
        result = memberKeys(state.member);
    } else if (outcome.isDone() && type == RequestType::Settle) {
        result = QJsonObject{{QStringLiteral("printcent"), QStringLiteral("1")},
                             {QStringLiteral("cent"), state.settlement.points},
                             {QStringLiteral("sum_cent"), state.settlement.pointsTotal},
                             {QStringLiteral("sendticket"), state.settlement.ticketText}};
    }
    result.insert(QStringLiteral("rtncode"), outcome.isDone() ? kSuccess : kFailure);
    result.insert(QStringLiteral("rtnmsg"), outcome.isDone() ? tr("成功") : outcome.hostText());
    return result;
}

// A tender's answer; the card number, merchant order and other info are never
// filled by these tenders but always present.
QJsonObject tenderKeys(const QString& code, const QString& message, const QString& total) {
    return QJsonObject{{QStringLiteral("RtnCode"), code},       {QStringLiteral("RtnMsg"), message},
                       {QStringLiteral("AmountTotal"), total},  {QStringLiteral("ActualTotal"), total},
                       {QStringLiteral("CardNo"), QString()},   {QStringLiteral("MchOrderNo"), QString()},
                       {QStringLiteral("OtherInfo"), QString()}};
}

QJsonObject tenderResult(const Outcome& outcome, const CallState& state) {
    const TenderRec& t = state.tender;
    const QString code = outcome.isDone() ? kSuccess : kFailure;
    const QString message = outcome.isDone() ? tr("交易成功") : outcome.hostText();
    if (t.payType != PayType::Coupons)
        return tenderKeys(code, message, Money::total(state.paid, Settings::exactAmounts()));
    // The coupon tender always reports its coupons, also after a failure, so the
    // host can see which ones the CRM has already written off.
    double total = 0;
    QJsonArray details;
    for (const CouponRec& c : state.coupons) {
        if (c.use != CouponUse::Usable)
            continue;
        details.append(QJsonObject{{QStringLiteral("ChildPayCode"), t.payCode},
                                   {QStringLiteral("ChildPayName"), t.payName},
                                   {QStringLiteral("CardNo"), c.couponNo},
                                   {QStringLiteral("MchOrderNo"), c.payflow},
                                   {QStringLiteral("AmountTotal"), Money::twoDecimals(c.amount)},
                                   {QStringLiteral("ActualTotal"), Money::twoDecimals(c.amount)}});
        total += c.amount;
    }
    QJsonObject result = tenderKeys(code, message, Money::total(total, Settings::exactAmounts()));
    result.insert(QStringLiteral("PayDetails"), details);
    return result;
}

QByteArray refused(const PayLogger& log, QJsonObject result, const QString& codeKey, const QString& msgKey,
                   const QString& step, const QString& message) {
    log.write(step, message);
    result.insert(codeKey, kFailure);
    result.insert(msgKey, message);
    return finish(log, result, codeKey, msgKey);
}

} // namespace

namespace ResultFrame {

QByteArray memberCall(Controller& controller, const char* tranVipIn) {
    controller.beginCall();
    const QString input = QString::fromUtf8(tranVipIn);
    controller.log().write(tr("传入参数"), input);
    RequestType type = RequestType::Unknown;
    const Outcome outcome = controller.memberRequest(input, type);
    return finish(controller.log(), memberResult(outcome, type, controller.state()),
                  QStringLiteral("rtncode"), QStringLiteral("rtnmsg"));
}

QByteArray tenderCall(Controller& controller, const char* tranHead, const char* tranPlu, const char* udpIn1) {
    controller.beginCall();
    const QString head = QString::fromUtf8(tranHead);
    const QString plu = QString::fromUtf8(tranPlu);
    const QString udp = QString::fromUtf8(udpIn1);
    controller.log().write(tr("传入参数TranHead"), head);
    controller.log().write(tr("传入参数TranPlu"), plu);
    controller.log().write(tr("传入参数UdpIn1"), udp);
    const Outcome outcome = controller.tenderRequest(head, plu, udp);
    return finish(controller.log(), tenderResult(outcome, controller.state()), QStringLiteral("RtnCode"),
                  QStringLiteral("RtnMsg"));
}

QByteArray busyMemberCall(const PayLogger& log) {
    return refusedMemberCall(log, tr("重复调用"), tr("上一笔交易尚未结束，请稍后再试"));
}

QByteArray busyTenderCall(const PayLogger& log) {
    return refusedTenderCall(log, tr("重复调用"), tr("上一笔交易尚未结束，请稍后再试"));
}

QByteArray refusedMemberCall(const PayLogger& log, const QString& step, const QString& message) {
    return refused(log, QJsonObject(), QStringLiteral("rtncode"), QStringLiteral("rtnmsg"), step, message);
}

QByteArray refusedTenderCall(const PayLogger& log, const QString& step, const QString& message) {
    return refused(log, tenderKeys(kFailure, QString(), QStringLiteral("0")), QStringLiteral("RtnCode"),
                   QStringLiteral("RtnMsg"), step, message);
}

} // namespace ResultFrame
