#pragma once
#include <QString>
#include <QVariantMap>

// The words one operation uses for what can go wrong with a CRM reply.
struct CrmReplyTexts {
    QString notJson;      // the text is not JSON
    QString notObject;    // JSON, but not an object
    QString noData;       // no "data" node
    QString noResultCode; // no "result_code" inside "data"
    // A refusal ("result_code" other than "1"). With "result_msg" the message is
    // either refusedPrefix + result_msg + refusedSuffix, or, when codeFirst is set,
    // the result code, one blank and result_msg. Without it: refusedNoMsg.
    QString refusedPrefix;
    QString refusedSuffix;
    QString refusedNoMsg;
    bool codeFirst = false;
};

enum class CrmReplyStatus { Accepted, NotJson, Failed };

// Reads a CRM reply in the common order (JSON, object, "data", "result_code",
// refusal). Accepted: p_Data holds the "data" map. Otherwise p_sError holds the
// operation's message (for NotJson: texts.notJson).
CrmReplyStatus ReadCrmReply(const QString& p_sReply, const CrmReplyTexts& p_Texts, QVariantMap& p_Data,
                            QString& p_sError);

// The texts most tender transactions share: code-first refusals, "缺少错误信息".
CrmReplyTexts TenderReplyTexts(const QString& p_sNoResultCode);
