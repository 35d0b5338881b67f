#pragma once

// Connection handling under cpp-httplib, private to the simulator.
//
// httplib parses requests and writes responses for us, but its request headers come
// back sorted by name and its connections cannot be cut on purpose. A CRM fixture has
// to show the headers in the order the client sent them and has to be able to hang up
// mid-way, so each accepted connection is served here over our own stream: it keeps
// the raw request head, can be aborted by the handler, and gives up promptly when the
// server stops.

#include <httplib.h>

#include <QByteArray>

#include <atomic>
#include <functional>
#include <mutex>
#include <set>
#include <thread>
#include <type_traits>
#include <vector>

namespace crmsim::detail {

// Live connections of one server run, so that stop() can cut every one of them,
// including a handshake or a read that is still blocking.
class Connections {
public:
    std::atomic<bool> stopping{false};

    bool add(socket_t sock);    // false when the server is already stopping
    void remove(socket_t sock); // before the descriptor is closed, never after
    void shutdownAll();

private:
    std::mutex m_;
    std::set<socket_t> socks_;
};

// One accepted connection, plain or TLS.
class ConnectionStream : public httplib::Stream {
public:
    ConnectionStream(socket_t sock, SSL* ssl, const std::atomic<bool>& stopping, int readTimeoutMs);

    bool is_readable() const override;
    bool is_writable() const override;
    ssize_t read(char* ptr, size_t size) override;
    ssize_t write(const char* ptr, size_t size) override;
    void get_remote_ip_and_port(std::string& ip, int& port) const override;
    void get_local_ip_and_port(std::string& ip, int& port) const override;
    socket_t socket() const override { return sock_; }

    // Keep-alive wait for the next request; false on time-out, stop or abort.
    bool waitForRequest(int timeoutMs);
    void beginHead();                                // records what is read from here on
    void endHead();                                  // the head is complete; stop recording
    const QByteArray& head() const { return head_; } // request line and header lines, raw

    void abort(); // hang up now, without any (further) reply
    bool aborted() const { return aborted_; }

private:
    bool waitReadable(int timeoutMs) const;
    bool fill();

    socket_t sock_;
    SSL* ssl_;
    const std::atomic<bool>& stopping_;
    int readTimeoutMs_;
    std::atomic<bool> aborted_{false};
    std::vector<char> buf_;
    size_t pos_ = 0;
    size_t end_ = 0;
    bool recording_ = false;
    QByteArray head_;
};

// The connection the calling server thread is serving right now (null elsewhere).
ConnectionStream* currentConnection();

// The whole life of one accepted socket: TLS handshake, keep-alive loop, close.
using RequestProcessor = std::function<bool(httplib::Stream&, bool closeConnection, bool& connectionClosed,
                                            const std::function<void(httplib::Request&)>& setup)>;
struct ConnectionLimits {
    size_t keepAliveMax;
    int keepAliveMs;
    int readTimeoutMs;
};
bool serveConnection(socket_t sock, SSL_CTX* ctx, Connections& conns, const ConnectionLimits& limits,
                     const RequestProcessor& process);

// One thread per connection: an idle keep-alive connection must never keep the next
// client waiting, which a fixed pool would do once every worker holds one.
class ConnectionThreads : public httplib::TaskQueue {
public:
    ~ConnectionThreads() override;
    void enqueue(std::function<void()> fn) override;
    void shutdown() override;

private:
    struct Worker {
        std::thread thread;
        std::shared_ptr<std::atomic<bool>> done;
    };
    void reapLocked();

    std::mutex m_;
    std::vector<Worker> workers_;
};

// httplib's server (or its TLS server) with our connection handling slotted in.
template <class Base> class SimHttpServer final : public Base {
public:
    template <class... Args>
    explicit SimHttpServer(Connections& conns, Args&&... args)
        : Base(std::forward<Args>(args)...), conns_(conns) {}

private:
    bool process_and_close_socket(socket_t sock) override {
        SSL_CTX* ctx = nullptr;
        if constexpr (std::is_base_of_v<httplib::SSLServer, Base>)
            ctx = this->ssl_context();
        const ConnectionLimits limits{
            this->keep_alive_max_count_, static_cast<int>(this->keep_alive_timeout_sec_ * 1000),
            static_cast<int>(this->read_timeout_sec_ * 1000 + this->read_timeout_usec_ / 1000)};
        return serveConnection(sock, ctx, conns_, limits,
                               [this](httplib::Stream& strm, bool closeConnection, bool& connectionClosed,
                                      const std::function<void(httplib::Request&)>& setup) {
                                   return this->process_request(strm, closeConnection, connectionClosed,
                                                                setup);
                               });
    }

    Connections& conns_;
};

} // namespace crmsim::detail
