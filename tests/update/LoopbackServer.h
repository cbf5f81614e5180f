#pragma once
// A small HTTP server on 127.0.0.1 for download tests, on its own threads so
// blocking downloads on the test's thread can reach it.
#include <QByteArray>
#include <QString>

#include <atomic>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

struct Reply {
    int status = 200;
    QByteArray body;
    bool sendLength = true;
    // Send this many body bytes, then hold the connection open without
    // sending more until the server stops; -1: send everything.
    int stallAfter = -1;
    // Send the body in pieces of this size with this pause between them.
    int pieceSize = 0;
    int pieceDelayMs = 0;
};

class LoopbackServer {
public:
    LoopbackServer();
    ~LoopbackServer();
    void Set(const std::string& path, const Reply& reply);
    // "http://127.0.0.1:<port>/"
    QString Base() const;
    int Requests(const std::string& path) const;

private:
    void acceptLoop();
    void serve(int fd);
    bool waitStopped(int ms);  // true when stopping

    int listenFd_ = -1;
    int port_ = 0;
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
