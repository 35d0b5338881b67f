#pragma once
#include "model/Outcome.h"

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

    // What each transaction calls its reply's faults, as the cashier reads them.
    enum class Of {
        Signin,
        MemberQuery,
        PasswordCheck,
        Settlement,
        CouponQuery,
        CouponCheck,
        CouponWriteOff,
        PointsPayment
    };
    static CrmReplyTexts of(Of transaction);
};

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
    QString error() const { return m_error; }
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
