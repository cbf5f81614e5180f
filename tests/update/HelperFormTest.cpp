// The download's hidden helper form against a stand-in for the running
// download: the job it builds and what a confirmed cancel does, in order.
#include "support/Fakes.h"
#include "update/RunningDownload.h"
#include "update/frmDemo.h"

#include <QStringList>
#include <gtest/gtest.h>

namespace {

struct Recorded : RunningDownload {
    double bar = 0;
    QStringList calls;
    FakeAppControl* app = nullptr;

    QString Url() const override { return "http://h/downs/Plindor.rar"; }
    QString Target() const override { return "/tmp/Plindor.rar"; }
    void MarkDone() override { calls << "done"; }
    void ShowDownLoad(const QString& job) override { calls << "show " + job; }
    void EchoCancelRequest() override { calls << "abort"; }
    double BarPercent() const override { return bar; }
    void SettleCancelledFile(bool keep) override {
        calls << (keep ? "keep" : "drop") + QString(app->ended ? " after end" : "");
    }
    void RunSingleJob() override {}
    void RelayCancel() override {}
    void AppendTrace(const QString&) override {}
};

}  // namespace

TEST(HelperForm, BuildsTheSingleJobWithTheCacheFlag) {
    Recorded dl;
    FakeAppControl app;
    frmDemo demo(dl, Services{nullptr, nullptr, nullptr, nullptr, &app});
    demo.cmdDoSingleDownLoad_Click();
    EXPECT_EQ(dl.calls, QStringList{"show http://h/downs/Plindor.rar|/tmp/Plindor.rar|1|"});
}

TEST(HelperForm, CancelAbortsThenKeepsOnlyANearlyFinishedFileThenEnds) {
    for (const auto& [bar, settled] : {std::pair{97.99, "drop"}, std::pair{98.0, "keep"}, std::pair{0.0, "drop"}}) {
        Recorded dl;
        FakeAppControl app;
        dl.app = &app;
        dl.bar = bar;
        frmDemo demo(dl, Services{nullptr, nullptr, nullptr, nullptr, &app});
        demo.CmdCancel_Click();
        EXPECT_EQ(dl.calls, (QStringList{"abort", settled})) << bar;
        EXPECT_EQ(app.ended, 1) << bar;
    }
}
