#include "Transport.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <openssl/err.h>
#include <openssl/ssl.h>

#include <algorithm>
#include <cerrno>
#include <chrono>

namespace crmsim::detail {

namespace {

// Long waits are cut into slices so that a stop is noticed within one slice.
constexpr int kSliceMs = 50;
constexpr size_t kReadBuffer = 16 * 1024;

thread_local ConnectionStream* t_current = nullptr;

void addressOf(socket_t sock, bool peer, std::string& ip, int& port) {
    sockaddr_storage addr{};
    socklen_t len = sizeof(addr);
    const int rc = peer ? ::getpeername(sock, reinterpret_cast<sockaddr*>(&addr), &len)
                        : ::getsockname(sock, reinterpret_cast<sockaddr*>(&addr), &len);
    ip.clear();
    port = -1;
    if (rc != 0)
        return;
    char text[INET6_ADDRSTRLEN] = {};
    if (addr.ss_family == AF_INET) {
        const auto* a = reinterpret_cast<const sockaddr_in*>(&addr);
        ::inet_ntop(AF_INET, &a->sin_addr, text, sizeof(text));
        port = ntohs(a->sin_port);
    } else if (addr.ss_family == AF_INET6) {
        const auto* a = reinterpret_cast<const sockaddr_in6*>(&addr);
        ::inet_ntop(AF_INET6, &a->sin6_addr, text, sizeof(text));
        port = ntohs(a->sin6_port);
    }
    ip = text;
}

void setTimeouts(socket_t sock, int ms) {
    timeval tv{};
    tv.tv_sec = ms / 1000;
    tv.tv_usec = (ms % 1000) * 1000;
    ::setsockopt(sock, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof(tv));
    ::setsockopt(sock, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof(tv));
}

} // namespace

// --- Connections -------------------------------------------------------------

bool Connections::add(socket_t sock) {
    std::lock_guard<std::mutex> lock(m_);
    if (stopping)
        return false;
    socks_.insert(sock);
    return true;
}

void Connections::remove(socket_t sock) {
    std::lock_guard<std::mutex> lock(m_);
    socks_.erase(sock);
}

void Connections::shutdownAll() {
    std::lock_guard<std::mutex> lock(m_);
    for (socket_t sock : socks_)
        ::shutdown(sock, SHUT_RDWR);
}

// --- ConnectionStream --------------------------------------------------------

ConnectionStream::ConnectionStream(socket_t sock, SSL* ssl, const std::atomic<bool>& stopping,
                                   int readTimeoutMs)
    : sock_(sock), ssl_(ssl), stopping_(stopping), readTimeoutMs_(readTimeoutMs), buf_(kReadBuffer) {}

bool ConnectionStream::waitReadable(int timeoutMs) const {
    if (ssl_ && SSL_pending(ssl_) > 0)
        return true;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!stopping_ && !aborted_) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now())
                .count();
        if (left <= 0)
            return false;
        pollfd pfd{sock_, POLLIN, 0};
        const int rc = ::poll(&pfd, 1, static_cast<int>(std::min<long long>(left, kSliceMs)));
        if (rc > 0)
            return true; // data, or the peer hung up: the read tells which
        if (rc < 0 && errno != EINTR)
            return false;
    }
    return false;
}

bool ConnectionStream::fill() {
    if (!waitReadable(readTimeoutMs_))
        return false;
    ssize_t n;
    if (ssl_) {
        n = SSL_read(ssl_, buf_.data(), static_cast<int>(buf_.size()));
    } else {
        do {
            n = ::recv(sock_, buf_.data(), buf_.size(), 0);
        } while (n < 0 && errno == EINTR);
    }
    if (n <= 0)
        return false;
    pos_ = 0;
    end_ = static_cast<size_t>(n);
    return true;
}

bool ConnectionStream::is_readable() const {
    return pos_ < end_ || waitReadable(readTimeoutMs_);
}

bool ConnectionStream::is_writable() const {
    return !aborted_ && !stopping_;
}

ssize_t ConnectionStream::read(char* ptr, size_t size) {
    if (aborted_)
        return -1;
    if (pos_ >= end_ && !fill())
        return -1;
    const size_t n = std::min(size, end_ - pos_);
    std::copy_n(buf_.data() + pos_, n, ptr);
    pos_ += n;
    if (recording_)
        head_.append(ptr, static_cast<int>(n));
    return static_cast<ssize_t>(n);
}

