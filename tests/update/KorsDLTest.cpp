// The download object against a loopback HTTP server.
#include "FileChecks.h"
#include "LoopbackServer.h"
#include "update/DownloadStatus.h"
#include "update/KorsDL.h"
#include "update/UpdateHost.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>

#include <csignal>
#include <sys/resource.h>

namespace {

struct RecordingHost : KorsDLHost {
    QStringList labels;
    std::vector<double> bars;
    QStringList trace;
    int cancelRequests = 0;
    KorsDL* dl = nullptr;
    void SetLabel1(const QString& t) override { labels << t; }
    void EchoCancelRequest() override {
        ++cancelRequests;
        if (dl) dl->KillKor();
    }
    void AppendTrace(const QString& l) override { trace << l; }

    // The turn after the first bar update in between lasts holdMs: a question
    // standing open over the window meanwhile.
    int holdMs = 0;
    bool holdNext = false;
    void SetProgressBar1(double v) override {
        bars.push_back(v);
        if (holdMs > 0 && v > 0 && v < 1) holdNext = true;
    }
    void YieldOnce() override {
        if (holdNext) {
            holdNext = false;
            QThread::msleep(static_cast<unsigned long>(holdMs));
            holdMs = 0;
        }
        KorsDLHost::YieldOnce();
    }
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

