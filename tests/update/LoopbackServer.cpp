#include "LoopbackServer.h"

#include <QFile>

#include <arpa/inet.h>
#include <gnutls/gnutls.h>
#include <gnutls/x509.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <ctime>

// A self-signed certificate for 127.0.0.1, made when the server starts.
struct LoopbackServer::Tls {
    gnutls_x509_privkey_t key = nullptr;
    gnutls_x509_crt_t crt = nullptr;
    gnutls_certificate_credentials_t cred = nullptr;
    QByteArray pem;

    Tls() {
        gnutls_x509_privkey_init(&key);
        gnutls_x509_privkey_generate(key, GNUTLS_PK_ECDSA, GNUTLS_CURVE_TO_BITS(GNUTLS_ECC_CURVE_SECP256R1), 0);
        gnutls_x509_crt_init(&crt);
        gnutls_x509_crt_set_version(crt, 3);
        const unsigned char serial[] = {0x01, 0x6c, 0x6f, 0x6f, 0x70};
        gnutls_x509_crt_set_serial(crt, serial, sizeof serial);
        const time_t now = std::time(nullptr);
        gnutls_x509_crt_set_activation_time(crt, now - 3600);
        gnutls_x509_crt_set_expiration_time(crt, now + 86400);
        gnutls_x509_crt_set_dn_by_oid(crt, GNUTLS_OID_X520_COMMON_NAME, 0, "127.0.0.1", 9);
        const unsigned char ip[] = {127, 0, 0, 1};
        gnutls_x509_crt_set_subject_alt_name(crt, GNUTLS_SAN_IPADDRESS, ip, sizeof ip, GNUTLS_FSAN_SET);
        gnutls_x509_crt_set_basic_constraints(crt, 1, -1);
        gnutls_x509_crt_set_key_usage(crt, GNUTLS_KEY_DIGITAL_SIGNATURE | GNUTLS_KEY_KEY_CERT_SIGN);
        gnutls_x509_crt_set_key_purpose_oid(crt, GNUTLS_KP_TLS_WWW_SERVER, 0);
        gnutls_x509_crt_set_key(crt, key);
        gnutls_x509_crt_sign2(crt, crt, key, GNUTLS_DIG_SHA256, 0);
        gnutls_datum_t out{};
        if (gnutls_x509_crt_export2(crt, GNUTLS_X509_FMT_PEM, &out) == 0) {
            pem = QByteArray(reinterpret_cast<const char*>(out.data), static_cast<int>(out.size));
            gnutls_free(out.data);
        }
        gnutls_certificate_allocate_credentials(&cred);
        gnutls_certificate_set_x509_key(cred, &crt, 1, key);
    }
    ~Tls() {
        gnutls_certificate_free_credentials(cred);
        gnutls_x509_crt_deinit(crt);
        gnutls_x509_privkey_deinit(key);
    }
};

// One client connection, plain or TLS.
struct LoopbackServer::Conn {
    int fd;
    gnutls_session_t session = nullptr;

    Conn(int f, Tls* tls) : fd(f) {
        if (!tls) return;
        gnutls_init(&session, GNUTLS_SERVER | GNUTLS_NO_SIGNAL);
        gnutls_set_default_priority(session);
        gnutls_credentials_set(session, GNUTLS_CRD_CERTIFICATE, tls->cred);
        gnutls_transport_set_int(session, fd);
        gnutls_handshake_set_timeout(session, 5000);
        int r;
        do r = gnutls_handshake(session);
        while (r < 0 && !gnutls_error_is_fatal(r));
        if (r < 0) {
            gnutls_deinit(session);
            session = nullptr;
            fd = -1;  // nothing more on this connection
        }
    }
    ~Conn() {
        if (session) {
            gnutls_bye(session, GNUTLS_SHUT_WR);
            gnutls_deinit(session);
        }
    }
    ssize_t recv(char* buf, size_t n) {
        if (fd < 0) return -1;
        if (session) return gnutls_record_recv(session, buf, n);
        return ::recv(fd, buf, n, 0);
    }
    bool sendAll(const char* data, size_t n) {
        if (fd < 0) return false;
        while (n > 0) {
            const ssize_t s = session ? gnutls_record_send(session, data, n) : ::send(fd, data, n, MSG_NOSIGNAL);
            if (s <= 0) return false;
            data += s;
            n -= static_cast<size_t>(s);
        }
        return true;
    }
};

