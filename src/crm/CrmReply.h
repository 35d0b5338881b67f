#pragma once
#include "crm/CrmReplyTexts.h"
#include "model/Outcome.h"

#include <QString>
#include <QVariantMap>

// One exchange with the CRM as an operation sees it: the exchange failed, the
// reply was not JSON, the reply refused, or it was accepted with its "data" node.
// Every reply is read in the same order: JSON, object, "data", "result_code".
class CrmReply {
public:
    enum class Status { Accepted, ExchangeFailed, NotJson, Refused };

    static CrmReply exchangeFailed(const QString& error) { return CrmReply(Status::ExchangeFailed, error); }
    static CrmReply read(const QString& reply, const CrmReplyTexts& texts);

    Status status() const { return m_status; }
    bool accepted() const { return m_status == Status::Accepted; }
    // Refused with a result code of the CRM's own, as against a reply nobody can read a
    // decision from (no JSON object, no "data", no "result_code").
    bool refusedByCrm() const { return m_status == Status::Refused && !m_data.isEmpty(); }
    QString error() const { return m_error; }
    // The "data" node of an accepted reply, or of a refusal in the CRM's own words.
    const QVariantMap& data() const { return m_data; }
    // Done when accepted, otherwise failed with the message.
    Outcome outcome() const { return accepted() ? Outcome::done() : Outcome::failed(m_error); }

private:
    CrmReply(Status status, const QString& error, const QVariantMap& data = {})
        : m_status(status), m_error(error), m_data(data) {}

    Status m_status;
    QString m_error;
    QVariantMap m_data;
};
