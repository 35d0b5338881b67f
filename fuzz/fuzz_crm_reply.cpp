// The CRM's reply as the operations read it, without the exchange around it: byte 0
// chooses the transaction (counted from the digit 0, so seeds read "3{...}"), the
// rest is the reply body, cut at its first zero byte as the exchange cuts it. The body
// is read by the common reader with that transaction's words and, when accepted, by
// the operation's own reader.
//
// Besides the sanitizers it checks the common reader against the reply itself (a reply
// is accepted exactly when its "data" object carries the result code 1; every refusal
// in the transaction's own words, with the CRM's message where it gave one), that an
// accepted reply's "data" written out again reads the same, and what each operation
// reader may and may not do with the reply.

#include "Reader.h"

#include "crm/CrmReply.h"
#include "member/DeviceSignin.h"
#include "member/MemberVerification.h"
#include "member/OrderSettlement.h"
#include "model/Money.h"
#include "tender/CouponCheck.h"
#include "tender/CouponTender.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QVariant>

#include <algorithm>

using namespace reader;
using Of = CrmReplyTexts::Of;

namespace {

constexpr int kTransactions = int(Of::PointsPayment) + 1;

// What the common reader must make of the reply, worked out on the JSON itself.
CrmReply::Status expectedStatus(const QString& reply, const CrmReplyTexts& texts, QString& error) {
    QJsonParseError parseError;
    const QJsonDocument doc = QJsonDocument::fromJson(reply.toUtf8(), &parseError);
    error.clear();
    if (parseError.error != QJsonParseError::NoError) {
        error = texts.notJson;
        return CrmReply::Status::NotJson;
    }
    const QJsonObject data = doc.object().value(QStringLiteral("data")).toObject();
    if (!doc.isObject())
        error = texts.notObject;
    else if (!doc.object().contains(QStringLiteral("data")))
        error = texts.noData;
    else if (!data.contains(QStringLiteral("result_code")))
        error = texts.noResultCode;
    if (!error.isNull())
        return CrmReply::Status::Refused;
    // The result code as text: the number 1 is "1" too.
    const QString code = data.value(QStringLiteral("result_code")).toVariant().toString();
    if (code == QLatin1String("1"))
        return CrmReply::Status::Accepted;
    if (!data.contains(QStringLiteral("result_msg")))
        error = texts.refusedNoMsg;
    else {
        const QString msg = data.value(QStringLiteral("result_msg")).toVariant().toString();
        error =
            texts.codeFirst ? code + QLatin1Char(' ') + msg : texts.refusedPrefix + msg + texts.refusedSuffix;
    }
    return CrmReply::Status::Refused;
}

// Two values of a reply alike. Numbers are compared as the doubles JSON text carries:
// Qt writes an integer beyond 2^53 through a double (10777777777777777 comes out as
// ...776; fuzz/crashes/fuzz_crm_reply-qt-json-writer-rounds-big-integers).
bool alike(const QVariant& a, const QVariant& b) {
    const auto isNumber = [](const QVariant& v) {
        return v.userType() == QMetaType::LongLong || v.userType() == QMetaType::Double;
    };
    if (isNumber(a) && isNumber(b))
        return a.toDouble() == b.toDouble();
    if (a.userType() != b.userType())
        return false;
    if (a.userType() == QMetaType::QVariantList) {
        const QVariantList x = a.toList(), y = b.toList();
        return x.size() == y.size() && std::equal(x.cbegin(), x.cend(), y.cbegin(), alike);
    }
    if (a.userType() != QMetaType::QVariantMap)
        return a == b;
    const QVariantMap x = a.toMap(), y = b.toMap();
    return x.keys() == y.keys() && std::equal(x.cbegin(), x.cend(), y.cbegin(), alike);
}

void checkEnvelope(const QString& reply, const CrmReplyTexts& texts, const CrmReply& read) {
    QString error;
    const CrmReply::Status expected = expectedStatus(reply, texts, error);
    if (read.status() != expected || read.error() != error)
        Fail("reply read otherwise than it reads", read.error() + QLatin1Char('\n') + reply);
    if (!read.accepted())
        return;
    const QJsonObject data = QJsonObject::fromVariantMap(read.data());
    const CrmReply again = CrmReply::read(Json(QJsonObject{{QStringLiteral("data"), data}}), texts);
    if (!again.accepted() || !alike(again.data(), read.data()))
        Fail("an accepted reply written out again reads otherwise", reply);
}

void checkSignin(const QVariantMap& data, const QString& reply) {
    DeviceSignin::Reply read;
    const Outcome outcome = DeviceSignin::readReply(data, QStringLiteral("S001"), read);
    const bool enabled = data.value(QStringLiteral("status")).toString() == QLatin1String("1");
    const bool hasToken = enabled && data.contains(QStringLiteral("token"));
    if (read.token.has_value() != hasToken ||
        (hasToken && *read.token != data.value(QStringLiteral("token")).toString()))
        Fail("sign-in token taken otherwise than the reply gives it", reply);
    if (outcome.isDone() && (!hasToken || read.shopId != data.value(QStringLiteral("shop_id")).toString() ||
                             !data.contains(QStringLiteral("shop_id"))))
        Fail("sign-in done without a token and a shop id", reply);
    if (outcome.isFailed() && !KnownMessage(outcome.hostText(),
                                            {"签到时未返回门店状态", "S001已被禁用，请联系管理员处理",
                                             "签到时未返回token", "签到时未返回门店id"},
                                            {}))
        Fail("sign-in refused in words the cashier does not know", outcome.hostText());
}

void checkMembers(const QVariantMap& data, const QString& reply) {
    QList<MemberRec> members;
    const Outcome outcome = MemberVerification::readCandidates(data, members);
    const QVariantList info = data.value(QStringLiteral("memberinfo")).toList();
    if (outcome.isDone() && members.size() != info.size())
        Fail("members read are not the members sent", reply);
    for (int i = 0; i < members.size(); ++i) {
        const MemberRec& m = members.at(i);
        const QVariantMap sent = info.value(i).toMap();
        const QVariantList accounts = sent.value(QStringLiteral("actionlist")).toList();
        qint64 points = 0;
        for (const QVariant& account : accounts)
            points = Money::saturatingAdd(points,
                                          account.toMap().value(QStringLiteral("score_value")).toLongLong());
        if (m.memberId != sent.value(QStringLiteral("member_id")).toString() ||
            m.cardNo != sent.value(QStringLiteral("cardno")).toString() ||
            m.accounts.size() != accounts.size() || m.points != points)
            Fail("member read otherwise than sent", reply);
    }
    if (outcome.isFailed()) {
        // The first member that lacks a required key names it.
        const QVariantMap broken = info.value(members.size()).toMap();
        const QString key = outcome.hostText().mid(QStringLiteral("会员查询时未返回").size());
        if (!outcome.hostText().startsWith(QStringLiteral("会员查询时未返回")) || broken.contains(key))
            Fail("member refused for a key it has", outcome.hostText() + QLatin1Char('\n') + reply);
    }
}

void checkSettlement(const QVariantMap& data, const QString& reply) {
    SettlementRec result;
    const Outcome outcome = OrderSettlement::readReply(data, result);
    if (outcome.isFailed() &&
        !KnownMessage(outcome.hostText(), {"订单结算时未返回score", "订单结算时未返回score_value"}, {}))
        Fail("settlement refused in words the cashier does not know", outcome.hostText());
    if (!outcome.isDone())
        return;
    if (result.points != data.value(QStringLiteral("score")).toString() ||
        result.pointsTotal != data.value(QStringLiteral("score_value")).toString())
        Fail("settlement points read otherwise than sent", reply);
    const int coupons = data.value(QStringLiteral("couponInfo")).toList().size();
    if (result.ticketText.count(QStringLiteral("-------------------@+")) < coupons)
        Fail("issued coupon missing from the receipt text", reply);
}

QList<CouponRec> twoCoupons() {
    return {
        CouponRec{QStringLiteral("C001"), QStringLiteral("A"), 7, CouponUse::Other, QStringLiteral("F1")},
        CouponRec{QStringLiteral("C002"), QStringLiteral("B"), 8, CouponUse::Other, QStringLiteral("F2")}};
}

// The coupons the CRM names in its "coupon_list"; the others must stay as they were.
bool named(const QVariantMap& data, const QString& couponNo) {
    for (const QVariant& item : data.value(QStringLiteral("coupon_list")).toList()) {
        if (item.toMap().value(QStringLiteral("coupon_no")).toString() == couponNo)
            return true;
    }
    return false;
}

void checkCoupons(Of transaction, const QVariantMap& data, const QString& reply) {
    if (transaction == Of::CouponQuery) {
        CouponRec coupon = twoCoupons().first();
        const Outcome outcome = CouponCheck::readQuery(data, QStringLiteral("C009"), coupon);
        const bool changed = coupon.couponNo != QLatin1String("C001");
        if (changed != outcome.isDone() ||
            (outcome.isDone() && (coupon.couponNo != QLatin1String("C009") ||
                                  coupon.use != CouponUse::NotUsable || coupon.amount != 0)))
            Fail("queried coupon recorded otherwise than asked for", reply);
        return;
    }
    QList<CouponRec> coupons = twoCoupons();
    const Outcome outcome = transaction == Of::CouponCheck ? CouponCheck::readCheck(data, coupons)
                                                           : CouponTender::readWriteOff(data, coupons);
    const QList<CouponRec> before = twoCoupons();
    for (int i = 0; i < coupons.size(); ++i) {
        const CouponRec& c = coupons.at(i);
        const CouponRec& b = before.at(i);
        if (c.couponNo != b.couponNo || c.ticketName != b.ticketName)
            Fail("coupon renamed by a reply", reply);
        const bool kept = c.use == b.use && c.amount == b.amount && c.payflow == b.payflow;
        if (!kept && !named(data, c.couponNo))
            Fail("coupon changed although the reply does not name it", reply);
    }
    if (outcome.isFailed() && !KnownMessage(outcome.hostText(),
                                            {"无券相关明细", "券参数coupon_no不完整", "券参数useflag不完整",
                                             "pay_value", "券参数payflow不完整"},
                                            {}))
        Fail("coupon reply refused in words the cashier does not know", outcome.hostText());
}

// Each transaction's words, looked up once: they are the same for every input.
const CrmReplyTexts* g_texts = nullptr;

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    static CrmReplyTexts texts[kTransactions];
    for (int t = 0; t < kTransactions; ++t)
        texts[t] = CrmReplyTexts::of(Of(t));
    g_texts = texts;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const Of transaction = Of(size > 0 ? uint8_t(data[0] - '0') % kTransactions : 0);
    const QString reply = size > 1 ? CText(data + 1, size - 1) : QString();
    const CrmReplyTexts& texts = g_texts[int(transaction)];
    const CrmReply read = CrmReply::read(reply, texts);
    checkEnvelope(reply, texts, read);
    if (!read.accepted())
        return 0;
    switch (transaction) {
    case Of::Signin:
        checkSignin(read.data(), reply);
        break;
    case Of::MemberQuery:
        checkMembers(read.data(), reply);
        break;
    case Of::Settlement:
        checkSettlement(read.data(), reply);
        break;
    case Of::CouponQuery:
    case Of::CouponCheck:
    case Of::CouponWriteOff:
        checkCoupons(transaction, read.data(), reply);
        break;
    case Of::PasswordCheck:
    case Of::PointsPayment:
        // Accepted is all these two ask of a reply.
        break;
    }
    return 0;
}
