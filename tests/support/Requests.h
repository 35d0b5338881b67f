#pragma once
// Host requests as a till sends them, for tests to start from and vary.
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace Requests {

inline QByteArray json(const QJsonObject& o) {
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

// A tender head for a sale of 100 with 10 to pay by this tender.
inline QJsonObject tenderHead(const QString& payType = QStringLiteral("J"),
                              const QString& txnType = QStringLiteral("SALE")) {
    return QJsonObject{{"pay_type", payType},   {"shop_code", "0101"},      {"pos_no", "01"},
                       {"oper_code", "8001"},   {"tr_bizdate", "20261206"}, {"bill_no", "B0001"},
                       {"sale_no", "S0001"},    {"txn_type", txnType},      {"vip_cardno", "C0001"},
                       {"vip_cardid", "M0001"}, {"vip_systype", "1"},       {"order_amount", 100},
                       {"tr_amt", 10},          {"pay_code", "31"},         {"pay_name", "积分"}};
}

inline QJsonObject productLine(const QString& id, double price, const QJsonValue& quantity) {
    return QJsonObject{{"pi", id},     {"bc", "69" + id}, {"pn", "商品" + id}, {"yj", price},
                       {"hyj", price}, {"fsp", price},    {"sc", quantity}};
}

inline QJsonObject products() {
    return QJsonObject{{"plu", QJsonArray{productLine("1001", 60, 2), productLine("1002", 12.5, 1.5)}}};
}

// A member verification request with the code given by the host.
inline QJsonObject verifyRequest(const QString& code = QStringLiteral("13800000001"),
                                 const QString& bizType = QStringLiteral("1")) {
    return QJsonObject{{"reqtype", "50"},
                       {"store_id", "0101"},
                       {"station_id", "01"},
                       {"operator_id", "8001"},
                       {"business_date", "2026-12-06"},
                       {"biztype", bizType},
                       {"code", code},
                       {"cardid", ""}};
}

} // namespace Requests
