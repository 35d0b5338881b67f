#include "core/Controller.h"

#include "config/Settings.h"
#include "core/JsonInput.h"
#include "core/MemberRequestParser.h"
#include "core/TenderRequestParser.h"
#include "crm/CrmClient.h"
#include "db/MemberStore.h"
#include "db/PosDB.h"
#include "log/PayLogger.h"
#include "member/DeviceSignin.h"
#include "member/MemberPassword.h"
#include "member/MemberVerification.h"
#include "member/OrderSettlement.h"
#include "model/CallState.h"
#include "tender/CouponTender.h"
#include "tender/PointsTender.h"
#include "ui/Cashier.h"

struct Controller::Parts {
    explicit Parts(std::unique_ptr<Cashier> c)
        : log(QStringLiteral("ZoVORDA动态库")), cashier(std::move(c)), store(db, log), crm(*cashier, log),
          signin(crm, log), verification(crm, store, *cashier, log), password(crm, *cashier), settlement(crm),
          points(crm, verification, password, *cashier), coupons(crm, *cashier, log) {}

    PayLogger log;
    CallState state;
    std::unique_ptr<Cashier> cashier;
    PosDB db;
    MemberStore store;
    CrmClient crm;
    DeviceSignin signin;
    MemberVerification verification;
    MemberPassword password;
    OrderSettlement settlement;
    PointsTender points;
    CouponTender coupons;
};

Controller::Controller(std::unique_ptr<Cashier> cashier) : d(std::make_unique<Parts>(std::move(cashier))) {}

Controller::~Controller() = default;

const PayLogger& Controller::log() const {
    return d->log;
}

const CallState& Controller::state() const {
    return d->state;
}

void Controller::beginCall() {
    d->state.reset(Settings::shopId());
}

Outcome Controller::memberRequest(const QString& text, RequestType& type) {
    MemberRequest request;
    const Outcome parsed = MemberRequestParser::parse(text, request);
    type = request.type;
    if (!parsed.isDone())
        return parsed;
    switch (request.type) {
    case RequestType::Verify:
        return verifyMember(request);
    case RequestType::Settle:
        return d->settlement.settle(d->state.shopId, request.order, d->state.settlement);
    case RequestType::Manage:
        return manageMembers(request);
    case RequestType::Unknown:
        break;
    }
    return parsed;
}

Outcome Controller::verifyMember(const MemberRequest& request) {
    QString key;
    if (request.code) {
        key = request.cardId.isEmpty() ? *request.code : request.cardId;
    } else {
        // The host sent no code: the cashier types or scans it.
        const std::optional<QString> code = d->cashier->memberCode();
        if (!code)
            return Outcome::closed();
        key = *code;
    }
    // A failed sign-in does not stop the verification: the old token may still be
    // good, and the CRM will say so if it is not.
    d->signin.signinIfNeeded(request.storeId.value_or(QString()), d->state.shopId);
    const Outcome verified = d->verification.verify(d->state.shopId, key, d->state.member);
    if (!verified.isDone())
        return verified;
    return d->password.confirm(request.bizType, d->state.member);
}

Outcome Controller::manageMembers(const MemberRequest& request) {
    if (!d->cashier->wantsSignin())
        return Outcome::closed();
    if (!request.storeId)
        return Outcome::failed(JsonInput::missing(QStringLiteral("store_id")));
    d->log.write(tr("会员管理"), tr("强制进行签到"));
    const Outcome signedIn = d->signin.signin(*request.storeId, d->state.shopId);
    if (signedIn.isDone())
        d->cashier->showMessage(tr("签到成功"));
    return signedIn;
}

Outcome Controller::tenderRequest(const QString& head, const QString& plu, const QString& udp) {
    const Outcome parsed = TenderRequestParser::parse(head, plu, udp, d->state.tender);
    if (!parsed.isDone())
        return parsed;
    const Outcome done = runTender();
    if (!done.isDone())
        d->log.write(tr("执行") + d->state.tender.txnText, done.hostText());
    return done;
}

Outcome Controller::runTender() {
    CallState& state = d->state;
    const PayType pay = state.tender.payType;
    switch (state.tender.txnType) {
    case TxnType::Sale:
        if (pay == PayType::Points)
            return d->points.sale(state);
        if (pay == PayType::Coupons)
            return d->coupons.sale(state);
        // A tender of another kind is not ours; the host learns so without words.
        return Outcome::failed(QString());
    case TxnType::Refund:
        if (pay == PayType::Points)
            return d->points.refund(state);
        if (pay == PayType::Coupons)
            return d->coupons.refund(state);
        return Outcome::failed(QString());
    case TxnType::Cancel:
        // A CRM tender, once paid, is undone by a refund only.
        return Outcome::failed(tr("该支付方式不允许清除"));
    case TxnType::Other:
        break;
    }
    return Outcome::failed(tr("交易类型错误"));
}
