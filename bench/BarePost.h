#pragma once
// The floor of a CRM exchange: one HTTP POST from a worker thread with a network
// manager of its own (a fresh connection every time) while the GUI thread waits in
// an event loop for the thread to finish. It is the plug-in's road with nothing of
// the plug-in on it: no settings, no wait screen, no log, no JSON.
#include <QByteArray>
#include <QThread>
#include <QUrl>

namespace bench {

class BarePost : public QThread {
public:
    BarePost(const QUrl& url, const QByteArray& body);
    ~BarePost() override;

    void setBody(const QByteArray& body) { m_body = body; }
    // One exchange, on the calling (GUI) thread's clock; wall time in milliseconds.
    double exchange();
    bool ok() const { return m_ok; }
    QByteArray reply() const { return m_reply; }

protected:
    void run() override;

private:
    QUrl m_url;
    QByteArray m_body;
    QByteArray m_reply;
    bool m_ok = false;
};

} // namespace bench
