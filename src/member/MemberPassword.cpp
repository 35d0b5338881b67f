#include "member/MemberPassword.h"

#include "crm/CrmClient.h"
#include "model/MemberRec.h"
#include "ui/Cashier.h"

#include <QJsonObject>

namespace {

constexpr int kAttempts = 10;

} // namespace

MemberPassword::MemberPassword(CrmClient& crm, Cashier& cashier) : m_crm(crm), m_cashier(cashier) {}

Outcome MemberPassword::check(const MemberRec& member) {
    const std::optional<QString> password = m_cashier.password(member.cardNo);
    if (!password)
        return Outcome::closed();
    const QJsonObject body{{QStringLiteral("member_id"), member.memberId},
                           {QStringLiteral("password"), *password},
                           {QStringLiteral("type"), QStringLiteral("1")}};
    return m_crm
        .call(QStringLiteral("pmb002"), tr("会员密码校验"), body,
              CrmReplyTexts::of(CrmReplyTexts::Of::PasswordCheck))
        .outcome();
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
