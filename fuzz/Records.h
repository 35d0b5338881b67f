#pragma once

// The records the request readers fill, compared field by field and written back as
// the host would send them: a reader given the text of its own record must read the
// same record again.

#include "model/GoodsLine.h"
#include "model/PayLineRec.h"

#include <QJsonArray>
#include <QList>

namespace reader {

bool Same(const GoodsLine& a, const GoodsLine& b);
bool Same(const PayLineRec& a, const PayLineRec& b);

template <typename T> bool Same(const QList<T>& a, const QList<T>& b) {
    if (a.size() != b.size())
        return false;
    for (int i = 0; i < a.size(); ++i) {
        if (!Same(a.at(i), b.at(i)))
            return false;
    }
    return true;
}

// Product lines ("pi", "bc", "pn", "yj", "hyj", "fsp", "st", "sc").
QJsonArray GoodsJson(const QList<GoodsLine>& goods);
// Payment lines: "code", "name", "payno", "extranno", the amount under amountKey
// ("pay_amount" of a settlement, "pay_amt" of a tender) and "zf_amount" (settlements
// only; a tender's reader ignores it, as a settlement's ignores "name").
QJsonArray PaysJson(const QList<PayLineRec>& pays, const QString& amountKey);
// Cents as the figure a host writes: 2550 -> 25.5.
QJsonValue Amount(Cents cents);

} // namespace reader
