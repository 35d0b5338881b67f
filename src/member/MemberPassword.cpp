#include "member/MemberPassword.h"

#include "crm/CrmClient.h"
#include "model/MemberRec.h"
#include "ui/Cashier.h"

#include <QJsonObject>

namespace {

constexpr int kAttempts = 10;

CrmReplyTexts passwordTexts() {
    CrmReplyTexts texts;
    texts.notJson = MemberPassword::tr("会员密码校验Vorda返回数据错误，请再次尝试或联系管理员处理");
    texts.notObject = MemberPassword::tr("会员密码校验解析Vorda返回数据失败，请再次尝试或联系管理员处理");
    texts.noData = MemberPassword::tr("会员密码校验未获取到Vorda返回数据节点");
    // This text really begins with "员": hosts compare it as it stands, so it is
    // not to be "corrected".
    texts.noResultCode = MemberPassword::tr("员密码校验时未返回result_code");
    texts.refusedPrefix = MemberPassword::tr("会员验证失败，");
    texts.refusedSuffix = MemberPassword::tr("，请再次尝试或联系管理员处理");
    texts.refusedNoMsg = MemberPassword::tr("会员验证失败，请再次尝试或联系管理员处理");
    return texts;
}

} // namespace

MemberPassword::MemberPassword(CrmClient& crm, Cashier& cashier) : m_crm(crm), m_cashier(cashier) {}

Outcome MemberPassword::check(const MemberRec& member) {
    const std::optional<QString> password = m_cashier.password(member.cardNo);
    if (!password)
        return Outcome::closed();
    const QJsonObject body{{QStringLiteral("member_id"), member.memberId},
                           {QStringLiteral("password"), *password},
                           {QStringLiteral("type"), QStringLiteral("1")}};
    return m_crm.call(QStringLiteral("pmb002"), tr("会员密码校验"), body, passwordTexts()).outcome();
}

Outcome MemberPassword::confirm(const QString& bizType, const MemberRec& member) {
    if (bizType != QLatin1String("3") && bizType != QLatin1String("6"))
        return Outcome::done();
    Outcome last = Outcome::done();
    for (int attempt = 1; attempt <= kAttempts; ++attempt) {
        last = check(member);
        if (!last.isFailed())
            return last;
        m_cashier.showMessage(last.hostText());
    }
    return last;
}
