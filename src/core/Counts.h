#pragma once
#include <QtGlobal>

#include <limits>

// Point and piece counts arrive as text of any size; a total that would leave the
// range of a 64-bit count stays at its limit instead of overflowing.
inline qint64 AddCount(qint64 p_nTotal, qint64 p_nValue) {
    if (p_nValue > 0 && p_nTotal > std::numeric_limits<qint64>::max() - p_nValue)
        return std::numeric_limits<qint64>::max();
    if (p_nValue < 0 && p_nTotal < std::numeric_limits<qint64>::min() - p_nValue)
        return std::numeric_limits<qint64>::min();
    return p_nTotal + p_nValue;
}
