#include "core/JsonInput.h"

#include "model/Money.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QtMath>

namespace JsonInput {

namespace {

Outcome price(const QVariantMap& line, const char* key, Cents& value) {
    double figure = 0;
    RETURN_UNLESS_DONE(number(line, QLatin1String(key), kAmountLimit, figure));
    value = Money::fromDouble(figure);
    return Outcome::done();
}

Outcome goodsLine(const QVariantMap& line, GoodsLine& g) {
    g.goodsId = line.value(QStringLiteral("pi")).toString();
    g.barcode = line.value(QStringLiteral("bc")).toString();
    g.name = line.value(QStringLiteral("pn")).toString();
    RETURN_UNLESS_DONE(price(line, "yj", g.unitPrice));
    RETURN_UNLESS_DONE(price(line, "hyj", g.memberPrice));
    RETURN_UNLESS_DONE(price(line, "fsp", g.salePrice));
    RETURN_UNLESS_DONE(price(line, "st", g.lineTotal));
    RETURN_UNLESS_DONE(number(line, QStringLiteral("sc"), kQuantityLimit, g.quantity));
    g.wholePieces = line.value(QStringLiteral("sc")).toLongLong();
    return Outcome::done();
}

} // namespace

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

QString malformed(const QString& key) {
    return QCoreApplication::translate("JsonInput", "参数%1格式错误").arg(key);
}

Outcome require(const QVariantMap& object, const QString& key, QString& value) {
    if (!object.contains(key))
        return Outcome::failed(missing(key));
    value = object.value(key).toString();
    return Outcome::done();
}

Outcome number(const QVariantMap& object, const QString& key, double limit, double& value) {
    const QVariant given = object.value(key);
    switch (given.userType()) {
    case QMetaType::Bool:
    case QMetaType::QVariantMap:
    case QMetaType::QVariantList:
        return Outcome::failed(malformed(key));
    default:
        break;
    }
    bool isNumber = false;
    const double figure = given.toDouble(&isNumber);
    // The limit holds at two decimals too, as the till counts: 9999999999.996 is 10000000000.00.
    if (isNumber && !(qIsFinite(figure) && qAbs(Money::fromDouble(figure)) < Cents(limit * 100)))
        return Outcome::failed(malformed(key));
    value = isNumber ? figure : 0.0;
    return Outcome::done();
}

Outcome list(const QVariantMap& object, const QString& key, QVariantList& value) {
    const QVariant given = object.value(key);
    if (!given.isValid() || given.userType() == QMetaType::Nullptr) {
        value.clear();
        return Outcome::done();
    }
    if (given.userType() != QMetaType::QVariantList)
        return Outcome::failed(malformed(key));
    value = given.toList();
    return Outcome::done();
}

Outcome goodsLines(const QVariantMap& object, const QString& key, QList<GoodsLine>& goods) {
    QVariantList items;
    RETURN_UNLESS_DONE(list(object, key, items));
    goods.reserve(items.size());
    for (const QVariant& item : items) {
        GoodsLine g;
        RETURN_UNLESS_DONE(goodsLine(item.toMap(), g));
        goods.append(g);
    }
    return Outcome::done();
}

} // namespace JsonInput
