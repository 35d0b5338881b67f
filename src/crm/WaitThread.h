#pragma once
#include <QString>
#include <QThread>

// One CRM exchange per run, on its own thread with its own network manager, event
// loop and time-out timer. The GUI thread reads the results after finished().
class WaitThread : public QThread {
public:
    WaitThread();
    ~WaitThread() override;

    void setRequest(const QString& p_sTxCode, const QString& p_sRequest);

    bool isSuccess() const { return m_bSuccess; }
    const QString& replyText() const { return m_sReply; }
    const QString& errorText() const { return m_sError; }

protected:
    void run() override;

private:
    bool m_bSuccess = false;
    QString m_sTxCode;
    QString m_sRequest;
    QString m_sReply;
    QString m_sError;
};
