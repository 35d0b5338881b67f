#pragma once
// CRM replies as the CRM sends them, for tests to script.
#include <QByteArray>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace CrmReplies {

inline QByteArray accepted(QJsonObject data = {}) {
    data.insert("result_code", "1");
    return QJsonDocument(QJsonObject{{"data", data}}).toJson(QJsonDocument::Compact);
}

inline QByteArray refused(const QString& msg) {
    return QJsonDocument(QJsonObject{{"data", QJsonObject{{"result_code", "0"}, {"result_msg", msg}}}})
        .toJson(QJsonDocument::Compact);
}

inline QJsonObject member(const QString& id, const QString& card, const QString& name, const QString& mobile,
                          const QJsonArray& accounts = {}) {
    return QJsonObject{{"member_id", id},       {"cardno", card},
                       {"grade_level", "G1"},   {"grade_name", "金卡"},
                       {"member_name", name},   {"birthday", "1990-01-01"},
                       {"mobile", mobile},      {"address", "深圳市南山区"},
                       {"actionlist", accounts}};
}

inline QJsonObject account(const QString& code, const QJsonValue& points, const QJsonValue& cash) {
    return QJsonObject{
        {"action_no", code}, {"action_name", "积分" + code}, {"score_value", points}, {"score_cash", cash}};
}

inline QByteArray members(const QJsonArray& list) {
    return accepted({{"memberinfo", list}});
}

} // namespace CrmReplies