namespace {

const char* reason(int status) {
    switch (status) {
        case 200: return "OK";
        case 301: return "Moved Permanently";
        case 302: return "Found";
        case 403: return "Forbidden";
        case 404: return "Not Found";
        case 500: return "Internal Server Error";
        default: return "Status";
    }
}

}  // namespace

LoopbackServer::LoopbackServer(bool tls) {
    if (tls) {
        tls_ = std::make_unique<Tls>();
        caFile_ = certDir_.path() + "/loopback.pem";
        QFile f(caFile_);
        if (f.open(QIODevice::WriteOnly)) f.write(tls_->pem);
    }
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
        for (int fd : clients_)
            if (fd >= 0) ::shutdown(fd, SHUT_RDWR);
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

QString LoopbackServer::Base() const {
    return QStringLiteral("%1://127.0.0.1:%2/").arg(tls_ ? "https" : "http").arg(port_);
}

int LoopbackServer::Requests(const std::string& path) const {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto it = counts_.find(path);
    return it == counts_.end() ? 0 : it->second;
}

bool LoopbackServer::waitStopped(int ms) {
    std::unique_lock<std::mutex> lock(mutex_);
    return cv_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return stop_.load(); });
}

void LoopbackServer::holdUntilStopped() {
    std::unique_lock<std::mutex> lock(mutex_);
    cv_.wait(lock, [this] { return stop_.load(); });
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
    {
        Conn conn(fd, tls_.get());
        std::string request;
        char buf[4096];
        while (request.find("\r\n\r\n") == std::string::npos) {
            const ssize_t n = conn.recv(buf, sizeof buf);
            if (n <= 0) break;
            request.append(buf, static_cast<size_t>(n));
        }
        std::string path;
        const auto sp1 = request.find(' ');
        const auto sp2 = request.find(' ', sp1 + 1);
        if (sp1 != std::string::npos && sp2 != std::string::npos) path = request.substr(sp1 + 1, sp2 - sp1 - 1);

        Reply reply;
        bool known = false;
        if (!path.empty()) {
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
        if (reply.silent) {
            holdUntilStopped();
        } else {
            const qint64 total = std::max<qint64>(reply.body.size(), reply.fillTo);
            std::string head = "HTTP/1.1 " + std::to_string(reply.status) + " " + reason(reply.status) + "\r\n";
            if (reply.sendLength)
                head += "Content-Length: " + std::to_string(reply.length >= 0 ? reply.length : total) + "\r\n";
            if (!reply.location.isEmpty()) head += "Location: " + reply.location.toStdString() + "\r\n";
            head += "Connection: close\r\n\r\n";
            bool ok = conn.sendAll(head.data(), head.size());

            int limit = reply.body.size();
            if (reply.stallAfter >= 0) limit = std::min<int>(reply.stallAfter, limit);
            if (reply.closeAfter >= 0) limit = std::min<int>(reply.closeAfter, limit);
            const int piece = reply.pieceSize > 0 ? reply.pieceSize : std::max(limit, 1);
            for (int pos = 0; ok && pos < limit; pos += piece) {
                if (pos > 0 && reply.pieceDelayMs > 0 && waitStopped(reply.pieceDelayMs)) ok = false;
                if (ok) ok = conn.sendAll(reply.body.constData() + pos, static_cast<size_t>(std::min(piece, limit - pos)));
            }
            if (reply.stallAfter < 0 && reply.closeAfter < 0) {
                const QByteArray filler(64 * 1024, '#');
                for (qint64 sent = reply.body.size(); ok && sent < total && !stop_; sent += filler.size())
                    ok = conn.sendAll(filler.constData(), static_cast<size_t>(std::min<qint64>(filler.size(), total - sent)));
            }
            if (ok && reply.stallAfter >= 0) holdUntilStopped();
        }
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
