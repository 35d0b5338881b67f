#include "member/MemberVerification.h"

#include "crm/CrmClient.h"
#include "db/MemberStore.h"
#include "log/PayLogger.h"
#include "model/Money.h"
#include "ui/Cashier.h"

#include <QJsonObject>

namespace {

struct MemberField {
    const char* key;
    QString MemberRec::*field;
    bool required;
};

// The reply's member keys in the order they are checked; "actionlist" comes last.
const MemberField kMemberFields[] = {
    {"member_id", &MemberRec::memberId, true},    {"cardno", &MemberRec::cardNo, true},
    {"grade_level", &MemberRec::gradeCode, true}, {"grade_name", &MemberRec::gradeName, true},
    {"member_name", &MemberRec::name, true},      {"birthday", &MemberRec::birthday, false},
    {"mobile", &MemberRec::mobile, false},        {"address", &MemberRec::address, false},
};

} // namespace

MemberVerification::MemberVerification(CrmClient& crm, MemberStore& store, Cashier& cashier,
                                       const PayLogger& log)
    : m_crm(crm), m_store(store), m_cashier(cashier), m_log(log) {}

Outcome MemberVerification::verify(const QString& shopId, const QString& key, MemberRec& member) {
    const QJsonObject body{{QStringLiteral("shop_id"), shopId}, {QStringLiteral("cardno"), key}};
    const CrmReply reply = m_crm.call(QStringLiteral("pmb001"), tr("会员验证"), body,
                                      CrmReplyTexts::of(CrmReplyTexts::Of::MemberQuery));
    QList<MemberRec> candidates;
    switch (reply.status()) {
    case CrmReply::Status::Refused:
        return reply.outcome();
    case CrmReply::Status::Accepted: {
        const Outcome read = readCandidates(reply.data(), candidates);
        if (!read.isDone())
            return read;
        break;
    }
    case CrmReply::Status::ExchangeFailed:
    case CrmReply::Status::NotJson: {
        // A reply that is not JSON: something answered, but not the CRM as we know it
        // (a captive portal, a proxy page); the local member table is the better source.
        const bool unreachable = reply.status() == CrmReply::Status::ExchangeFailed;
        const QString failure = unreachable ? reply.error() : QString();
        m_log.write(unreachable ? tr("在线登录会员失败") : tr("在线登录会员失败,接口返回错误"), failure);
        const Outcome found = m_store.find(key, candidates, failure);
        if (!found.isDone())
            return found;
        break;
    }
    }
    return choose(candidates, member);
}

Outcome MemberVerification::readCandidates(const QVariantMap& data, QList<MemberRec>& candidates) {
    for (const QVariant& item : data.value(QStringLiteral("memberinfo")).toList()) {
        MemberRec candidate;
        const Outcome read = readMember(item.toMap(), candidate);
        if (!read.isDone())
            return read;
        candidates.append(candidate);
    }
    return Outcome::done();
}

Outcome MemberVerification::readMember(const QVariantMap& info, MemberRec& member) {
    for (const MemberField& f : kMemberFields) {
        const QString key = QLatin1String(f.key);
        if (f.required && !info.contains(key))
            return Outcome::failed(tr("会员查询时未返回") + key);
        member.*f.field = info.value(key).toString();
    }
    if (!info.contains(QStringLiteral("actionlist")))
        return Outcome::failed(tr("会员查询时未返回actionlist"));
    qint64 points = 0;
    double cash = 0;
    for (const QVariant& item : info.value(QStringLiteral("actionlist")).toList()) {
        const QVariantMap account = item.toMap();
        PointAccountRec rec;
        rec.code = account.value(QStringLiteral("action_no")).toString();
        rec.name = account.value(QStringLiteral("action_name")).toString();
        // Points are whole numbers: "12.5" is not a point count and counts 0.
        rec.points = account.value(QStringLiteral("score_value")).toLongLong();
        rec.cash = account.value(QStringLiteral("score_cash")).toDouble();
        member.accounts.append(rec);
        points = Money::saturatingAdd(points, rec.points);
        cash += rec.cash;
    }
    member.points = points;
    member.pointsCash = cash;
    return Outcome::done();
}

Outcome MemberVerification::choose(const QList<MemberRec>& candidates, MemberRec& member) {
    if (candidates.isEmpty())
        return Outcome::failed(tr("未查询到相关会员信息"));
    if (candidates.size() == 1) {
        member = candidates.first();
        return Outcome::done();
    }
    const std::optional<QString> cardNo = m_cashier.chooseMember(candidates);
    if (!cardNo)
        return Outcome::closed();
    for (const MemberRec& candidate : candidates) {
        if (candidate.cardNo == *cardNo) {
            member = candidate;
            return Outcome::done();
        }
    }
    return Outcome::failed(tr("未匹配到会员"));
}
