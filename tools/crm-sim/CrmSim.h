#pragma once

// Vorda CRM simulator.
//
// A small HTTP server that stands in for the CRM in tests, benchmarks and the demo
// till. Scripted mode: the test queues the next replies per transaction code and
// reads back every request as it arrived on the wire. When nothing is queued for a
// transaction code, a fallback handler answers (a 404 by default; the business mode
// plugs in here).
//
// The server answers on its own threads, so it keeps serving while the caller's GUI
// thread sits in nested event loops. Every public method may be called from any thread.
//
// This code deliberately shares nothing with the plug-in: a mistake on one side must
// show up as a disagreement with the other.

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>

#include <functional>
#include <memory>

namespace crmsim {

// One scripted answer.
struct Reply {
    int status = 200;
    QByteArray body;                              // sent as-is (may contain NUL bytes, may be huge)
    QList<QPair<QByteArray, QByteArray>> headers; // extra response headers
    int delayMs = 0;                              // wait before answering
    bool hang = false;                            // never answer (until the server stops)
    bool drop = false;                            // close the connection without any reply
    bool dropMidBody = false; // send headers + half of the body, then close (an empty body: like drop)
    int trickleMs = 0;        // send the body in pieces of kTricklePiece bytes spaced by this many ms

    static constexpr int kTricklePiece = 8;

    // A JSON answer: the body with "Content-Type: application/json;charset=utf-8".
    static Reply json(const QByteArray& body, int status = 200);
};

// One request as the server received it.
struct Request {
    QByteArray method;
    QByteArray target; // path + query exactly as received
    QByteArray path;   // the target up to the '?', as received (not percent-decoded)
    QByteArray txcode; // query parameter "txcode", percent-decoded
    QByteArray body;
    QList<QPair<QByteArray, QByteArray>> headers; // in received order, names as received

    // Case-insensitive lookup; the first header of that name, empty if absent.
    QByteArray header(const QByteArray& name) const;
    bool hasHeader(const QByteArray& name) const;
};

using Handler = std::function<Reply(const Request&)>;

class Server {
public:
    Server();
    ~Server(); // stops

    Server(const Server&) = delete;
    Server& operator=(const Server&) = delete;

    // Listens on its own threads; port 0 picks a free port. False when the address
    // cannot be bound or the server already runs.
    bool start(const QString& host = QStringLiteral("127.0.0.1"), int port = 0);
    // The same over TLS with a PEM certificate (chain) and private key; baseUrl() is https then.
    bool startTls(const QString& certFile, const QString& keyFile,
                  const QString& host = QStringLiteral("127.0.0.1"), int port = 0);
    // Releases waiting and hanging replies at once (their connections close without a
    // reply) and joins all threads. Queued replies, recorded requests and the fallback stay.
    void stop();
    bool isRunning() const;

    int port() const;
    QString baseUrl() const; // "http://127.0.0.1:<port>", empty when not running

    void enqueue(const QByteArray& txcode, const Reply& r); // FIFO per transaction code
    int queued(const QByteArray& txcode) const;             // replies still waiting for that code
    // Used when the queue of that transaction code is empty. Runs on a server thread.
    // Default: 404 with body {"error":"no scripted reply"}. An empty function restores it.
    void setFallback(Handler f);

    QList<Request> requests() const; // every request received, in order
    int requestCount() const;
    void clearRequests();
    // True once at least n requests have arrived. On the application's main thread it
    // keeps processing Qt events while it waits, so a client on that thread makes progress.
    bool waitForRequests(int n, int timeoutMs) const;

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

} // namespace crmsim
