#include "model/Money.h"

#include <QVariant>
#include <QtMath>

#include <cmath>
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
    TextRoom room;
    return twoDecimals(cents, room);
}

QLatin1String twoDecimals(Cents cents, TextRoom& room) {
    // Written from the last digit backwards: at most 20 digits, the point and the sign.
    char* const end = room + sizeof room;
    char* at = end;
    quint64 rest = cents < 0 ? 0 - quint64(cents) : quint64(cents);
    for (int i = 0; i < 2; ++i, rest /= 10)
        *--at = char('0' + rest % 10);
    *--at = '.';
    do {
        *--at = char('0' + rest % 10);
        rest /= 10;
    } while (rest != 0);
    if (cents < 0)
        *--at = '-';
    return QLatin1String(at, int(end - at));
}

QString twoDecimals(double figure) {
    return QString::number(figure, 'f', 2);
}

QString generalFormat(double value) {
    // A whole number below a million shows all its digits either way (-0 as "0"); the
    // text of a whole count is quicker to make.
    if (value == std::floor(value) && qAbs(value) < 1e6)
        return QString::number(qint64(value));
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
