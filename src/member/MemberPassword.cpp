#include "core/ZoVORDACtl.h"
#include "crm/CrmReply.h"

bool ZoVORDACtl::CheckMemberPassword(QString& p_sError) {
    if (memberLogin.Exec(tr("会员密码验证"), tr("会员：") + memberRec.code) == 0) {
        p_sError = QStringLiteral("CLOSE");
        return false;
    }
    const QVariantMap body{{QStringLiteral("member_id"), memberRec.vipcardid},
                           {QStringLiteral("password"), memberLogin.m_sInput},
                           {QStringLiteral("type"), QStringLiteral("1")}};
    QString reply;
    if (!PostCrm(QStringLiteral("pmb002"), tr("会员密码校验"), body, reply, p_sError))
        return false;

    CrmReplyTexts texts;
    texts.notJson = tr("会员密码校验Vorda返回数据错误，请再次尝试或联系管理员处理");
    texts.notObject = tr("会员密码校验解析Vorda返回数据失败，请再次尝试或联系管理员处理");
    texts.noData = tr("会员密码校验未获取到Vorda返回数据节点");
    // This text really begins with "员": hosts compare it as it stands, so it is
    // not to be "corrected".
    texts.noResultCode = tr("员密码校验时未返回result_code");
    texts.refusedPrefix = tr("会员验证失败，");
    texts.refusedSuffix = tr("，请再次尝试或联系管理员处理");
    texts.refusedNoMsg = tr("会员验证失败，请再次尝试或联系管理员处理");
    QVariantMap data;
    return ReadCrmReply(reply, texts, data, p_sError) == CrmReplyStatus::Accepted;
}
