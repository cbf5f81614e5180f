// The download object against a loopback HTTP server.
#include "LoopbackServer.h"
#include "update/DownloadStatus.h"
#include "update/KorsDL.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

struct RecordingHost : KorsDLHost {
    QStringList labels;
    std::vector<double> bars;
    QStringList trace;
    int cancelRequests = 0;
    KorsDL* dl = nullptr;
    void SetLabel1(const QString& t) override { labels << t; }
    void SetProgressBar1(double v) override { bars.push_back(v); }
    void EchoCancelRequest() override {
        ++cancelRequests;
        if (dl) dl->KillKor();
    }
    void AppendTrace(const QString& l) override { trace << l; }
};

// A download object with its events written down in order.
struct Recorded {
    RecordingHost host;
    KorsDL dl;
    QStringList events;
    std::vector<std::pair<qint32, qint32>> progress;
    qint32 crashCode = 0;
    QString crashText;
    bool crashCancelled = false;

    explicit Recorded(int wait = 300) : dl(host, wait) {
        host.dl = &dl;
        QObject::connect(&dl, &KorsDL::KorDLStart, [this] { events << "start"; });
        QObject::connect(&dl, &KorsDL::KorDLDone, [this] { events << "done"; });
        QObject::connect(&dl, &KorsDL::KorDLCancelled, [this] { events << "cancelled"; });
        QObject::connect(&dl, &KorsDL::KorDLCrash, [this](qint32 code, QString& text, bool& cancelled) {
            events << "crash";
            crashCode = code;
            crashText = text;
            crashCancelled = cancelled;
        });
        QObject::connect(&dl, &KorsDL::KorDLProg, [this](qint32 in, qint32 total) {
            if (events.isEmpty() || events.back() != "prog") events << "prog";
            progress.emplace_back(in, total);
        });
    }
};

QByteArray pattern(int n) {
    QByteArray b(n, '\0');
    for (int i = 0; i < n; ++i) b[i] = static_cast<char>('a' + i % 26);
    return b;
}

QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

}  // namespace

TEST(KorsDL, CompletedDownloadReportsProgressAndDone) {
    LoopbackServer server;
    const QByteArray body = pattern(150000);
    Reply r;
    r.body = body;
    r.pieceSize = 30000;
    r.pieceDelayMs = 30;
    server.Set("/downs/Plindor.rar", r);
    QTemporaryDir dir;
    const QString target = dir.path() + "/Plindor.rar";

    Recorded rec;
    const auto result = rec.dl.StartTheStinkinDownLoad(server.Base() + "downs/Plindor.rar", target);
    ASSERT_TRUE(result.has_value());
    EXPECT_TRUE(*result);
    EXPECT_EQ(readAll(target), body);
    ASSERT_GE(rec.events.size(), 3);
    EXPECT_EQ(rec.events.front(), "start");
    EXPECT_EQ(rec.events.back(), "done");
    EXPECT_FALSE(rec.events.contains("crash"));
    EXPECT_TRUE(rec.events.contains("prog"));
    for (const auto& [in, total] : rec.progress) {
        EXPECT_EQ(total, 150000);
        EXPECT_LE(in, total);
    }
    EXPECT_EQ(rec.progress.back().first, 150000);
    EXPECT_EQ(rec.host.labels.back(), "文件正在下载中...146.48kb/146.48kb");
    EXPECT_DOUBLE_EQ(rec.host.bars.back(), 1.0);
    EXPECT_TRUE(rec.host.trace.contains("GetPriority."));
    EXPECT_FALSE(rec.dl.Transferring());
}

