#include "CrmSim.h"

#include "Transport.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QHash>
#include <QQueue>
#include <QThread>

#include <atomic>
#include <condition_variable>
#include <csignal>
#include <memory>
#include <mutex>
#include <thread>

namespace crmsim {

namespace {

constexpr size_t kMaxRequestBody = 64u * 1024 * 1024;
constexpr time_t kReadTimeoutSec = 5;
constexpr time_t kKeepAliveSec = 5;
constexpr size_t kKeepAliveMax = 1000;

Reply noScriptedReply(const Request&) {
    return Reply::json(R"({"error":"no scripted reply"})", 404);
}

bool sameName(const QByteArray& a, const QByteArray& b) {
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

// Header lines of a raw request head, in the order and spelling the client used.
QList<QPair<QByteArray, QByteArray>> parseHeaderLines(const QByteArray& head) {
    QList<QPair<QByteArray, QByteArray>> headers;
    const QList<QByteArray> lines = head.split('\n');
    for (int i = 1; i < lines.size(); ++i) { // line 0 is the request line
        QByteArray line = lines.at(i);
        if (line.endsWith('\r'))
            line.chop(1);
        if (line.isEmpty())
            break;
        const int colon = line.indexOf(':');
        if (colon <= 0)
            continue;
        headers.append(qMakePair(line.left(colon), line.mid(colon + 1).trimmed()));
    }
    return headers;
}

} // namespace

Reply Reply::json(const QByteArray& body, int status) {
    Reply r;
    r.status = status;
    r.body = body;
    r.headers.append(qMakePair(QByteArray("Content-Type"), QByteArray("application/json;charset=utf-8")));
    return r;
}

QByteArray Request::header(const QByteArray& name) const {
    for (const auto& h : headers) {
        if (sameName(h.first, name))
            return h.second;
    }
    return QByteArray();
}

bool Request::hasHeader(const QByteArray& name) const {
    for (const auto& h : headers) {
        if (sameName(h.first, name))
            return true;
    }
    return false;
}

// One run of the server, from start() to stop().
struct Run {
    detail::Connections conns;
    std::unique_ptr<httplib::Server> http;
    std::thread listener;
    QString scheme;
    QString host;
    int port = 0;
};

struct Server::Impl {
    mutable std::mutex m;
    mutable std::condition_variable cv; // new requests, and the stop that ends every wait
    bool stopping = false;
    std::unique_ptr<Run> run;
    QHash<QByteArray, QQueue<Reply>> queues;
    Handler fallback = noScriptedReply;
    QList<Request> requests;

    bool start(std::unique_ptr<httplib::Server> http, std::unique_ptr<Run> r, const QString& scheme,
               const QString& host, int port);
    void handle(const httplib::Request& in, httplib::Response& out);
    Reply replyFor(const Request& req);
    void serve(const Reply& reply, httplib::Response& out, detail::ConnectionStream* conn);
    // Sleeps unless the server stops first; false when it stopped.
    bool pause(int ms);
};

bool Server::Impl::start(std::unique_ptr<httplib::Server> http, std::unique_ptr<Run> r, const QString& scheme,
                         const QString& host, int port) {
    if (!http->is_valid())
        return false;
    {
        std::lock_guard<std::mutex> lock(m);
        stopping = false; // the previous run, if any, is over: stop() joined it
    }
    http->new_task_queue = [] { return new detail::ConnectionThreads; };
    // Plain SO_REUSEADDR: httplib's default also sets SO_REUSEPORT, which would let two
    // simulators share a port silently.
    http->set_socket_options([](socket_t sock) {
        int yes = 1;
        ::setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof(yes));
    });
    http->set_read_timeout(kReadTimeoutSec);
    http->set_write_timeout(kReadTimeoutSec);
    http->set_keep_alive_timeout(kKeepAliveSec);
    http->set_keep_alive_max_count(kKeepAliveMax);
    http->set_payload_max_length(kMaxRequestBody);
    http->set_default_headers({});

    const auto handler = [this](const httplib::Request& in, httplib::Response& out) { handle(in, out); };
    const std::string any = ".*";
    http->Get(any, handler);
    http->Post(any, handler);
    http->Put(any, handler);
    http->Patch(any, handler);
    http->Delete(any, handler);
    http->Options(any, handler);

