// The attempts of a cover row without a window: which command runs when, and
// when the first row's record is taken.
#include "batch/AttemptLadder.h"

#include <gtest/gtest.h>

using ladder::Try;

namespace {

struct Climber {
    std::vector<Try> script;  // the results of the second and third attempts
    QStringList log;
    bool speed = true;
    ladder::Rungs Rungs() {
        ladder::Rungs r;
        r.attempt = [this](const EncoderCommand& c, CycleOrder) {
            log << "run " + c.Text();
            const Try t = script.empty() ? Try::Failed : script.front();
            if (!script.empty()) script.erase(script.begin());
            return t;
        };
        r.clearOutput = [this] { log << "clear"; };
        r.speedChecked = [this] { return speed; };
        r.showSuccess = [this] { log << "ok"; };
        r.record = [this](const result::ProbeRecord& rec) {
            log << QString("record %1/%2").arg(rec.accIndexSetting, rec.canAccSetting);
            if (rec.switchSpeedOff) speed = false;
        };
        return r;
    }
};

covercmd::Commands Commands(bool firstIsCuvid = false) {
    covercmd::Commands c;
    c.software = EncoderCommand("sw");
    c.qsv = EncoderCommand("qsv");
    c.cuvid = EncoderCommand("cuvid");
    c.first = firstIsCuvid ? c.cuvid : c.qsv;
    c.firstIsCuvid = firstIsCuvid;
    return c;
}

}  // namespace

TEST(AttemptLadder, FallsBackThroughCuvidToSoftwareAndRecordsBeforeTheThirdAttempt) {
    struct Case {
        const char* name;
        Try first;
        std::vector<Try> later;
        bool hardware, firstRow;
        Try result;
        QStringList log;
    };
    const std::vector<Case> cases{
        {"quick sync works", Try::Ok, {}, true, true, Try::Ok, {"ok", "record 0/1"}},
        {"cuvid works", Try::Failed, {Try::Ok}, true, true, Try::Ok, {"clear", "run cuvid", "ok", "record 1/1"}},
        {"software works", Try::Failed, {Try::Failed, Try::Ok}, true, true, Try::Ok,
         {"clear", "run cuvid", "record 0/0", "run sw", "ok"}},
        {"nothing works", Try::Failed, {Try::Failed, Try::Failed}, true, true, Try::Failed,
         {"clear", "run cuvid", "record 0/0", "run sw"}},
        {"a later row records nothing", Try::Failed, {Try::Failed, Try::Ok}, true, false, Try::Ok,
         {"clear", "run cuvid", "run sw", "ok"}},
        {"software set: one attempt", Try::Failed, {Try::Ok}, false, true, Try::Failed, {}},
        {"window closed in the first", Try::WindowClosed, {}, true, true, Try::WindowClosed, {}},
        {"window closed in the second", Try::Failed, {Try::WindowClosed}, true, true, Try::WindowClosed,
         {"clear", "run cuvid"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Climber climber;
        climber.script = c.later;
        EXPECT_EQ(ladder::Climb(c.first, Commands(), c.hardware, c.firstRow, climber.Rungs()), c.result);
        EXPECT_EQ(climber.log, c.log) << climber.log.join(", ").toStdString();
    }

    // Without ChSpeed there is no fallback; a first CUVID success records 1.
    Climber off;
    off.speed = false;
    off.script = {Try::Ok};
    EXPECT_EQ(ladder::Climb(Try::Failed, Commands(), true, true, off.Rungs()), Try::Failed);
    EXPECT_TRUE(off.log.isEmpty());
    Climber cuvid;
    EXPECT_EQ(ladder::Climb(Try::Ok, Commands(true), true, true, cuvid.Rungs()), Try::Ok);
    EXPECT_EQ(cuvid.log, (QStringList{"ok", "record 1/1"}));
}
