#pragma once
#include <QByteArray>
#include <QString>
#include <QThread>

class QNetworkReply;

// One CRM exchange per run, on its own thread with its own network manager, event
// loop and time-out timer. The GUI thread reads the results after finished().
class CrmWorker : public QThread {
    Q_OBJECT
public:
    CrmWorker();
    ~CrmWorker() override;

    // body: the request's JSON text in UTF-8.
    void setRequest(const QString& txCode, const QByteArray& body);

    bool succeeded() const { return m_succeeded; }
    const QString& reply() const { return m_reply; }
    const QString& error() const { return m_error; }
    // Config/TimeOut as the last run read it when the default applied instead; null otherwise.
    const QString& rejectedTimeOut() const { return m_rejectedTimeOut; }
    // Whether any of the last request left for the CRM: when the exchange then failed,
    // the CRM may have applied it all the same.
    bool sent() const { return m_sent; }

protected:
    void run() override;

private:
    void exchange();
    // secondPostRefused: the connection closed before any answer (see OnceOnlyBody).
    void readReply(QNetworkReply* reply, bool secondPostRefused);
    static QString networkError(int code, const QString& text);

    bool m_succeeded = false;
    bool m_sent = false;
    QString m_txCode;
    QByteArray m_body;
    QString m_reply;
    QString m_error;
    QString m_rejectedTimeOut;
};