    const std::string h = host.toStdString();
    const int bound = port == 0 ? http->bind_to_any_port(h) : (http->bind_to_port(h, port) ? port : -1);
    if (bound <= 0)
        return false;

    httplib::Server* raw = http.get();
    r->http = std::move(http);
    r->scheme = scheme;
    r->host = host;
    r->port = bound;
    auto listenerDone = std::make_shared<std::atomic<bool>>(false);
    r->listener = std::thread([raw, listenerDone] {
        raw->listen_after_bind();
        *listenerDone = true;
    });
    // httplib's stop() is a no-op until the listener runs, so do not hand out a server
    // that a quick stop() could not end.
    while (!raw->is_running() && !*listenerDone)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    if (*listenerDone) {
        r->listener.join();
        return false;
    }

    std::lock_guard<std::mutex> lock(m);
    run = std::move(r);
    return true;
}

void Server::Impl::handle(const httplib::Request& in, httplib::Response& out) {
    detail::ConnectionStream* conn = detail::currentConnection();
    Request req;
    req.method = QByteArray::fromStdString(in.method);
    req.target = QByteArray::fromStdString(in.target);
    const int query = req.target.indexOf('?');
    req.path = query < 0 ? req.target : req.target.left(query);
    req.txcode = QByteArray::fromStdString(in.get_param_value("txcode"));
    req.body = QByteArray(in.body.data(), static_cast<int>(in.body.size()));
    if (conn)
        req.headers = parseHeaderLines(conn->head());
    {
        std::lock_guard<std::mutex> lock(m);
        requests.append(req);
    }
    cv.notify_all();
    serve(replyFor(req), out, conn);
}

Reply Server::Impl::replyFor(const Request& req) {
    Handler f;
    {
        std::lock_guard<std::mutex> lock(m);
        auto it = queues.find(req.txcode);
        if (it != queues.end() && !it->isEmpty())
            return it->dequeue();
        f = fallback;
    }
    // Outside the lock: the business handler may take its time.
    try {
        return f(req);
    } catch (const std::exception& e) {
        return Reply::json(QByteArray(R"({"error":"fallback failed: )") + e.what() + "\"}", 500);
    } catch (...) {
        return Reply::json(R"({"error":"fallback failed"})", 500);
    }
}

bool Server::Impl::pause(int ms) {
    std::unique_lock<std::mutex> lock(m);
    return !cv.wait_for(lock, std::chrono::milliseconds(ms), [this] { return stopping; });
}

void Server::Impl::serve(const Reply& reply, httplib::Response& out, detail::ConnectionStream* conn) {
    const auto hangUp = [conn] {
        if (conn)
            conn->abort();
    };
    if (reply.delayMs > 0 && !pause(reply.delayMs))
        return hangUp();
    if (reply.hang) {
        std::unique_lock<std::mutex> lock(m);
        cv.wait(lock, [this] { return stopping; });
        lock.unlock();
        return hangUp();
    }
    if (reply.drop || (reply.dropMidBody && reply.body.isEmpty()))
        return hangUp();

    out.status = reply.status;
    std::string contentType = "text/plain";
    for (const auto& h : reply.headers) {
        if (sameName(h.first, "Content-Type"))
            contentType = h.second.toStdString();
        out.set_header(h.first.toStdString(), h.second.toStdString());
    }
    if (!reply.dropMidBody && reply.trickleMs <= 0) {
        out.body.assign(reply.body.constData(), static_cast<size_t>(reply.body.size()));
        return;
    }

    // Streamed: the body is written piece by piece from the provider below.
    out.headers.erase("Content-Type"); // set_content_provider puts it back
    const QByteArray body = reply.body;
    const size_t total = static_cast<size_t>(body.size());
    const size_t sendable = reply.dropMidBody ? total / 2 : total;
    const int trickleMs = reply.trickleMs;
    out.set_content_provider(
        total, contentType,
        [this, body, sendable, trickleMs, hangUp](size_t offset, size_t, httplib::DataSink& sink) {
            if (offset >= sendable) {
                hangUp(); // the client was promised more than it gets
                return false;
            }
            size_t piece = sendable - offset;
            if (trickleMs > 0) {
                if (offset > 0 && !pause(trickleMs)) {
                    hangUp();
                    return false;
                }
                piece = std::min<size_t>(piece, Reply::kTricklePiece);
            }
            return sink.write(body.constData() + offset, piece);
        });
}

// --- Server ------------------------------------------------------------------

Server::Server() : d(new Impl) {}

Server::~Server() {
    stop();
}

bool Server::start(const QString& host, int port) {
    if (isRunning())
        return false;
    auto r = std::make_unique<Run>();
    auto http = std::make_unique<detail::SimHttpServer<httplib::Server>>(r->conns);
    return d->start(std::move(http), std::move(r), QStringLiteral("http"), host, port);
}

bool Server::startTls(const QString& certFile, const QString& keyFile, const QString& host, int port) {
    if (isRunning())
        return false;
    // A client that goes away mid-handshake must not take the whole process with it:
    // the TLS library writes to the socket without MSG_NOSIGNAL.
    struct sigaction current {};
    if (::sigaction(SIGPIPE, nullptr, &current) == 0 && current.sa_handler == SIG_DFL)
        std::signal(SIGPIPE, SIG_IGN);
    auto r = std::make_unique<Run>();
    const QByteArray cert = certFile.toLocal8Bit();
    const QByteArray key = keyFile.toLocal8Bit();
    auto http = std::make_unique<detail::SimHttpServer<httplib::SSLServer>>(r->conns, cert.constData(),
                                                                            key.constData());
    return d->start(std::move(http), std::move(r), QStringLiteral("https"), host, port);
}

void Server::stop() {
    std::unique_ptr<Run> r;
    {
        std::lock_guard<std::mutex> lock(d->m);
        r = std::move(d->run);
        d->stopping = true;
    }
    d->cv.notify_all();
    if (!r)
        return;
    r->conns.stopping = true;
    r->http->stop();
    r->conns.shutdownAll();
    r->listener.join(); // httplib joins the connection threads before its listener returns
}

bool Server::isRunning() const {
    std::lock_guard<std::mutex> lock(d->m);
    return d->run != nullptr;
}

int Server::port() const {
    std::lock_guard<std::mutex> lock(d->m);
    return d->run ? d->run->port : 0;
}

QString Server::baseUrl() const {
    std::lock_guard<std::mutex> lock(d->m);
    if (!d->run)
        return QString();
    return QStringLiteral("%1://%2:%3").arg(d->run->scheme, d->run->host).arg(d->run->port);
}

void Server::enqueue(const QByteArray& txcode, const Reply& r) {
    std::lock_guard<std::mutex> lock(d->m);
    d->queues[txcode].enqueue(r);
}

int Server::queued(const QByteArray& txcode) const {
    std::lock_guard<std::mutex> lock(d->m);
    return d->queues.value(txcode).size();
}

void Server::setFallback(Handler f) {
    std::lock_guard<std::mutex> lock(d->m);
    d->fallback = f ? std::move(f) : Handler(noScriptedReply);
}

QList<Request> Server::requests() const {
    std::lock_guard<std::mutex> lock(d->m);
    return d->requests;
}

int Server::requestCount() const {
    std::lock_guard<std::mutex> lock(d->m);
    return d->requests.size();
}

void Server::clearRequests() {
    std::lock_guard<std::mutex> lock(d->m);
    d->requests.clear();
}

bool Server::waitForRequests(int n, int timeoutMs) const {
    const QDeadlineTimer deadline(timeoutMs);
    const QCoreApplication* app = QCoreApplication::instance();
    const bool onMainThread = app && QThread::currentThread() == app->thread();
    const auto arrived = [this, n] { return d->requests.size() >= n; };
    for (;;) {
        {
            std::unique_lock<std::mutex> lock(d->m);
            const auto slice = std::chrono::milliseconds(onMainThread ? 5 : 50);
            if (d->cv.wait_for(lock, slice, arrived))
                return true;
        }
        if (deadline.hasExpired())
            return false;
        if (onMainThread)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
}

} // namespace crmsim
