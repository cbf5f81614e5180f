// Re-encoding with chosen bit rates, through whole runs with the real encoder:
// each output's rate must follow the rate asked for. Two rates far apart per
// kind, so that a quality mode cannot meet them both by chance.
#include "BatchFixture.h"

#include <gtest/gtest.h>

using namespace batch_test;

namespace {

// Within a quarter of the rate asked for (kb/s), measured in bit/s.
::testing::AssertionResult NearRate(double measured, int askedKbps) {
    const double asked = askedKbps * 1000.0;
    if (measured >= asked * 0.75 && measured <= asked * 1.25) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << measured / 1000 << " kb/s for " << askedKbps << " kb/s asked";
}

}  // namespace

TEST(ChosenRates, VideoAndAudioRatesGovernTheOutput) {
    QTemporaryDir store;
    const QString master = store.path() + "/detailed.mp4";
    ASSERT_TRUE(media::MakeDetailedVideo(master, 320, 240, 4));

    BatchWindow w(true);
    ASSERT_TRUE(w.loaded);
    Form1& f = w.form();
    w.Mode(2);
    ASSERT_TRUE(PlacePicture(w.Path("cover.jpg")));
    f.LBase->setText(w.Path("cover.jpg"));
    f.ChSaveAs->setChecked(false);
    f.ChOther->setChecked(true);

    struct Case {
        int videoKbps;
        int audioItem;  // CmbABit
        int audioKbps;
    };
    for (const Case& k : {Case{200, 9, 64}, Case{900, 4, 192}}) {
        SCOPED_TRACE(k.videoKbps);
        const QString p = w.Path("v.mp4");
        QFile::remove(p);
        ASSERT_TRUE(QFile::copy(master, p));
        FileListController::ClearList(f);
        w.AddVideo("v.mp4", w.Path("cover.jpg"));
        f.CmbVBit->SetText(QString::number(k.videoKbps));
        f.CmbABit->SetListIndex(k.audioItem);
        ASSERT_EQ(f.CmbABit->Text(), QString::number(k.audioKbps));

        w.Run();
        ASSERT_TRUE(w.Status(1).startsWith("Ok！")) << w.Status(1).toStdString();
        EXPECT_EQ(media::CountAttachedPictures(p), 1);
        EXPECT_TRUE(NearRate(media::StreamBitRate(p, "video"), k.videoKbps));
        EXPECT_TRUE(NearRate(media::StreamBitRate(p, "audio"), k.audioKbps));
    }
}