TEST(KorsDL, FailuresCarryTheirStatusAndMessage) {
    LoopbackServer server;
    Reply forbidden;
    forbidden.status = 403;
    forbidden.body = "no";
    server.Set("/forbidden", forbidden);
    Reply broken;
    broken.status = 500;
    broken.body = "oops";
    server.Set("/broken", broken);
    QTemporaryDir dir;

    struct Case {
        QString url;
        QString target;
        quint32 status;
        const char* text;
    } cases[] = {
        {server.Base() + "missing", dir.path() + "/a", 0x800C0005u, "资源不存在！"},
        {server.Base() + "forbidden", dir.path() + "/a", 0x800C0100u, "拒绝下载！"},
        {server.Base() + "broken", dir.path() + "/a", 0x800C0008u, "下载失败！"},
        {"http://127.0.0.1:9/downs/Plindor.txt", dir.path() + "/a", 0x800C0004u, "无法连接！"},
        {"ftp://127.0.0.1:9/x", dir.path() + "/a", 0x800C000Du, "未知的数据传输协议！"},
        {"http://", dir.path() + "/a", 0x800C0002u, "非法Url地址！"},
    };
    for (const auto& c : cases) {
        Recorded rec;
        const auto result = rec.dl.StartTheStinkinDownLoad(c.url, c.target);
        ASSERT_TRUE(result.has_value());
        EXPECT_FALSE(*result) << c.url.toStdString();
        EXPECT_EQ(rec.events.front(), "start");
        EXPECT_EQ(rec.events.back(), "crash");
        EXPECT_FALSE(rec.events.contains("done"));
        EXPECT_EQ(rec.crashCode, static_cast<qint32>(c.status)) << c.url.toStdString();
        EXPECT_EQ(rec.crashText, QString::fromUtf8(c.text));
        EXPECT_FALSE(rec.crashCancelled);
    }
}

TEST(KorsDL, FailedDownloadLeavesAnEarlierFileAlone) {
    LoopbackServer server;
    QTemporaryDir dir;
    const QString target = dir.path() + "/Plindor.txt";
    {
        QFile f(target);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("23");
    }
    Recorded rec;
    EXPECT_FALSE(*rec.dl.StartTheStinkinDownLoad(server.Base() + "missing", target));
    EXPECT_EQ(readAll(target), "23");
}

TEST(KorsDL, UnwritableTargetFails) {
    LoopbackServer server;
    Reply r;
    r.body = "24";
    server.Set("/v", r);
    QTemporaryDir dir;
    Recorded rec;
    EXPECT_FALSE(*rec.dl.StartTheStinkinDownLoad(server.Base() + "v", dir.path() + "/no/such/folder/v.txt"));
    EXPECT_EQ(rec.crashCode, static_cast<qint32>(0x800C0008u));
    EXPECT_FALSE(rec.crashCancelled);
}

TEST(KorsDL, EmptyBodyStillMakesTheFile) {
    LoopbackServer server;
    server.Set("/empty", Reply{});
    QTemporaryDir dir;
    Recorded rec;
    EXPECT_TRUE(*rec.dl.StartTheStinkinDownLoad(server.Base() + "empty", dir.path() + "/e"));
    EXPECT_TRUE(QFile::exists(dir.path() + "/e"));
    EXPECT_EQ(QFile(dir.path() + "/e").size(), 0);
}

TEST(KorsDL, NoLengthAndStalledIsAbortedAfterTheConnectionWait) {
    LoopbackServer server;
    Reply r;
    r.body = pattern(1000);
    r.sendLength = false;
    r.stallAfter = 10;
    server.Set("/stall", r);
    QTemporaryDir dir;

    Recorded rec(1);
    const auto result = rec.dl.StartTheStinkinDownLoad(server.Base() + "stall", dir.path() + "/s");
    ASSERT_TRUE(result.has_value());
    EXPECT_FALSE(*result);
    EXPECT_EQ(rec.host.cancelRequests, 1);
    EXPECT_EQ(rec.events, (QStringList{"start", "cancelled", "crash"}));
    EXPECT_TRUE(rec.crashCancelled);
    EXPECT_EQ(rec.crashText, "未知错误，或用户取消，或者超时！");
    // Without a total every report shows the connection text and the bar stays.
    ASSERT_FALSE(rec.host.labels.isEmpty());
    for (const QString& l : rec.host.labels) EXPECT_EQ(l, "正在检查文件下载相关信息中...连接中0kb");
    EXPECT_TRUE(rec.host.bars.empty());
}

TEST(KorsDL, NoLengthButStillReceivingIsNotAborted) {
    LoopbackServer server;
    Reply r;
    r.body = pattern(800);
    r.sendLength = false;
    r.pieceSize = 100;
    r.pieceDelayMs = 400;  // well inside the wait of 1 s each time
    server.Set("/trickle", r);
    QTemporaryDir dir;

    Recorded rec(1);
    const auto result = rec.dl.StartTheStinkinDownLoad(server.Base() + "trickle", dir.path() + "/t");
    ASSERT_TRUE(result.has_value());
    EXPECT_TRUE(*result);
    EXPECT_EQ(rec.host.cancelRequests, 0);
    EXPECT_EQ(readAll(dir.path() + "/t"), r.body);
    EXPECT_EQ(rec.events.back(), "done");
}

