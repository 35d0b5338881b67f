#pragma once
#include <QString>

// The three number formats that the host and the CRM agree on.
namespace Formats {
// Quantities and totals: 6 significant digits, shortest of plain and exponent form
// (25.5, 1e+06, 0).
QString General(double value);
// Money: plain notation, exactly two decimals (25.50). The sign is kept.
QString Money(double value);
// "Is this amount zero?" is asked at two decimals on the absolute value, so that
// 0.004 counts as nothing while 0.006 counts as a cent.
bool IsZeroMoney(double value);
} // namespace Formats
