#include "core/JsonInput.h"

#include "model/Money.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>

namespace JsonInput {

Outcome parseObject(const QString& text, const QString& brokenMsg, const QString& notObjectMsg,
                    QVariantMap& object) {
    QJsonParseError parseError;
    const QJsonDocument doc = QJsonDocument::fromJson(text.toUtf8(), &parseError);
    if (parseError.error != QJsonParseError::NoError)
        return Outcome::failed(brokenMsg);
    if (!doc.isObject())
        return Outcome::failed(notObjectMsg);
    object = doc.object().toVariantMap();
    return Outcome::done();
}

QString missing(const QString& key) {
    return key + QCoreApplication::translate("JsonInput", "参数传入不全");
}

Outcome require(const QVariantMap& object, const QString& key, QString& value) {
    if (!object.contains(key))
        return Outcome::failed(missing(key));
    value = object.value(key).toString();
    return Outcome::done();
}

GoodsLine goodsLine(const QVariantMap& line) {
    GoodsLine g;
    g.goodsId = line.value(QStringLiteral("pi")).toString();
    g.barcode = line.value(QStringLiteral("bc")).toString();
    g.name = line.value(QStringLiteral("pn")).toString();
    g.unitPrice = Money::fromVariant(line.value(QStringLiteral("yj")));
    g.memberPrice = Money::fromVariant(line.value(QStringLiteral("hyj")));
    g.salePrice = Money::fromVariant(line.value(QStringLiteral("fsp")));
    g.lineTotal = Money::fromVariant(line.value(QStringLiteral("st")));
    const QVariant quantity = line.value(QStringLiteral("sc"));
    g.quantity = quantity.toDouble();
    g.wholePieces = quantity.toLongLong();
    return g;
}

} // namespace JsonInput