TEST(KorsDL, AbortDuringTransferEndsAsCancelled) {
    LoopbackServer server;
    Reply r;
    r.body = pattern(200000);
    r.stallAfter = 50000;
    server.Set("/big", r);
    QTemporaryDir dir;

    Recorded rec;
    std::optional<bool> second = true;
    bool killed = false;
    QObject::connect(&rec.dl, &KorsDL::KorDLProg, [&](qint32 in, qint32) {
        if (killed || in < 50000) return;
        killed = true;
        // A second start while this one runs is refused.
        second = rec.dl.StartTheStinkinDownLoad(server.Base() + "big", dir.path() + "/other");
        rec.dl.KillKor();
    });
    const auto result = rec.dl.StartTheStinkinDownLoad(server.Base() + "big", dir.path() + "/b");
    EXPECT_FALSE(second.has_value());
    EXPECT_FALSE(QFile::exists(dir.path() + "/other"));
    ASSERT_TRUE(result.has_value());
    EXPECT_FALSE(*result);
    EXPECT_TRUE(rec.crashCancelled);
    EXPECT_EQ(rec.events.mid(rec.events.size() - 2), (QStringList{"cancelled", "crash"}));
    EXPECT_TRUE(rec.host.trace.filter("Binding Error Ignored").isEmpty());
}

TEST(KorsDL, ReportsWithoutATransfer) {
    Recorded rec;
    // An abort without a binding leaves a trace line and still reports it.
    rec.dl.KillKor();
    EXPECT_EQ(rec.host.trace, QStringList{"Binding Error Ignored"});
    EXPECT_EQ(rec.events, QStringList{"cancelled"});

    // Stop reports: 0 and 1 are success; anything else is a crash, cancelled
    // when no binding is active.
    rec.events.clear();
    rec.dl.OnStopBinding(0);
    rec.dl.OnStopBinding(1);
    rec.dl.OnStopBinding(static_cast<qint32>(0x800C0012u));
    EXPECT_EQ(rec.events, (QStringList{"done", "done", "crash"}));
    EXPECT_EQ(rec.crashText, "未知错误，或用户取消，或者超时！");
    EXPECT_TRUE(rec.crashCancelled);
    rec.dl.OnStopBinding(static_cast<qint32>(0x800C000Bu));
    EXPECT_EQ(rec.crashText, "连接超时");

    // Progress reports: a known total moves the bar; an unknown or negative
    // (2 GiB and more) total shows the connection text.
    rec.host.labels.clear();
    rec.dl.OnProgress(1536, 3072);
    EXPECT_EQ(rec.host.labels.back(), "文件正在下载中...1.5kb/3kb");
    EXPECT_DOUBLE_EQ(rec.host.bars.back(), 0.5);
    ASSERT_EQ(rec.progress.size(), 1u);
    EXPECT_EQ(rec.progress[0], std::make_pair(1536, 3072));
    rec.dl.OnProgress(0, 0);
    EXPECT_EQ(rec.host.labels.back(), "正在检查文件下载相关信息中...连接中0kb");
    rec.dl.OnProgress(100, dlstatus::As32(2147483648ll));
    EXPECT_TRUE(rec.host.labels.back().startsWith("正在检查文件下载相关信息中...连接中-"));
    EXPECT_EQ(rec.progress.size(), 1u);
    EXPECT_EQ(rec.host.bars.size(), 1u);

    QString url = "http://127.0.0.1:9/x";
    EXPECT_EQ(rec.dl.DeleteKorCache(url), 0);
    EXPECT_EQ(rec.host.labels.back(), "正在检查文件下载相关信息中...删除缓存文件");

    rec.host.trace.clear();
    EXPECT_EQ(rec.dl.GetPriority(), 0);
    rec.dl.OnLowResource();
    rec.dl.OnDataAvailable();
    rec.dl.OnObjectAvailable();
    EXPECT_EQ(rec.host.trace,
              (QStringList{"GetPriority.", "OnLowResource.", "OnDataAvailable.", "OnObjectAvailable."}));
}
