#pragma once

// What the till knows about a sale: the basket, the member, the payments. Amounts
// are kept in yuan as doubles and always rounded to the fen when a payment is made.

#include <QList>
#include <QString>

struct Product {
    QString id;      // "pi": the till's article number
    QString barcode; // "bc"
    QString name;    // "pn"
    double price;    // "yj", also member price and selling price: the demo shop gives no discounts
};

struct BasketLine {
    Product product;
    double quantity = 1;
    double amount() const;
};

// The till's own tender codes, as the host hands them to the plug-in in "pay_code".
namespace Tender {
inline const QString Cash = QStringLiteral("01");
inline const QString Points = QStringLiteral("05");
inline const QString Coupons = QStringLiteral("06");
QString name(const QString& code);
} // namespace Tender

struct PayLine {
    QString code; // Tender code
    double amount = 0;
    QString payNo;    // coupon number for a coupon line
    QString extranNo; // the CRM's serial number (coupon write-off)
};

struct Member {
    QString code;      // card number
    QString vipCardId; // the CRM's member id
    QString name;
    QString grade;
    QString phone;
    QString score;   // empty when the member was found in the till's own table
    QString balance; // cash value of the points
    bool isEmpty() const { return vipCardId.isEmpty(); }
};

struct Sale {
    QString billNo;
    QString saleNo;
    QString startTime; // "yyyy-MM-dd hh:mm:ss"
    QList<BasketLine> lines;
    QList<PayLine> pays;
    Member member;
    QString refundOf; // bill number of the sale this one gives back, empty for a sale

    double total() const;
    double paid() const;
    double due() const { return total() - paid(); }
    double quantity() const;
    double paidWith(const QString& tenderCode) const;
};

// Rounds to the fen, the smallest amount that changes hands.
double fen(double yuan);
QString money(double yuan); // "12.50"

const QList<Product>& catalogue();
