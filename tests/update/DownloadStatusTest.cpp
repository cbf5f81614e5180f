// The pure parts of downloading: status texts, the outcome mapping, kilobyte
// figures, the stall throttle, job texts, version files and the package folder.
#include "update/DownloadStatus.h"
#include "update/StallThrottle.h"
#include "update/Updater.h"
#include "update/frmDnLoad.h"

#include <curl/curl.h>
#include <gtest/gtest.h>

using namespace dlstatus;

namespace {
const QString kCatchAll = QStringLiteral("未知错误，或用户取消，或者超时！");
}

TEST(DownloadStatus, BindErrorTextTable) {
    const std::pair<quint32, const char*> cases[] = {
        {0x800C0002u, "非法Url地址！"},     {0x800C0003u, "无会话！"},
        {0x800C0004u, "无法连接！"},        {0x800C0005u, "资源不存在！"},
        {0x800C0006u, "文件未找到！"},      {0x800C0007u, "文件不存在！"},
        {0x800C0008u, "下载失败！"},        {0x800C0009u, "认证失败！"},
        {0x800C000Au, "无合法媒介！"},      {0x800C000Bu, "连接超时"},
        {0x800C000Cu, "非法请求！"},        {0x800C000Du, "未知的数据传输协议！"},
        {0x800C000Eu, "密码有误！"},        {0x800C000Fu, "无法加载数据！"},
        {0x800C0010u, "无法初始化对象！"},  {0x800C0011u, "默认动作！"},
        {0x800C0013u, "未知操作动作和请求！"}, {0x800C0014u, "重新定向失败！"},
        {0x800C0015u, "切换到指定目录！"},  {0x800C0016u, "无法锁定请求！"},
        {0x800C0100u, "拒绝下载！"},        {0x800C0200u, "结果换取中！"},
        {0x800C0300u, "无法替换SFP文件！"},
    };
    for (const auto& [code, text] : cases)
        EXPECT_EQ(BindErrorText(static_cast<qint32>(code)), QString::fromUtf8(text)) << std::hex << code;
    // Codes without a text of their own, success and positive codes included.
    for (quint32 code : {0x800C0012u, 0x800C0001u, 0x800C0017u, 0x80004004u, 0u, 1u, 42u, 0x7FFFFFFFu})
        EXPECT_EQ(BindErrorText(static_cast<qint32>(code)), kCatchAll) << std::hex << code;
}

TEST(DownloadStatus, OutcomeMapping) {
    struct Case {
        int curl;
        long http;
        bool aborted;
        quint32 status;
    } cases[] = {
        {CURLE_OK, 200, false, 0},
        {CURLE_OK, 200, true, 0x80004004u},  // told to abort: never a success
        {CURLE_ABORTED_BY_CALLBACK, 0, false, 0x80004004u},
        {CURLE_COULDNT_RESOLVE_HOST, 0, false, 0x800C0005u},
        {CURLE_COULDNT_CONNECT, 0, false, 0x800C0004u},
        {CURLE_OPERATION_TIMEDOUT, 0, false, 0x800C000Bu},
        {CURLE_URL_MALFORMAT, 0, false, 0x800C0002u},
        {CURLE_UNSUPPORTED_PROTOCOL, 0, false, 0x800C000Du},
        {CURLE_UNSUPPORTED_PROTOCOL, 302, false, 0x800C0014u},
        {CURLE_PEER_FAILED_VERIFICATION, 0, false, 0x800C000Eu},
        {CURLE_SSL_CONNECT_ERROR, 0, false, 0x800C000Eu},
        {CURLE_TOO_MANY_REDIRECTS, 302, false, 0x800C0014u},
        {CURLE_HTTP_RETURNED_ERROR, 404, false, 0x800C0005u},
        {CURLE_HTTP_RETURNED_ERROR, 410, false, 0x800C0005u},
        {CURLE_HTTP_RETURNED_ERROR, 403, false, 0x800C0100u},
        {CURLE_HTTP_RETURNED_ERROR, 401, false, 0x800C0009u},
        {CURLE_HTTP_RETURNED_ERROR, 400, false, 0x800C000Cu},
        {CURLE_HTTP_RETURNED_ERROR, 500, false, 0x800C0008u},
        {CURLE_WRITE_ERROR, 200, false, 0x800C0008u},
        {CURLE_RECV_ERROR, 200, false, 0x800C0008u},
    };
    for (const auto& c : cases)
        EXPECT_EQ(StopStatus(c.curl, c.http, c.aborted), static_cast<qint32>(c.status))
            << "curl " << c.curl << " http " << c.http;
}

