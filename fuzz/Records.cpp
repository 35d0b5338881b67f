#include "Records.h"

#include "Reader.h"

#include <QJsonObject>
#include <QVariant>

namespace reader {

namespace {

// The "sc" that reads back as this quantity and these whole pieces: a number counts
// its rounded value as whole pieces, a numeric text that is no integer counts none.
QJsonValue pieces(const GoodsLine& g) {
    if (QVariant(g.quantity).toLongLong() == g.wholePieces)
        return g.quantity;
    if (g.wholePieces == 0)
        return QString::number(g.quantity, 'e', 16); // "2.5000000000000000e+00"
    Fail("whole pieces that no quantity gives",
         QStringLiteral("%1 / %2").arg(g.quantity, 0, 'g', 17).arg(g.wholePieces));
}

} // namespace

bool Same(const GoodsLine& a, const GoodsLine& b) {
    return a.goodsId == b.goodsId && a.barcode == b.barcode && a.name == b.name &&
           a.unitPrice == b.unitPrice && a.memberPrice == b.memberPrice && a.salePrice == b.salePrice &&
           a.lineTotal == b.lineTotal && a.quantity == b.quantity && a.wholePieces == b.wholePieces;
}

bool Same(const PayLineRec& a, const PayLineRec& b) {
    return a.code == b.code && a.name == b.name && a.payNo == b.payNo && a.extranNo == b.extranNo &&
           a.amount == b.amount && a.paidAmount == b.paidAmount;
}

QJsonValue Amount(Cents cents) {
    return double(cents) / 100.0;
}

QJsonArray GoodsJson(const QList<GoodsLine>& goods) {
    QJsonArray lines;
    for (const GoodsLine& g : goods) {
        lines.append(QJsonObject{{QStringLiteral("pi"), g.goodsId},
                                 {QStringLiteral("bc"), g.barcode},
                                 {QStringLiteral("pn"), g.name},
                                 {QStringLiteral("yj"), Amount(g.unitPrice)},
                                 {QStringLiteral("hyj"), Amount(g.memberPrice)},
                                 {QStringLiteral("fsp"), Amount(g.salePrice)},
                                 {QStringLiteral("st"), Amount(g.lineTotal)},
                                 {QStringLiteral("sc"), pieces(g)}});
    }
    return lines;
}

QJsonArray PaysJson(const QList<PayLineRec>& pays, const QString& amountKey) {
    QJsonArray lines;
    for (const PayLineRec& p : pays) {
        lines.append(QJsonObject{{QStringLiteral("code"), p.code},
                                 {QStringLiteral("name"), p.name},
                                 {QStringLiteral("payno"), p.payNo},
                                 {QStringLiteral("extranno"), p.extranNo},
                                 {amountKey, p.amount},
                                 {QStringLiteral("zf_amount"), Amount(p.paidAmount)}});
    }
    return lines;
}

} // namespace reader
