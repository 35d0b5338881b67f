#pragma once
#include "model/GoodsLine.h"
#include "model/Outcome.h"

#include <QCoreApplication>
#include <QList>
#include <QString>
#include <QVariantList>
#include <QVariantMap>

// Reading the host's JSON texts: every value through the variant conversions, so a
// number given where text is expected reads as its decimal text.
namespace JsonInput {

// No till handles an amount of ten thousand million or a quantity of ten million; a
// figure that size is a broken value, not a sale.
constexpr double kAmountLimit = 1e10;
constexpr double kQuantityLimit = 1e7;

// A JSON object; the two messages tell a broken text from one that is not an object.
Outcome parseObject(const QString& text, const QString& brokenMsg, const QString& notObjectMsg,
                    QVariantMap& object);
// A required key: missing is "<key>参数传入不全".
Outcome require(const QVariantMap& object, const QString& key, QString& value);
// A missing key's message.
QString missing(const QString& key);
// A value of the wrong kind: "参数<key>格式错误".
QString malformed(const QString& key);
// An amount or a quantity: a JSON number or a numeric text, finite and smaller in size
// than the limit, also when rounded to two decimals. Missing, null and a text that is
// no number count 0, as they always did; true or false, an object, a list, "nan",
// "inf" and a figure beyond the limit are malformed.
Outcome number(const QVariantMap& object, const QString& key, double limit, double& value);
// A list: missing or null is empty; anything else that is not a list is malformed.
Outcome list(const QVariantMap& object, const QString& key, QVariantList& value);
// The product lines under key ("pi", "bc", "pn", prices, "sc" each).
Outcome goodsLines(const QVariantMap& object, const QString& key, QList<GoodsLine>& goods);

} // namespace JsonInput

// Runs one check of a request and returns its outcome from the calling function
// unless it is done: the checks of a request run in order and stop at the first
// that fails.
#define RETURN_UNLESS_DONE(expr)                                                                             \
    do {                                                                                                     \
        const Outcome checked_ = (expr);                                                                     \
        if (!checked_.isDone())                                                                              \
            return checked_;                                                                                 \
    } while (false)