TEST(DownloadStatus, KilobyteFiguresAndTexts) {
    EXPECT_EQ(KText(1536), "1.5");
    EXPECT_EQ(KText(1000), "0.98");
    EXPECT_EQ(KText(0), "0");
    EXPECT_EQ(KText(1024), "1");
    EXPECT_EQ(KText(150000), "146.48");
    EXPECT_EQ(KText(5), "0");        // 0.0048828 -> 0
    EXPECT_EQ(KText(15), "0.01");    // 0.0146 -> 0.01
    EXPECT_EQ(ConnectingText(0), "正在检查文件下载相关信息中...连接中0kb");
    EXPECT_EQ(ProgressText(1536, 3072), "文件正在下载中...1.5kb/3kb");
    EXPECT_DOUBLE_EQ(ProgressFraction(1, 3), 0.3333);
    EXPECT_DOUBLE_EQ(ProgressFraction(2, 3), 0.6667);
    EXPECT_DOUBLE_EQ(ProgressFraction(3, 3), 1);
    // 32-bit readings: 2 GiB and more read negative.
    EXPECT_EQ(As32(2147483647ll), 2147483647);
    EXPECT_LT(As32(2147483648ll), 0);
    EXPECT_LT(As32(5000000000ll), 0);
    EXPECT_EQ(As32(-5), 0);
}

TEST(StallThrottle, WaitsEveryFiftiethRepeatAndWrapsAfterAThousand) {
    using A = StallThrottle::Action;
    StallThrottle t;
    // The first percentage differs from the start value 0.
    EXPECT_EQ(t.OnProgress(10, 100), A::Yield);
    EXPECT_EQ(t.RepeatCount(), 0);
    for (int i = 1; i <= 1000; ++i) {
        const A a = t.OnProgress(10, 100);
        EXPECT_EQ(a, i % 50 == 0 ? A::DelayThenYield : A::Yield) << i;
    }
    EXPECT_EQ(t.RepeatCount(), 1000);
    EXPECT_EQ(t.OnProgress(10, 100), A::ReturnAtOnce);  // the 1001st
    EXPECT_EQ(t.RepeatCount(), 0);
    EXPECT_EQ(t.OnProgress(10, 100), A::Yield);
    EXPECT_EQ(t.RepeatCount(), 1);
    // A new whole percentage starts counting again.
    for (int i = 0; i < 30; ++i) t.OnProgress(10, 100);
    EXPECT_EQ(t.OnProgress(11, 100), A::Yield);
    EXPECT_EQ(t.RepeatCount(), 0);
    EXPECT_EQ(t.LastPercent(), 11);
}

TEST(StallThrottle, OutOfRangeCountsDoNothing) {
    using A = StallThrottle::Action;
    StallThrottle t;
    EXPECT_EQ(t.OnProgress(101, 100), A::Ignore);
    EXPECT_EQ(t.OnProgress(-1, 100), A::Ignore);
    EXPECT_EQ(t.OnProgress(0, -5), A::Ignore);
    EXPECT_EQ(t.RepeatCount(), 0);
    // Starting at 0 % counts as a repeat of the start value.
    EXPECT_EQ(t.OnProgress(0, 100), A::Yield);
    EXPECT_EQ(t.RepeatCount(), 1);
}

