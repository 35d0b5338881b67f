#pragma once
#include <QString>

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