    explicit Recorded(int wait = 300, const TransferLimits& limits = dllimits::WindowDownload())
        : dl(host, wait, limits) {
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

// Short limits, so misbehaving hosts are given up on quickly.
TransferLimits quick() {
    TransferLimits l = dllimits::WindowDownload();
    l.connectMs = 2000;
    l.stallMs = 1000;
    return l;
}

// A folder holding an earlier download of the target.
struct EarlierFile {
    QTemporaryDir dir;
    QString target = dir.path() + "/Plindor.rar";
    QByteArray bytes = Pattern(400000, 'A');
    EarlierFile() { WriteAll(target, bytes); }
    // Nothing but the earlier file, unchanged.
    void ExpectUntouched(const std::string& what) const {
        EXPECT_EQ(NamesIn(dir.path()), QStringList{"Plindor.rar"}) << what;
        EXPECT_TRUE(ReadAll(target) == bytes) << what;
    }
};

}  // namespace

TEST(KorsDL, CompletedDownloadReportsProgressAndDone) {
    LoopbackServer server;
    const QByteArray body = Pattern(150000);
    const Reply r = Reply::Trickle(body, 30000, 30);
    server.Set("/downs/Plindor.rar", r);
    QTemporaryDir dir;
    const QString target = dir.path() + "/Plindor.rar";

    Recorded rec;
    const auto result = rec.dl.StartTheStinkinDownLoad(server.Base() + "downs/Plindor.rar", target);
    ASSERT_TRUE(result.has_value());
    EXPECT_TRUE(*result);
    EXPECT_EQ(ReadAll(target), body);
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
    EXPECT_EQ(ReadAll(target), "23");
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
    r.body = Pattern(1000);
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
    EXPECT_TRUE(NamesIn(dir.path()).isEmpty());  // no fragment
}

TEST(KorsDL, NoLengthButStillReceivingIsNotAborted) {
    LoopbackServer server;
    Reply r;
    r.body = Pattern(800);
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
    EXPECT_EQ(ReadAll(dir.path() + "/t"), r.body);
    EXPECT_EQ(rec.events.back(), "done");
}

TEST(KorsDL, AbortDuringTransferEndsAsCancelled) {
    LoopbackServer server;
    Reply r;
    r.body = Pattern(200000);
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
    EXPECT_TRUE(NamesIn(dir.path()).isEmpty());  // the 50 000 bytes are not left behind
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

TEST(KorsDL, NothingReceivedForTheStallLimitIsATimeOut) {
    LoopbackServer server;
    Reply known;  // 100 of 300 000 bytes, then silence
    known.body = Pattern(300000);
    known.stallAfter = 100;
    server.Set("/known", known);
    Reply unknown = known;
    unknown.sendLength = false;
    server.Set("/unknown", unknown);
    Reply silent;  // accepts and never answers
    silent.silent = true;
    server.Set("/silent", silent);

    for (const char* path : {"known", "unknown", "silent"}) {
        EarlierFile earlier;
        Recorded rec(300, quick());
        QElapsedTimer t;
        t.start();
        const auto result = rec.dl.StartTheStinkinDownLoad(server.Base() + path, earlier.target);
        ASSERT_TRUE(result.has_value());
        EXPECT_FALSE(*result) << path;
        EXPECT_LT(t.elapsed(), 15000) << path;
        EXPECT_EQ(rec.events.front(), "start");
        EXPECT_EQ(rec.events.back(), "crash") << path;
        EXPECT_FALSE(rec.events.contains("cancelled")) << path;
        EXPECT_EQ(rec.crashCode, static_cast<qint32>(0x800C000Bu)) << path;
        EXPECT_EQ(rec.crashText, "连接超时");
        EXPECT_FALSE(rec.crashCancelled);
        earlier.ExpectUntouched(path);
    }
}

// While the window holds the transfer (a question open over it), nothing can
// be read: that time is no silence of the line, however long it lasts.
TEST(KorsDL, TimeTheWindowHoldsTheTransferIsNoStall) {
    LoopbackServer server;
    const Reply r = Reply::Trickle(Pattern(60000), 6000, 30);
    server.Set("/slow", r);
    TransferLimits limits = quick();
    limits.stallMs = 200;
    QTemporaryDir dir;
    Recorded rec(300, limits);
    rec.host.holdMs = 4 * limits.stallMs;
    const auto result = rec.dl.StartTheStinkinDownLoad(server.Base() + "slow", dir.path() + "/slow");
    EXPECT_EQ(rec.host.holdMs, 0);  // the hold took place
    ASSERT_TRUE(result.has_value());
    EXPECT_TRUE(*result);
    EXPECT_EQ(rec.events.back(), "done");
    EXPECT_TRUE(ReadAll(dir.path() + "/slow") == r.body);
}

TEST(KorsDL, CutOffOrShortOfItsLengthLeavesTheEarlierFile) {
    LoopbackServer server;
    Reply cut;  // the connection closes mid-transfer
    cut.body = Pattern(300000);
    cut.closeAfter = 150000;
    server.Set("/cut", cut);
    Reply shortOfLength;  // everything sent, but less than announced
    shortOfLength.body = Pattern(5000);
    shortOfLength.length = 8000;
    server.Set("/short", shortOfLength);

    for (const char* path : {"cut", "short"}) {
        EarlierFile earlier;
        Recorded rec;
        QElapsedTimer t;
        t.start();
        EXPECT_FALSE(*rec.dl.StartTheStinkinDownLoad(server.Base() + path, earlier.target)) << path;
        EXPECT_LT(t.elapsed(), 15000) << path;
        EXPECT_EQ(rec.events.back(), "crash");
        EXPECT_EQ(rec.crashCode, static_cast<qint32>(0x800C0008u)) << path;
        EXPECT_FALSE(rec.crashCancelled);
        earlier.ExpectUntouched(path);
    }

    // A complete download replaces the earlier file in one step.
    EarlierFile earlier;
    Reply whole;
    whole.body = Pattern(2000, 'k');
    server.Set("/whole", whole);
    Recorded rec;
    EXPECT_TRUE(*rec.dl.StartTheStinkinDownLoad(server.Base() + "whole", earlier.target));
    EXPECT_EQ(NamesIn(earlier.dir.path()), QStringList{"Plindor.rar"});
    EXPECT_EQ(ReadAll(earlier.target), whole.body);
}

TEST(KorsDL, FullDiskLeavesNoFragment) {
    LoopbackServer server;
    Reply r;
    r.body = Pattern(300000);
    server.Set("/big", r);
    EarlierFile earlier;

    // A file-size limit makes writes fail the way a full disk does.
    struct rlimit old {};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = old;
    small.rlim_cur = 61440;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    Recorded rec;
    const auto result = rec.dl.StartTheStinkinDownLoad(server.Base() + "big", earlier.target);
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);

    ASSERT_TRUE(result.has_value());
    EXPECT_FALSE(*result);
    EXPECT_EQ(rec.crashCode, static_cast<qint32>(0x800C0008u));
    earlier.ExpectUntouched("full disk");
}

TEST(Redirects, NeverLeaveHttpsAndAreLimitedInNumber) {
    LoopbackServer plain;
    LoopbackServer tls(true);
    ASSERT_FALSE(tls.CaFile().isEmpty());
    Reply file;
    file.body = Pattern(3000, 'r');
    plain.Set("/downs/Plindor.rar", file);
    tls.Set("/downs/Plindor.rar", file);
    auto moved = [](const QString& to) {
        Reply r;
        r.status = 302;
        r.body = "moved";
        r.location = to.toUtf8();
        return r;
    };
    tls.Set("/to-https", moved(tls.Base() + "downs/Plindor.rar"));
    tls.Set("/to-http", moved(plain.Base() + "downs/Plindor.rar"));
    plain.Set("/to-http", moved(plain.Base() + "downs/Plindor.rar"));
    plain.Set("/loop", moved(plain.Base() + "loop"));

    TransferLimits limits = quick();
    limits.caFile = tls.CaFile();
    struct Case {
        QString url;
        bool ok;
        quint32 status;
    } cases[] = {
        {tls.Base() + "downs/Plindor.rar", true, 0},
        {tls.Base() + "to-https", true, 0},
        {plain.Base() + "to-http", true, 0},
        {tls.Base() + "to-http", false, 0x800C0014u},
        {plain.Base() + "loop", false, 0x800C0014u},
    };
    for (const auto& c : cases) {
        EarlierFile earlier;
        Recorded rec(300, limits);
        const int plainBefore = plain.Requests("/downs/Plindor.rar");
        EXPECT_EQ(*rec.dl.StartTheStinkinDownLoad(c.url, earlier.target), c.ok) << c.url.toStdString();
        if (c.ok) {
            EXPECT_EQ(ReadAll(earlier.target), file.body) << c.url.toStdString();
            EXPECT_EQ(NamesIn(earlier.dir.path()), QStringList{"Plindor.rar"});
        } else {
            EXPECT_EQ(rec.crashCode, static_cast<qint32>(c.status)) << c.url.toStdString();
            EXPECT_EQ(rec.crashText, "重新定向失败！");
            earlier.ExpectUntouched(c.url.toStdString());
        }
        if (c.url.startsWith("https") && !c.ok) EXPECT_EQ(plain.Requests("/downs/Plindor.rar"), plainBefore);
    }
    EXPECT_LE(plain.Requests("/loop"), static_cast<int>(dllimits::kMaxRedirects) + 1);
    {
        // The certificate is checked: without trusting it, https fails.
        EarlierFile earlier;
        Recorded rec(300, quick());
        EXPECT_FALSE(*rec.dl.StartTheStinkinDownLoad(tls.Base() + "downs/Plindor.rar", earlier.target));
        EXPECT_EQ(rec.crashCode, static_cast<qint32>(0x800C000Eu));
        earlier.ExpectUntouched("untrusted certificate");
    }

    // The version check follows the same rule.
    QTemporaryDir dir;
    TransferLimits version = dllimits::VersionCheck();
    version.caFile = tls.CaFile();
    EXPECT_TRUE(DownloadFileNoCache(tls.Base() + "to-https", dir.path() + "/v.txt", version));
    EXPECT_FALSE(DownloadFileNoCache(tls.Base() + "to-http", dir.path() + "/w.txt", version));
    EXPECT_EQ(NamesIn(dir.path()), QStringList{"v.txt"});
}