TEST(StallThrottle, PercentagesRoundTwiceHalvesToEvenWithoutOverflow) {
    EXPECT_EQ(StallThrottle::WholePercent(1, 8), 12);            // 12.5 -> 12
    EXPECT_EQ(StallThrottle::WholePercent(3, 8), 38);            // 37.5 -> 38
    EXPECT_EQ(StallThrottle::WholePercent(2147483647, 2147483647), 100);
    EXPECT_EQ(StallThrottle::WholePercent(2147483000, 2147483647), 100);
    EXPECT_EQ(StallThrottle::WholePercent(1073741823, 2147483647), 50);
    // 0.4995 % -> 0.5 at two decimals -> 0 at whole.
    EXPECT_EQ(StallThrottle::WholePercent(4995, 1000000), 0);
}

TEST(StallThrottle, DelayEndsAfterItsTimeOrAtMidnight) {
    EXPECT_EQ(delay::StartValue(100.5), 100);  // halves to even
    EXPECT_EQ(delay::StartValue(101.5), 102);
    EXPECT_FALSE(delay::Over(100, 100.15, 0.2f));
    EXPECT_TRUE(delay::Over(100, 100.25, 0.2f));
    EXPECT_TRUE(delay::Over(86400, 0.1, 0.2));  // the clock went round
    // A start rounded up can be over at once.
    EXPECT_TRUE(delay::Over(102, 101.6, 0.2));
}

TEST(DownloadJobText, FirstJobAndQuestionMarkCut) {
    const DownloadJob j = FirstJob("http://h/a.rar|/tmp/a.rar|1|http://h/b|/tmp/b|0|");
    EXPECT_EQ(j.url, "http://h/a.rar");
    EXPECT_EQ(j.target, "/tmp/a.rar");
    EXPECT_EQ(j.cacheFlag, "1");
    const DownloadJob short1 = FirstJob("http://h/a.rar");
    EXPECT_EQ(short1.target, "");
    EXPECT_EQ(short1.cacheFlag, "");
    EXPECT_EQ(CutAtQuestionMark("/tmp/a.rar?v=1"), "/tmp/a.rar");
    EXPECT_EQ(CutAtQuestionMark("/tmp/a?b.rar?v=1"), "/tmp/a?b.rar");
    EXPECT_EQ(CutAtQuestionMark("/tmp/a.rar"), "/tmp/a.rar");
}

TEST(VersionFile, FirstLineAndValue) {
    struct Case {
        QByteArray content;
        std::optional<double> value;  // nothing: no line at all
    } cases[] = {
        {"023", 23},
        {"23", 23},
        {" 23 ", 23},
        {"24\r\n22\r\n", 24},
        {"22\nother", 22},
        {"\xEF\xBB\xBF" "23", 23},
        {"<html>error</html>", 0},
        {"\r\n24", 0},  // the first line is empty
        {"2 4", 24},    // blanks inside a number are ignored
        {"", std::nullopt},
        {"\xEF\xBB\xBF", std::nullopt},
    };
    for (const auto& c : cases) {
        const auto line = versionfile::FirstLine(c.content);
        ASSERT_EQ(line.has_value(), c.value.has_value()) << c.content.toStdString();
        if (line) EXPECT_EQ(versionfile::Value(*line), *c.value) << c.content.toStdString();
    }
}

TEST(UpdatePackage, FolderRuleAndRestarterParameters) {
    const QString data = "/home/u/.local/share/Plindor";
    // The program folder is sought inside the Program Files path.
    EXPECT_EQ(PackageFolder("/opt/plindor", "/opt/plindor", true, data), data);
    EXPECT_EQ(PackageFolder("/opt/plindor", "/x/opt/plindor/y", true, data), data);
    EXPECT_EQ(PackageFolder("/opt/plindor", "/opt/plindor", false, data), "/opt/plindor");
    EXPECT_EQ(PackageFolder("/opt/plindor/bin", "/opt/plindor", true, data), "/opt/plindor/bin");
    EXPECT_EQ(PackageFolder("/opt/plindor", "", true, data), "/opt/plindor");
    EXPECT_EQ(RestarterParameters("/p/Plindor.rar", "Plindor", "标题    发现有更新版本"),
              "/p/Plindor.rar\t1\tPlindor\t标题    发现有更新版本");
}
