#include "model/Money.h"

#include <QVariant>
#include <QtMath>

#include <limits>

namespace {

// Beyond this no till sells anything; it keeps the conversion to whole cents defined.
constexpr double kLargestAmount = 1e15;

} // namespace

namespace Money {

Cents fromDouble(double value) {
    if (!qIsFinite(value))
        return 0;
    value = qBound(-kLargestAmount, value, kLargestAmount);
    // Through the two-decimal text, so that a value on a half cent goes the way the
    // text goes (1.005 is 1.00499999… as a double and shows as 1.00).
    QString text = QString::number(value, 'f', 2);
    text.remove(text.size() - 3, 1);
    return text.toLongLong();
}

Cents fromVariant(const QVariant& value) {
    return fromDouble(value.toDouble());
}

QString twoDecimals(Cents cents) {
    const Cents whole = cents / 100;
    const Cents part = qAbs(cents % 100);
    const QString sign = cents < 0 && whole == 0 ? QStringLiteral("-") : QString();
    return sign + QString::number(whole) + QLatin1Char('.') +
           QStringLiteral("%1").arg(part, 2, 10, QLatin1Char('0'));
}

QString twoDecimals(double figure) {
    return QString::number(figure, 'f', 2);
}

QString generalFormat(double value) {
    return QString::number(value, 'g', 6);
}

QString total(double figure, bool exactAmounts) {
    return exactAmounts ? twoDecimals(figure) : generalFormat(figure);
}

qint64 saturatingAdd(qint64 total, qint64 value) {
    if (value > 0 && total > std::numeric_limits<qint64>::max() - value)
        return std::numeric_limits<qint64>::max();
    if (value < 0 && total < std::numeric_limits<qint64>::min() - value)
        return std::numeric_limits<qint64>::min();
    return total + value;
}

} // namespace Money
