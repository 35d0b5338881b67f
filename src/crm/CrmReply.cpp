#include "crm/CrmReply.h"

#include <QCoreApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>

CrmReplyStatus ReadCrmReply(const QString& p_sReply, const CrmReplyTexts& p_Texts, QVariantMap& p_Data,
                            QString& p_sError) {
    QJsonParseError parseError;
    const QJsonDocument doc = QJsonDocument::fromJson(p_sReply.toUtf8(), &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        p_sError = p_Texts.notJson;
        return CrmReplyStatus::NotJson;
    }
    if (!doc.isObject()) {
        p_sError = p_Texts.notObject;
        return CrmReplyStatus::Failed;
    }
    const QVariantMap root = doc.object().toVariantMap();
    if (!root.contains(QStringLiteral("data"))) {
        p_sError = p_Texts.noData;
        return CrmReplyStatus::Failed;
    }
    const QVariantMap data = root.value(QStringLiteral("data")).toMap();
    if (!data.contains(QStringLiteral("result_code"))) {
        p_sError = p_Texts.noResultCode;
        return CrmReplyStatus::Failed;
    }
    // A result code sent as the number 1 reads as the text "1" and counts as success.
    const QString resultCode = data.value(QStringLiteral("result_code")).toString();
    if (resultCode != QLatin1String("1")) {
        if (!data.contains(QStringLiteral("result_msg"))) {
            p_sError = p_Texts.refusedNoMsg;
        } else {
            const QString resultMsg = data.value(QStringLiteral("result_msg")).toString();
            p_sError = p_Texts.codeFirst ? resultCode + QLatin1Char(' ') + resultMsg
                                         : p_Texts.refusedPrefix + resultMsg + p_Texts.refusedSuffix;
        }
        return CrmReplyStatus::Failed;
    }
    p_Data = data;
    return CrmReplyStatus::Accepted;
}

CrmReplyTexts TenderReplyTexts(const QString& p_sNoResultCode) {
    CrmReplyTexts texts;
    texts.notJson =
        QCoreApplication::translate("ZoVORDACtl", "解析Vorda返回数据错误，请再次尝试或联系管理员处理");
    texts.notObject =
        QCoreApplication::translate("ZoVORDACtl", "解析Vorda返回数据失败，请再次尝试或联系管理员处理");
    texts.noData = QCoreApplication::translate("ZoVORDACtl", "未获取到Vorda返回数据节点");
    texts.noResultCode = p_sNoResultCode;
    texts.refusedNoMsg = QCoreApplication::translate("ZoVORDACtl", "缺少错误信息");
    texts.codeFirst = true;
    return texts;
}
