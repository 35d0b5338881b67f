#pragma once
#include <QString>
#include <QtGlobal>

class QVariant;

// The till decides in whole cents: whether an amount is zero, above another, or equal to
// a total is asked of cents rounded the way the two-decimal text rounds. A figure the
// host or the CRM gave that goes back out in the general format (a coupon's value, the
// cash worth of points, an order's totals) is kept as given instead, since that format
// shows a third decimal (10.004) that cents would lose. The two formats: money with
// exactly two decimals (25.50), and totals and quantities in a general format of six
// significant digits (25.5, 1e+06, 12345.7 for 12345.67).
using Cents = qint64;

namespace Money {

// An amount as the host or the CRM wrote it: a JSON number or a numeric text (a text
// that is no number counts 0). It is rounded to the cent exactly as the two-decimal
// format rounds it, so "is it zero?" asked in cents gives the answer the two-decimal
// text would (0.004 is nothing, 0.006 a cent).
Cents fromVariant(const QVariant& value);
Cents fromDouble(double value);

// Two decimals, sign kept: 2550 -> "25.50", -346 -> "-3.46".
QString twoDecimals(Cents cents);
// The same text written into room of the caller's, for writers of many amounts (a
// sale's lines); valid while room is.
using TextRoom = char[24];
QLatin1String twoDecimals(Cents cents, TextRoom& room);
// A figure as given, with two decimals: 25.5 -> "25.50", -0.004 -> "-0.00".
QString twoDecimals(double figure);
// The general format of a figure or a quantity: 1.5 -> "1.5", 1000000 -> "1e+06".
QString generalFormat(double value);
// A total the host reads back (a tender's AmountTotal and ActualTotal) or the CRM
// receives (an order's s_value and value): in the general format, as the host
// interface has always had it (12345.67 goes out as "12345.7"), or with two decimals
// for a till set to exact amounts ("12345.67"). Every such total is written here.
QString total(double figure, bool exactAmounts);

// A sum of points, pieces or cents that arrived as text of any size stays at the
// limit of a 64-bit count instead of overflowing.
qint64 saturatingAdd(qint64 total, qint64 value);

} // namespace Money
