#include "crm/CrmWorker.h"

#include "config/Settings.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>
#include <QUrl>

#include <algorithm>

namespace {

// The reply text ends at the body's first NUL byte, as a C string would.
QString replyBodyText(QNetworkReply* reply) {
    QByteArray body = reply->readAll();
    const int nul = body.indexOf('\0');
    if (nul >= 0)
        body.truncate(nul);
    return QString::fromUtf8(body);
}

// A header value is one line of text. A token the CRM sent with a line break (or
// an edited settings file) must not become a second header or a second request,
// so control characters never reach the wire.
QByteArray headerValue(const QString& setting) {
    const QByteArray text = setting.toUtf8();
    QByteArray value;
    for (const char c : text) {
        if (!((c >= 0 && c < 0x20) || c == 0x7f))
            value.append(c);
    }
    return value;
}

// The request body as the network layer reads it, once. Qt's HTTP client posts a
// request again by itself when the connection closes before any answer came, and the
// CRM may well have applied the first one: a payment would go out twice, and the error
// of the second try would hide the first. To post again it must rewind the body, which
// this one refuses once any of it was handed out; the reply then fails at once.
class OnceOnlyBody : public QIODevice {
public:
    // Unbuffered: every read comes here, so pos() is where the network layer stands.
    explicit OnceOnlyBody(const QByteArray& body) : m_body(body) {
        open(QIODevice::ReadOnly | QIODevice::Unbuffered);
    }

    // Whether any of the request left for the CRM.
    bool handedOut() const { return m_handedOut; }
    // Whether the connection closed after that, before any answer.
    bool secondPostRefused() const { return m_secondPostRefused; }

    bool isSequential() const override { return false; }
    qint64 size() const override { return m_body.size(); }
    bool reset() override {
        if (m_handedOut) {
            m_secondPostRefused = true;
            return false;
        }
        return QIODevice::reset();
    }

protected:
    qint64 readData(char* data, qint64 maxSize) override {
        const qint64 n = qMin(maxSize, m_body.size() - pos());
        std::copy_n(m_body.constData() + pos(), n, data);
        m_handedOut = m_handedOut || n > 0;
        return n;
    }
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    QByteArray m_body;
    bool m_handedOut = false;
    bool m_secondPostRefused = false;
};

} // namespace

CrmWorker::CrmWorker() : QThread(nullptr) {}

CrmWorker::~CrmWorker() {
    // The controller never lets an exchange outlive it, but a host that unloads the
    // library mid-exchange must not crash in QThread's destructor.
    wait();
}

void CrmWorker::setRequest(const QString& txCode, const QByteArray& body) {
    m_txCode = txCode;
    m_body = body;
}

void CrmWorker::run() {
    m_error.clear();
    m_reply.clear();
    m_rejectedTimeOut.clear();
    m_succeeded = false;
    m_sent = false;
    exchange();
}

void CrmWorker::exchange() {
    // Read afresh on every exchange, so that an edit of the settings or a new token
    // from the sign-in takes effect at once.
    const Settings::CrmSettings settings = Settings::crm();
    m_rejectedTimeOut = settings.rejectedTimeOut;
    if (settings.address.isEmpty()) {
        m_error = tr("未配置VordaCRM地址");
        return;
    }
    // Joined as plain text, nothing normalised: the URL is exactly what the
    // integrator configured (an address ending in "/" gives two slashes).
    const QString url = settings.address + QStringLiteral("/txCtrl?txcode=") + m_txCode;

    const QByteArray token = headerValue(settings.token);
    const QByteArray companyId = headerValue(settings.companyId);
    const QByteArray deviceId = headerValue(settings.deviceId);
    if (companyId.isEmpty()) {
        m_error = tr("请求未配置公司ID");
        return;
    }
    if (deviceId.isEmpty()) {
        m_error = tr("请求未配置设备编码");
        return;
    }

    QNetworkAccessManager manager;
    QNetworkRequest request(QUrl(url, QUrl::TolerantMode));
    // An empty token still goes out as an empty header; a null QByteArray would
    // remove the header instead.
    request.setRawHeader("Content-Type", "application/json;charset=utf-8");
    request.setRawHeader("Accept", "application/json");
    request.setRawHeader("Token", token.isNull() ? QByteArray("") : token);
    request.setRawHeader("dataType", "json");
    request.setRawHeader("DeviceId", deviceId);
    request.setRawHeader("CompanyId", companyId);
    // The body is the reply's child and the reply the manager's: all go when the run ends.
    auto* body = new OnceOnlyBody(m_body);
    QNetworkReply* reply = manager.post(request, body);
    body->setParent(reply);
    QEventLoop loop;
    QTimer timer;
    timer.setSingleShot(true);
    // A coarse timer may fire up to 5% early; the cashier is promised the full time-out.
    timer.setTimerType(Qt::PreciseTimer);
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit, Qt::UniqueConnection);
    QObject::connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit, Qt::UniqueConnection);
    QObject::connect(&timer, &QTimer::timeout, &timer, &QTimer::stop, Qt::UniqueConnection);

    timer.start(settings.timeoutMs);
    if (!reply->isFinished())
        loop.exec();

    m_sent = body->handedOut();
    if (!reply->isFinished() && !timer.isActive()) {
        m_error = tr("请求超时，请再次尝试或联系管理员处理");
        return;
    }
    timer.stop();
    readReply(reply, body->secondPostRefused());
}

QString CrmWorker::networkError(int code, const QString& text) {
    return tr("网络错误，请再次尝试或联系管理员处理。错误代码: ") + QString::number(code) + QLatin1Char(' ') +
           text;
}

void CrmWorker::readReply(QNetworkReply* reply, bool secondPostRefused) {
    // The toolkit's own error is then about the second post it was refused; the one
    // exchange ended in the connection closing, told in the toolkit's own words.
    if (secondPostRefused) {
        m_error = networkError(QNetworkReply::RemoteHostClosedError,
                               QCoreApplication::translate("QHttp", "Connection closed"));
        return;
    }
    const int code = reply->error();
    if (code == QNetworkReply::NoError) {
        m_reply = replyBodyText(reply);
        m_succeeded = true;
        return;
    }
    if (code == QNetworkReply::ProtocolInvalidOperationError) {
        // HTTP 400. When the CRM explains its refusal in a JSON object, that object is
        // the reply and the operation reports the CRM's own words. Anything else (a
        // proxy's error page) is a network error like the others. A "Location" header
        // is never followed: a payment is not posted a second time to another place.
        const QString text = replyBodyText(reply);
        if (QJsonDocument::fromJson(text.toUtf8()).isObject()) {
            m_reply = text;
            m_succeeded = true;
            return;
        }
    }
    m_error = networkError(code, reply->errorString());
}
