#include "LoopbackServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>

namespace {

bool sendAll(int fd, const char* data, size_t n) {
    while (n > 0) {
        const ssize_t s = ::send(fd, data, n, MSG_NOSIGNAL);
        if (s <= 0) return false;
        data += s;
        n -= static_cast<size_t>(s);
    }
    return true;
}

const char* reason(int status) {
    switch (status) {
        case 200: return "OK";
        case 403: return "Forbidden";
        case 404: return "Not Found";
        case 500: return "Internal Server Error";
        default: return "Status";
    }
}

}  // namespace

LoopbackServer::LoopbackServer() {
    listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int one = 1;
    ::setsockopt(listenFd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = 0;
    ::bind(listenFd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    ::listen(listenFd_, 16);
    socklen_t len = sizeof addr;
    ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&addr), &len);
    port_ = ntohs(addr.sin_port);
    acceptor_ = std::thread([this] { acceptLoop(); });
}

LoopbackServer::~LoopbackServer() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
        for (int fd : clients_) ::shutdown(fd, SHUT_RDWR);
    }
    cv_.notify_all();
    ::shutdown(listenFd_, SHUT_RDWR);
    ::close(listenFd_);
    acceptor_.join();
    for (auto& t : workers_) t.join();
}

void LoopbackServer::Set(const std::string& path, const Reply& reply) {
    std::lock_guard<std::mutex> lock(mutex_);
    replies_[path] = reply;
}

QString LoopbackServer::Base() const { return QStringLiteral("http://127.0.0.1:%1/").arg(port_); }

int LoopbackServer::Requests(const std::string& path) const {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto it = counts_.find(path);
    return it == counts_.end() ? 0 : it->second;
}

bool LoopbackServer::waitStopped(int ms) {
    std::unique_lock<std::mutex> lock(mutex_);
    return cv_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return stop_.load(); });
}

void LoopbackServer::acceptLoop() {
    for (;;) {
        const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) return;
        std::lock_guard<std::mutex> lock(mutex_);
        if (stop_) {
            ::close(fd);
            return;
        }
        clients_.push_back(fd);
        workers_.emplace_back([this, fd] { serve(fd); });
    }
}

void LoopbackServer::serve(int fd) {
    std::string request;
    char buf[4096];
    while (request.find("\r\n\r\n") == std::string::npos) {
        const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
        if (n <= 0) break;
        request.append(buf, static_cast<size_t>(n));
    }
    std::string path;
    const auto sp1 = request.find(' ');
    const auto sp2 = request.find(' ', sp1 + 1);
    if (sp1 != std::string::npos && sp2 != std::string::npos) path = request.substr(sp1 + 1, sp2 - sp1 - 1);

    Reply reply;
    bool known = false;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        ++counts_[path];
        const auto it = replies_.find(path);
        if (it != replies_.end()) {
            reply = it->second;
            known = true;
        }
    }
    if (!known) {
        reply.status = 404;
        reply.body = "not found";
    }
    std::string head = "HTTP/1.1 " + std::to_string(reply.status) + " " + reason(reply.status) + "\r\n";
    if (reply.sendLength) head += "Content-Length: " + std::to_string(reply.body.size()) + "\r\n";
    head += "Connection: close\r\n\r\n";
    bool ok = sendAll(fd, head.data(), head.size());

    const int limit = reply.stallAfter >= 0 ? std::min<int>(reply.stallAfter, reply.body.size()) : reply.body.size();
    const int piece = reply.pieceSize > 0 ? reply.pieceSize : std::max(limit, 1);
    for (int pos = 0; ok && pos < limit; pos += piece) {
        if (pos > 0 && reply.pieceDelayMs > 0 && waitStopped(reply.pieceDelayMs)) ok = false;
        if (ok) ok = sendAll(fd, reply.body.constData() + pos, static_cast<size_t>(std::min(piece, limit - pos)));
    }
    if (ok && reply.stallAfter >= 0) {
        std::unique_lock<std::mutex> lock(mutex_);
        cv_.wait(lock, [this] { return stop_.load(); });
    }
    ::shutdown(fd, SHUT_RDWR);
    std::lock_guard<std::mutex> lock(mutex_);
    ::close(fd);
    for (auto& c : clients_)
        if (c == fd) c = -1;
}

ScopedEnv::ScopedEnv(const char* name, const QByteArray& value)
    : name_(name), old_(qgetenv(name)), had_(qEnvironmentVariableIsSet(name)) {
    qputenv(name, value);
}

ScopedEnv::~ScopedEnv() {
    if (had_) qputenv(name_, old_);
    else qunsetenv(name_);
}
