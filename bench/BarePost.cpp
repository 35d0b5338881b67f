#include "BarePost.h"

#include "Bench.h"

#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>

namespace bench {

BarePost::BarePost(const QUrl& url, const QByteArray& body) : m_url(url), m_body(body) {}

BarePost::~BarePost() {
    wait();
}

double BarePost::exchange() {
    QEventLoop loop;
    connect(this, &QThread::finished, &loop, &QEventLoop::quit);
    QElapsedTimer clock;
    clock.start();
    start();
    loop.exec();
    wait();
    return elapsedMs(clock);
}

void BarePost::run() {
    m_ok = false;
    m_reply.clear();
    QNetworkAccessManager manager;
    QNetworkRequest request(m_url);
    // The same six headers the till sends, so the server does the same work.
    request.setRawHeader("Content-Type", "application/json;charset=utf-8");
    request.setRawHeader("Accept", "application/json");
    request.setRawHeader("Token", "TK-1");
    request.setRawHeader("dataType", "json");
    request.setRawHeader("DeviceId", "POS01");
    request.setRawHeader("CompanyId", "C001");
    QNetworkReply* reply = manager.post(request, m_body);
    QEventLoop loop;
    connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    if (!reply->isFinished())
        loop.exec();
    m_reply = reply->readAll();
    m_ok = reply->error() == QNetworkReply::NoError;
}

} // namespace bench
