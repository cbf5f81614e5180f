// Batch runs beside another copy of the program and another program's
// encoder: the tests see, wait for and end only what they started.
#include "BatchFixture.h"

#include <QElapsedTimer>
#include <QTimer>
#include <gtest/gtest.h>

using namespace batch_test;

TEST(Hermetic, RunsBesideAForeignProgramAndEncoderAndLeavesThemAlone) {
    ForeignProcess program("plindor");
    ForeignProcess encoder("Mezzor.exe");
    ASSERT_TRUE(program.Alive() && encoder.Alive());

    // The single-instance check at start-up sees no other copy.
    BatchWindow w(true);
    ASSERT_TRUE(w.loaded);
    ASSERT_TRUE(w.CoverForAll(false, "cover.png", "red", 80, 60));
    for (const QString v : {"a.mp4", "b.mp4"}) {
        ASSERT_TRUE(PlaceVideo(w.Path(v)));
        w.AddVideo(v, w.Path("cover.png"));
    }
    // The waits end with our own encoders, not with the stranger.
    QElapsedTimer t;
    t.start();
    w.Run();
    EXPECT_LT(t.elapsed(), 60000);
    EXPECT_EQ(w.Status(1), "Ok");
    EXPECT_EQ(w.Status(2), "Ok");
    EXPECT_EQ(media::CountAttachedPictures(w.Path("a.mp4")), 1);

    // Closing the window ends its own encoder only.
    ASSERT_TRUE(PlaceVideo(w.Path("long.mp4"), 320, 240, 20));
    w.form().MSF->SetTextMatrix(1, ColFileName, "long.mp4");
    w.form().ChOther->setChecked(true);  // re-encoding keeps the encoder busy long enough
    ASSERT_TRUE(w.RunClosingWhen([&] { return w.realShell.pids.size() >= 3; }));
    EXPECT_TRUE(w.form().IsClosed());
    EXPECT_FALSE(w.realProcesses.IsRunning("Mezzor.exe"));
    EXPECT_TRUE(program.Alive());
    EXPECT_TRUE(encoder.Alive());
}
