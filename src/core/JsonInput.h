#pragma once
#include "model/GoodsLine.h"
#include "model/Outcome.h"

#include <QCoreApplication>
#include <QString>
#include <QVariantMap>

// Reading the host's JSON texts: every value through the variant conversions, so a
// number given where text is expected reads as its decimal text.
namespace JsonInput {

// A JSON object; the two messages tell a broken text from one that is not an object.
Outcome parseObject(const QString& text, const QString& brokenMsg, const QString& notObjectMsg,
                    QVariantMap& object);
// A required key: missing is "<key>参数传入不全".
Outcome require(const QVariantMap& object, const QString& key, QString& value);
// A missing key's message.
QString missing(const QString& key);
// One product line ("pi", "bc", "pn", prices, "sc").
GoodsLine goodsLine(const QVariantMap& line);

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
