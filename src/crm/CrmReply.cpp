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
        return CrmReply(Status::Refused, texts.refusedNoMsg, data);
    const QString resultMsg = data.value(QStringLiteral("result_msg")).toString();
    return CrmReply(Status::Refused,
                    texts.codeFirst ? resultCode + QLatin1Char(' ') + resultMsg
                                    : texts.refusedPrefix + resultMsg + texts.refusedSuffix,
                    data);
}
