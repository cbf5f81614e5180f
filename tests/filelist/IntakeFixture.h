#pragma once
// A loaded main window plus a temporary folder tree of real media, for the
// intake tests.
#include "app/Form1.h"
#include "app/StatusPanels.h"
#include "app/VbCombo.h"
#include "filelist/FileGrid.h"
#include "filelist/FileListController.h"
#include "filelist/Intake.h"
#include "support/FormFixture.h"
#include "support/Media.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QJsonArray>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <functional>
#include <gtest/gtest.h>

namespace intake_test {

// A generated video of the given size, made once per size and copied to path.
inline bool PlaceVideo(const QString& path, int width, int height) {
    static QTemporaryDir store;
    const QString master = QString("%1/%2x%3.mp4").arg(store.path()).arg(width).arg(height);
    if (!QFileInfo::exists(master) && !media::MakeVideo(master, width, height, 10, 0.4)) return false;
    QFile::remove(path);
    return QFile::copy(master, path);
}

// A small real picture.
inline bool PlacePicture(const QString& path) {
    static QTemporaryDir store;
    const QString master = store.path() + "/p.png";
    if (!QFileInfo::exists(master) && !media::MakePicture(master, 32, 24)) return false;
    QFile::remove(path);
    return QFile::copy(master, path);
}

// Any file, for names the probe never reads.
inline void Touch(const QString& path) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    if (f.open(QIODevice::WriteOnly)) f.write("not media");
}

// Width and height as ffprobe reads them.
inline QStringList FfprobeSize(const QString& path) {
    for (const auto& s : media::Probe(path).value("streams").toArray()) {
        const QJsonObject o = s.toObject();
        if (o.value("codec_type").toString() == "video")
            return {QString::number(o.value("width").toInt()), QString::number(o.value("height").toInt())};
    }
    return {};
}

inline QString Multi(const QString& folder, const QStringList& names) {
    return (QStringList{folder} + names).join(QChar(0));
}

struct IntakeTest : ::testing::Test {
    FormFixture fx;
    Form1* f = nullptr;
    QTemporaryDir tmp;

    void SetUp() override {
        ASSERT_TRUE(fx.Load());
        f = fx.form.get();
    }
    QString Dir(const QString& rel = {}) {
        const QString p = rel.isEmpty() ? tmp.path() : tmp.path() + "/" + rel;
        QDir().mkpath(p);
        return p;
    }
    void Mode(int m) { f->CmbType->SetListIndex(m); }
    QStringList Row(int r) {
        QStringList cells;
        for (int c = 0; c < 6; ++c) cells << f->MSF->TextMatrix(r, c);
        return cells;
    }
    QStringList Names(int col = 0) {
        QStringList l;
        for (int r = 1; r < f->MSF->Rows(); ++r) l << f->MSF->TextMatrix(r, col);
        return l;
    }
    int DataRows() { return f->MSF->Rows() - 1; }
    // Runs fn at the next yield to the message loop.
    void AtNextYield(std::function<void()> fn) {
        QMetaObject::invokeMethod(f, std::move(fn), Qt::QueuedConnection);
    }
    // What the window looks like at the next yield.
    struct Working {
        bool seen = false, busy = false, frame1 = true, add = true, cover = true, read = true, update = true;
    };
    void RecordAtNextYield(Working& w) {
        AtNextYield([this, &w] {
            w.seen = true;
            w.busy = f->Busy;
            w.frame1 = f->Frame1->isEnabled();
            w.add = OwnEnabled(f->CmdAddMp4);
            w.cover = OwnEnabled(f->CmdCover);
            w.read = OwnEnabled(f->CmdReadMp4);
            w.update = OwnEnabled(f->CmdUpdate);
        });
    }
    void ExpectIdle() {
        EXPECT_FALSE(f->Busy);
        EXPECT_TRUE(f->Frame1->isEnabled());
        EXPECT_TRUE(OwnEnabled(f->CmdAddMp4));
        EXPECT_TRUE(OwnEnabled(f->CmdCover) || f->ProcessingMode() >= 3);
        EXPECT_TRUE(OwnEnabled(f->CmdReadMp4));
    }
    const RecordedMessage* Last() { return fx.dialogs.messages.empty() ? nullptr : &fx.dialogs.messages.back(); }
    void ExpectLastInfo(const QString& text) {
        ASSERT_NE(Last(), nullptr);
        EXPECT_EQ(Last()->text, text);
        EXPECT_EQ(Last()->title, "消息");
        EXPECT_EQ(Last()->icon, MsgIcon::Information);
        EXPECT_EQ(Last()->buttons, MsgButtons::Ok);
    }
};

}  // namespace intake_test
