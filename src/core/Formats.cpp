#include "core/Formats.h"

#include <QtMath>

namespace Formats {

QString General(double value) {
    return QString::number(value, 'g', 6);
}

QString Money(double value) {
    return QString::number(value, 'f', 2);
}

bool IsZeroMoney(double value) {
    return Money(qAbs(value)) == QLatin1String("0.00");
}

} // namespace Formats