ssize_t ConnectionStream::write(const char* ptr, size_t size) {
    size_t sent = 0;
    while (sent < size) {
        if (aborted_ || stopping_)
            return -1;
        ssize_t n;
        if (ssl_) {
            n = SSL_write(ssl_, ptr + sent, static_cast<int>(std::min<size_t>(size - sent, 1 << 30)));
        } else {
            n = ::send(sock_, ptr + sent, size - sent, MSG_NOSIGNAL);
            if (n < 0 && errno == EINTR)
                continue;
        }
        if (n <= 0)
            return -1;
        sent += static_cast<size_t>(n);
    }
    return static_cast<ssize_t>(size);
}

void ConnectionStream::get_remote_ip_and_port(std::string& ip, int& port) const {
    addressOf(sock_, true, ip, port);
}

void ConnectionStream::get_local_ip_and_port(std::string& ip, int& port) const {
    addressOf(sock_, false, ip, port);
}

bool ConnectionStream::waitForRequest(int timeoutMs) {
    return pos_ < end_ || waitReadable(timeoutMs);
}

void ConnectionStream::beginHead() {
    head_.clear();
    recording_ = true;
}

void ConnectionStream::endHead() {
    recording_ = false;
}

void ConnectionStream::abort() {
    if (!aborted_.exchange(true))
        ::shutdown(sock_, SHUT_RDWR);
}

ConnectionStream* currentConnection() {
    return t_current;
}

// --- serveConnection ---------------------------------------------------------

bool serveConnection(socket_t sock, SSL_CTX* ctx, Connections& conns, const ConnectionLimits& limits,
                     const RequestProcessor& process) {
    if (!conns.add(sock)) {
        ::close(sock);
        return false;
    }
    // Small pieces of a trickled body must leave at once, not wait for the client's ACK.
    int yes = 1;
    ::setsockopt(sock, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof(yes));
    // Bounds the blocking calls inside the TLS library; stop() cuts them sooner.
    setTimeouts(sock, limits.readTimeoutMs);

    SSL* ssl = nullptr;
    bool ok = true;
    if (ctx) {
        ssl = SSL_new(ctx);
        ok = ssl && SSL_set_fd(ssl, sock) == 1 && SSL_accept(ssl) == 1;
        if (!ok)
            ERR_clear_error();
    }

    if (ok) {
        ConnectionStream strm(sock, ssl, conns.stopping, limits.readTimeoutMs);
        t_current = &strm;
        for (size_t left = limits.keepAliveMax; left > 0 && !conns.stopping; --left) {
            if (!strm.waitForRequest(limits.keepAliveMs))
                break;
            strm.beginHead();
            bool closed = false;
            ok = process(strm, left == 1, closed, [&strm](httplib::Request& req) {
                strm.endHead();
                // The body goes out byte for byte as scripted: never compressed.
                req.headers.erase("Accept-Encoding");
            });
            if (!ok || closed || strm.aborted())
                break;
        }
        t_current = nullptr;
        if (ssl && !strm.aborted() && !conns.stopping)
            SSL_shutdown(ssl);
    }
    if (ssl)
        SSL_free(ssl);
    ERR_clear_error();

    conns.remove(sock);
    ::shutdown(sock, SHUT_RDWR);
    ::close(sock);
    return ok;
}

// --- ConnectionThreads -------------------------------------------------------

ConnectionThreads::~ConnectionThreads() {
    shutdown();
}

void ConnectionThreads::enqueue(std::function<void()> fn) {
    std::lock_guard<std::mutex> lock(m_);
    reapLocked();
    auto done = std::make_shared<std::atomic<bool>>(false);
    std::thread t([fn = std::move(fn), done] {
        fn();
        *done = true;
    });
    workers_.push_back(Worker{std::move(t), done});
}

void ConnectionThreads::shutdown() {
    std::vector<Worker> all;
    {
        std::lock_guard<std::mutex> lock(m_);
        all.swap(workers_);
    }
    for (Worker& w : all)
        w.thread.join();
}

void ConnectionThreads::reapLocked() {
    auto finished =
        std::partition(workers_.begin(), workers_.end(), [](const Worker& w) { return !*w.done; });
    for (auto it = finished; it != workers_.end(); ++it)
        it->thread.join();
    workers_.erase(finished, workers_.end());
}

} // namespace crmsim::detail
