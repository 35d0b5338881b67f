#include "core/Counts.h"
#include "core/Formats.h"
#include "core/ZoVORDACtl.h"
#include "crm/CrmReply.h"

namespace {

struct MemberField {
    const char* key;
    QString MemberRec::*field;
    bool required;
};

// The reply's member keys in the order they are checked; "actionlist" comes last.
const MemberField kMemberFields[] = {
    {"member_id", &MemberRec::vipcardid, true},   {"cardno", &MemberRec::code, true},
    {"grade_level", &MemberRec::type_code, true}, {"grade_name", &MemberRec::type_name, true},
    {"member_name", &MemberRec::name, true},      {"birthday", &MemberRec::birthday, false},
    {"mobile", &MemberRec::phone, false},         {"address", &MemberRec::address, false},
};

} // namespace

bool ZoVORDACtl::VerifyMember(const QString& p_sKey, QString& p_sError) {
    memberRec.jfRecords.clear();

    const QVariantMap body{{QStringLiteral("shop_id"), shop_id}, {QStringLiteral("cardno"), p_sKey}};
    QString reply;
    bool offline = false;
    QList<MemberRec> candidates;
    if (!PostCrm(QStringLiteral("pmb001"), tr("会员验证"), body, reply, p_sError)) {
        WriteLog(tr("在线登录会员失败"), p_sError);
        offline = true;
    } else {
        CrmReplyTexts texts;
        texts.notObject = tr("会员查询解析Vorda返回数据失败，请再次尝试或联系管理员处理");
        texts.noData = tr("会员查询未获取到Vorda返回数据节点");
        texts.noResultCode = tr("会员查询时未返回result_code");
        texts.refusedPrefix = tr("会员验证失败，");
        texts.refusedSuffix = tr("，请再次尝试或联系管理员处理");
        texts.refusedNoMsg = tr("会员验证失败，请再次尝试或联系管理员处理");
        const QString before = p_sError;
        QVariantMap data;
        switch (ReadCrmReply(reply, texts, data, p_sError)) {
        case CrmReplyStatus::Failed:
            return false;
        case CrmReplyStatus::NotJson:
            // Something answered, but not the CRM as we know it (a captive portal, a
            // proxy page): the local member table is the better source then.
            p_sError = before;
            WriteLog(tr("在线登录会员失败,接口返回错误"), p_sError);
            offline = true;
            break;
        case CrmReplyStatus::Accepted:
            for (const QVariant& item : data.value(QStringLiteral("memberinfo")).toList()) {
                const QVariantMap member = item.toMap();
                MemberRec candidate;
                for (const MemberField& f : kMemberFields) {
                    const QString key = QLatin1String(f.key);
                    if (f.required && !member.contains(key)) {
                        p_sError = tr("会员查询时未返回") + key;
                        return false;
                    }
                    candidate.*f.field = member.value(key).toString();
                }
                if (!member.contains(QStringLiteral("actionlist"))) {
                    p_sError = tr("会员查询时未返回actionlist");
                    return false;
                }
                qint64 points = 0;
                double cash = 0.0;
                for (const QVariant& accountItem : member.value(QStringLiteral("actionlist")).toList()) {
                    const QVariantMap account = accountItem.toMap();
                    // Points are whole numbers: "12.5" is not a point count and counts 0.
                    const qint64 value = account.value(QStringLiteral("score_value")).toLongLong();
                    const double valueCash = account.value(QStringLiteral("score_cash")).toDouble();
                    PointAccountRec rec;
                    rec.JfTotal = QString::number(value);
                    rec.BalanceJfTotal = Formats::General(valueCash);
                    rec.PrjCode = account.value(QStringLiteral("action_no")).toString();
                    rec.PrjName = account.value(QStringLiteral("action_name")).toString();
                    candidate.jfRecords.append(rec);
                    points = AddCount(points, value);
                    cash += valueCash;
                }
                candidate.score = QString::number(points);
                candidate.balance = Formats::General(cash);
                candidates.append(candidate);
            }
            break;
        }
    }
    if (offline && !QueryMemberOffline(p_sKey, candidates, p_sError))
        return false;

    if (candidates.isEmpty()) {
        p_sError = tr("未查询到相关会员信息");
        return false;
    }
    if (candidates.size() == 1) {
        memberRec = candidates.first();
        return true;
    }
    QList<MemberRec*> choices;
    for (MemberRec& candidate : candidates)
        choices.append(&candidate);
    if (vipSelection.SelectMember(choices) != 1) {
        p_sError = QStringLiteral("CLOSE");
        return false;
    }
    for (const MemberRec& candidate : candidates) {
        if (candidate.code == vipSelection.m_sCardNo) {
            // A candidate carries no request context, so copying it whole empties that too.
            memberRec = candidate;
            return true;
        }
    }
    p_sError = tr("未匹配到会员");
    return false;
}
