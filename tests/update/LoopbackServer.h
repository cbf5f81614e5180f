#pragma once
// A small HTTP (or HTTPS) server on 127.0.0.1 for download tests, on its own
// threads so blocking downloads on the test's thread can reach it.
#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

#include <atomic>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

struct Reply {
    // The body in pieces of pieceSize bytes, delayMs apart.
    static Reply Trickle(const QByteArray& body, int pieceSize, int delayMs) {
        Reply r;
        r.body = body;
        r.pieceSize = pieceSize;
        r.pieceDelayMs = delayMs;
        return r;
    }

    int status = 200;
    QByteArray body;
    bool sendLength = true;
    // Send this many body bytes, then hold the connection open without
    // sending more until the server stops; -1: send everything.
    int stallAfter = -1;
    // Send the body in pieces of this size with this pause between them.
    int pieceSize = 0;
    int pieceDelayMs = 0;
    // The length announced instead of the body's own; -1: the body's.
    qint64 length = -1;
    // Send this many body bytes, then close the connection; -1: send everything.
    int closeAfter = -1;
    // Read the request and answer nothing at all until the server stops.
    bool silent = false;
    // A Location header (for redirects).
    QByteArray location;
    // After the body, filler bytes up to this many in all (never held in memory).
    qint64 fillTo = 0;
};

class LoopbackServer {
public:
    // tls: serve https with a certificate for 127.0.0.1 made for this server.
    explicit LoopbackServer(bool tls = false);
    ~LoopbackServer();
    void Set(const std::string& path, const Reply& reply);
    // "http://127.0.0.1:<port>/" (or https)
    QString Base() const;
    int Requests(const std::string& path) const;
    // The server's certificate (PEM) to trust; "" without tls.
    QString CaFile() const { return caFile_; }

private:
    struct Tls;
    struct Conn;
    void acceptLoop();
    void serve(int fd);
    bool waitStopped(int ms);  // true when stopping
    void holdUntilStopped();

    int listenFd_ = -1;
    int port_ = 0;
    std::unique_ptr<Tls> tls_;
    QTemporaryDir certDir_;
    QString caFile_;
    std::atomic<bool> stop_{false};
    std::thread acceptor_;
    mutable std::mutex mutex_;
    std::condition_variable cv_;
    std::map<std::string, Reply> replies_;
    std::map<std::string, int> counts_;
    std::vector<std::thread> workers_;
    std::vector<int> clients_;
};

// An environment variable set for one scope and put back afterwards.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const QByteArray& value);
    ~ScopedEnv();

private:
    const char* name_;
    QByteArray old_;
    bool had_;
};
