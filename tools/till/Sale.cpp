#include "Sale.h"

#include <cmath>

double BasketLine::amount() const {
    return fen(product.price * quantity);
}

QString Tender::name(const QString& code) {
    if (code == Cash)
        return QStringLiteral("现金");
    if (code == Points)
        return QStringLiteral("积分");
    if (code == Coupons)
        return QStringLiteral("券");
    return code;
}

double Sale::total() const {
    double sum = 0;
    for (const BasketLine& line : lines)
        sum += line.amount();
    return fen(sum);
}

double Sale::paid() const {
    double sum = 0;
    for (const PayLine& pay : pays)
        sum += pay.amount;
    return fen(sum);
}

double Sale::quantity() const {
    double sum = 0;
    for (const BasketLine& line : lines)
        sum += line.quantity;
    return sum;
}

double Sale::paidWith(const QString& tenderCode) const {
    double sum = 0;
    for (const PayLine& pay : pays) {
        if (pay.code == tenderCode)
            sum += pay.amount;
    }
    return fen(sum);
}

double fen(double yuan) {
    return std::round(yuan * 100.0) / 100.0;
}

QString money(double yuan) {
    return QString::number(fen(yuan), 'f', 2);
}

const QList<Product>& catalogue() {
    static const QList<Product> products = {
        {QStringLiteral("100101"), QStringLiteral("6901234500011"), QStringLiteral("矿泉水 550ml"), 2.00},
        {QStringLiteral("100102"), QStringLiteral("6901234500028"), QStringLiteral("全麦面包"), 12.50},
        {QStringLiteral("100103"), QStringLiteral("6901234500035"), QStringLiteral("鲜牛奶 1L"), 15.80},
        {QStringLiteral("200201"), QStringLiteral("6901234500042"), QStringLiteral("咖啡豆 500g"), 88.00},
        {QStringLiteral("200202"), QStringLiteral("6901234500059"), QStringLiteral("橄榄油 750ml"), 62.50},
        {QStringLiteral("300301"), QStringLiteral("6901234500066"), QStringLiteral("保温杯"), 168.00},
    };
    return products;
}
