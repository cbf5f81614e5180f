#include "batch/ResultCheck.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

TEST(ResultCheck, OutputSizeInMegabytes) {
    const std::vector<std::pair<long long, double>> cases{
        {-1, 0}, {0, 0}, {524, 0}, {525, 0.001}, {1048576, 1}, {1572864, 1.5}, {1049100, 1.0}, {1049101, 1.001}};
    for (const auto& [bytes, mb] : cases) EXPECT_DOUBLE_EQ(result::OutSizeMBFromBytes(bytes), mb) << bytes;

    QTemporaryDir dir;
    QFile f(dir.path() + "/o.mp4");
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(QByteArray(525, 'x'));
    f.close();
    EXPECT_DOUBLE_EQ(result::MeasureOutSizeMB(f.fileName()), 0.001);
    EXPECT_DOUBLE_EQ(result::MeasureOutSizeMB(dir.path() + "/missing.mp4"), 0);
    EXPECT_DOUBLE_EQ(result::MeasureOutSizeMB(dir.path()), 0);  // a folder is no output
}

TEST(ResultCheck, AnAttemptNeedsOutputAndTheEncodersSuccess) {
    EXPECT_TRUE(result::AttemptSucceeded(0.001, true));
    EXPECT_FALSE(result::AttemptSucceeded(0, true));
    EXPECT_FALSE(result::AttemptSucceeded(12.5, false));  // e.g. a hardware decoder that failed mid-way
}

TEST(ResultCheck, StatusTextsWithSizeAndTime) {
    EXPECT_EQ(result::ReplacingText(12.5, "00:00:03"), "封面更换中...12.5mb；00:00:03");
    EXPECT_EQ(result::ReplacingText(0, "00:00:00"), "封面更换中...0mb；00:00:00");
    EXPECT_EQ(result::OkText(3, "00:02:03"), "Ok！3mb；00:02:03");
    EXPECT_EQ(result::OkText(0.001, "00:00:01"), "Ok！0.001mb；00:00:01");
}

TEST(ResultCheck, ProbeRecordTable) {
    using result::ProbeOutcome;
    struct Case {
        ProbeOutcome outcome;
        bool firstRanCuvid;
        int acc;
        bool can;
        const char* accSetting;
        const char* canSetting;
        bool speedOff;
    };
    const std::vector<Case> cases{
        {ProbeOutcome::FirstAttemptSucceeded, false, 0, true, "0", "1", false},
        {ProbeOutcome::FirstAttemptSucceeded, true, 1, true, "1", "1", false},
        {ProbeOutcome::SecondAttemptSucceeded, false, 1, true, "1", "1", false},
        {ProbeOutcome::SecondAttemptFailed, true, 0, false, "0", "0", true},
    };
    for (const auto& c : cases) {
        const result::ProbeRecord r = result::RecordFor(c.outcome, c.firstRanCuvid);
        EXPECT_EQ(r.accIndex, c.acc);
        EXPECT_EQ(r.canAcc, c.can);
        EXPECT_EQ(r.accIndexSetting, c.accSetting);
        EXPECT_EQ(r.canAccSetting, c.canSetting);
        EXPECT_EQ(r.switchSpeedOff, c.speedOff);
    }
}
