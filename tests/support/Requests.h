#pragma once
// Host requests as a till sends them, for tests to start from and vary.
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QList>
#include <QPair>
#include <QStringList>

namespace Requests {

inline QByteArray json(const QJsonObject& o) {
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

inline QJsonObject with(QJsonObject o, const QString& key, const QJsonValue& value) {
    o.insert(key, value);
    return o;
}

inline QJsonObject without(QJsonObject o, const QStringList& keys) {
    for (const QString& k : keys)
        o.remove(k);
    return o;
}

// For each required key, in the order the keys are checked: the request without that key
// and every later one, so that the message has to name exactly this key.
inline QList<QPair<QString, QJsonObject>> missingInOrder(const QJsonObject& full, const QStringList& keys) {
    QList<QPair<QString, QJsonObject>> cases;
    for (int i = 0; i < keys.size(); ++i)
        cases.append({keys[i], without(full, keys.mid(i))});
    return cases;
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

// An order settlement request of a sale for member M1, with one product and one payment line.
inline QJsonObject settleRequest() {
    return QJsonObject{{"reqtype", "63"},
                       {"store_id", "0101"},
                       {"station_id", "01"},
                       {"operator_id", "8001"},
                       {"business_date", "2026-12-06"},
                       {"pos_saleno", "S1"},
                       {"pos_billno", "B1"},
                       {"pos_salebgntime", "2026-12-06 10:00:00"},
                       {"code", "C1"},
                       {"vipcardid", "M1"},
                       {"sale_type", "sale"},
                       {"amount", 88.5},
                       {"emp_id", "E7"},
                       {"biztype", "1"},
                       {"sourcebillno", "SB1"},
                       {"plucounttotal", "3"},
                       {"shouldtotal", "90"},
                       {"actualtotal", "88.5"},
                       {"old_pos_saleno", "OS1"},
                       {"old_pos_billno", "OB1"},
                       {"products", QJsonArray{productLine("1001", 30, 3)}},
                       {"pays", QJsonArray{QJsonObject{{"code", "01"}, {"pay_amount", 88.5}}}}};
}

} // namespace Requests
