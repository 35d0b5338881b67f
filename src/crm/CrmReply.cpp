#include "crm/CrmReply.h"

#include <QCoreApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>

CrmReply CrmReply::read(const QString& reply, const CrmReplyTexts& texts) {
    QJsonParseError parseError;
    const QJsonDocument doc = QJsonDocument::fromJson(reply.toUtf8(), &parseError);
    if (parseError.error != QJsonParseError::NoError)
        return CrmReply(Status::NotJson, texts.notJson);
    if (!doc.isObject())
        return CrmReply(Status::Refused, texts.notObject);
    const QVariantMap root = doc.object().toVariantMap();
    if (!root.contains(QStringLiteral("data")))
        return CrmReply(Status::Refused, texts.noData);
    const QVariantMap data = root.value(QStringLiteral("data")).toMap();
    if (!data.contains(QStringLiteral("result_code")))
        return CrmReply(Status::Refused, texts.noResultCode);
    // A result code sent as the number 1 reads as the text "1" and counts as success.
    const QString resultCode = data.value(QStringLiteral("result_code")).toString();
    if (resultCode == QLatin1String("1"))
        return CrmReply(Status::Accepted, QString(), data);
    if (!data.contains(QStringLiteral("result_msg")))
        return CrmReply(Status::Refused, texts.refusedNoMsg);
    const QString resultMsg = data.value(QStringLiteral("result_msg")).toString();
    return CrmReply(Status::Refused, texts.codeFirst ? resultCode + QLatin1Char(' ') + resultMsg
                                                     : texts.refusedPrefix + resultMsg + texts.refusedSuffix);
}

CrmReplyTexts CrmReplyTexts::forTender(const QString& noResultCode) {
    CrmReplyTexts texts;
    texts.notJson =
        QCoreApplication::translate("CrmReply", "解析Vorda返回数据错误，请再次尝试或联系管理员处理");
    texts.notObject =
        QCoreApplication::translate("CrmReply", "解析Vorda返回数据失败，请再次尝试或联系管理员处理");
    texts.noData = QCoreApplication::translate("CrmReply", "未获取到Vorda返回数据节点");
    texts.noResultCode = noResultCode;
    texts.refusedNoMsg = QCoreApplication::translate("CrmReply", "缺少错误信息");
    texts.codeFirst = true;
    return texts;
}
