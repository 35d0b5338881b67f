#pragma once
#include "model/Money.h"

#include <QString>

// One product line of a sale, as the host lists it.
struct GoodsLine {
    QString goodsId;       // "pi"
    QString barcode;       // "bc"
    QString name;          // "pn"
    Cents unitPrice = 0;   // "yj"
    Cents memberPrice = 0; // "hyj"
    Cents salePrice = 0;   // "fsp"
    Cents lineTotal = 0;   // "st"
    double quantity = 0.0; // "sc"
    // The quantity in whole pieces: a number rounded, a text such as "1.5" counts 0.
    qint64 wholePieces = 0;
};
