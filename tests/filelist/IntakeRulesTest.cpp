// The text rules of the intake paths, the folder picker's result rules, the
// cover lookup by name and the folder listing.
#include "filelist/CoverMatcher.h"
#include "filelist/FolderListing.h"
#include "filelist/FolderPicker.h"
#include "filelist/IntakeRules.h"
#include "support/Fakes.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

using namespace intake;

namespace {

// The media filter the window sets at start-up.
const QString kVideoFilter =
    "媒体文件|*.mpeg;*.wmv;*.divx;*.dat;*.mpx;*.asf;*.avi;*.mov;*.mpg;*.rm;*.rmvb;*.mp4;*.mkv;*.ogg;*.vob;"
    "*.mka;*.mks;*.ogm;*.mpgv;*.mpv;*.m1v;*.m2v;*.qt;*.ra;*.ifo;*.dts;*.ape;*.mac;*.au;*.iff;*.svx8;*.sv16;"
    "*.paf;*.sd2;*.irca;*.w64;*.mat;*.pvf;*.xi;*.sds;*.avr;*.flv|其他媒体文件(慎用，可能出错或无结果)|*.*";
const QString kPictures = "图片文件|*.bmp;*.jpg;*.jpeg;*.png;*.gif;*.tif;*.tiff";

void touch(const QString& path) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly)) << path.toStdString();
    f.write("x");
}

// Records where the picker was opened.
struct PickerDialogs : FakeDialogs {
    QStringList starts;
    QString PickFolder(const QString& prompt, const QString& start) override {
        starts << start;
        return FakeDialogs::PickFolder(prompt, start);
    }
};

}  // namespace

TEST(IntakeRules, ScanFilterSearchesTheFilterText) {
    struct {
        QString path, filter;
        bool kept;
    } cases[] = {
        {"/v/A.MP4", kVideoFilter, true},        // lower-cased before the search
        {"/v/a.mp", kVideoFilter, true},         // "*.mp" occurs inside "*.mp4"
        {"/v/a.txt", kVideoFilter, false},
        {"/v/README", kVideoFilter, false},      // no dot at all
        {"/v.d/README", kVideoFilter, false},    // the dot of the folder: ".d/readme"
        {"/v/x.", kVideoFilter, true},           // "*." occurs in "*.*"
        {"/v/a.mp3", "*.mp3;*.mp2", true},
        {"/v/a.mp4", "*.mp3;*.mp2", false},
        {"/c/A.JPEG", kPictures, true},
        {"/c/a.webp", kPictures, false},
    };
    for (const auto& c : cases) EXPECT_EQ(ScanFilterKeeps(c.path, c.filter), c.kept) << c.path.toStdString();
}

TEST(IntakeRules, DropFilterIsLooser) {
    struct {
        QString name;
        bool kept;
    } cases[] = {
        {"a.MP4", true}, {"x.m", true}, {"x.s", true}, {"a.txt", false},
        {"README", false}, {"mkv", true},  // no dot: the whole name is searched
        {"clip.", true},                   // an empty extension occurs everywhere
    };
    for (const auto& c : cases) EXPECT_EQ(DropFilterKeeps(c.name, kVideoFilter), c.kept) << c.name.toStdString();
}

TEST(IntakeRules, StemsAndPictureNames) {
    struct {
        QString name, stem, picture;
    } cases[] = {
        {"clip.final.mp4", "clip.final", "clip.final.jpg"},
        {"a.MP4", "a", "a.jpg"},
        {"clip", "clip", "clip.jpg"},  // no dot: the whole name, and the picture keeps it
        {"clip.", "clip", "clip.jpg"},
        {".mp4", "", ".jpg"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(StemOf(c.name), c.stem) << c.name.toStdString();
        EXPECT_EQ(PictureNameOf(c.name), c.picture) << c.name.toStdString();
    }
}

TEST(IntakeRules, CellsWithTabsOrLineBreaksMakeNoRow) {
    EXPECT_TRUE(CellsFitARow({"Re: x.mp4", "/v", "320", "240", "/c/clip:final.png"}));
    EXPECT_TRUE(CellsFitARow({}));
    for (const QString bad : {"a\tb.mp4", "a\rb.mp4", "a\nb.mp4"}) {
        EXPECT_FALSE(CellsFitARow({bad, "/v", "1", "1"}));
        EXPECT_FALSE(CellsFitARow({"a.mp4", "/v", "1", "1", "/c/" + bad}));
    }
}

TEST(IntakeRules, DialogAnswersSplitAtNul) {
    EXPECT_EQ(SplitFileNameText(QString("/v") + QChar(0) + "a.mp4" + QChar(0) + "b.mp4"),
              (QStringList{"/v", "a.mp4", "b.mp4"}));
    EXPECT_EQ(SplitFileNameText("/v/.hidden.mp4"), QStringList{"/v/.hidden.mp4"});  // a folder part, no names

    // Each picked file keeps its own folder.
    const auto picked = PickedFiles(QStringList{"/v", "a.mp4", "", "/w/sub/b.mp4", "/c.mp4"}.join(QChar(0)));
    QStringList paths, folders;
    for (const PickedFile& p : picked) paths << p.Path(), folders << p.folder;
    EXPECT_EQ(paths, (QStringList{"/v/a.mp4", "/w/sub/b.mp4", "/c.mp4"}));
    EXPECT_EQ(folders, (QStringList{"/v", "/w/sub", ""}));
    EXPECT_TRUE(PickedFiles("/v/.hidden.mp4").empty());
}

TEST(FolderPicker, ResultRules) {
    QTemporaryDir tmp;
    const QString dir = tmp.path() + "/pick";
    ASSERT_TRUE(QDir().mkpath(dir));
    touch(tmp.path() + "/file.txt");
    const QString app = "/opt/program";
    struct {
        QString answer, result;
    } cases[] = {
        {"", ""},                                       // cancel
        {dir, dir + "/"},                               // one trailing "/"
        {dir + "/", dir + "/"},
        {"/", "/"},                                     // the root stays the root
        {tmp.path() + "/missing", app},                 // not a folder: the program folder
        {tmp.path() + "/file.txt", app},
    };
    for (const auto& c : cases) {
        PickerDialogs d;
        d.folderAnswers = {c.answer};
        EXPECT_EQ(BrowseForFolder(d, app, "指定保存的文件夹", ""), c.result) << c.answer.toStdString();
        EXPECT_EQ(d.folderPrompts, QStringList{"指定保存的文件夹"});
    }
}

TEST(FolderPicker, StartFolder) {
    struct {
        QString start, opened;
    } cases[] = {{"", "/"}, {"/data/in", "/data/in/"}, {"/data/in/", "/data/in/"}, {"/", "/"}};
    for (const auto& c : cases) {
        PickerDialogs d;
        BrowseForFolder(d, "/opt/program", "p", c.start);
        EXPECT_EQ(d.starts, QStringList{c.opened}) << c.start.toStdString();
    }
}

TEST(CoverMatcher, FindsByNameWithoutRegardToCase) {
    QTemporaryDir tmp;
    const QString d = tmp.path();
    for (const char* n : {"a.PNG", "a.bmp", "b.bmp", "b.png", "Clip.Jpeg", "noext.gif", ".h.jpg", "dir.jpg"})
        if (QString(n) != "dir.jpg") touch(d + "/" + n);
    ASSERT_TRUE(QDir().mkpath(d + "/dir.jpg"));
    CoverMatcher m;
    struct {
        QString stem;
        const QStringList& exts;
        QString found;
    } cases[] = {
        {"a", AddCoverExtensions(), "a.PNG"},   // png before bmp, spelled as listed
        {"a", ScanCoverExtensions(), "a.bmp"},  // bmp before png
        {"b", ScanCoverExtensions(), "b.bmp"},
        {"B", AddCoverExtensions(), "b.png"},
        {"clip", AddCoverExtensions(), "Clip.Jpeg"},
        {"noext", AddCoverExtensions(), "noext.gif"},
        {".h", AddCoverExtensions(), ""},  // a hidden file is not an ordinary file
        {"dir", AddCoverExtensions(), ""}, // nor is a folder
        {"zzz", AddCoverExtensions(), ""},
    };
    for (const auto& c : cases) EXPECT_EQ(m.Find(d, c.stem, c.exts), c.found) << c.stem.toStdString();
    // A caption ending in "/" works the same.
    EXPECT_EQ(m.Find(d + "/", "a", AddCoverExtensions()), "a.PNG");
}

TEST(CoverMatcher, ExactSpellingWinsAndChangesAreSeen) {
    QTemporaryDir tmp;
    const QString d = tmp.path();
    touch(d + "/v.JPG");
    touch(d + "/v.jpg");
    CoverMatcher m;
    EXPECT_EQ(m.Find(d, "v", AddCoverExtensions()), "v.jpg");
    EXPECT_EQ(m.Find(d, "V", AddCoverExtensions()), "v.JPG");  // listed first or exact: one of the two
    ASSERT_TRUE(QFile::remove(d + "/v.jpg"));
    ASSERT_TRUE(QFile::remove(d + "/v.JPG"));
    EXPECT_EQ(m.Find(d, "v", AddCoverExtensions()), "");
    touch(d + "/w.tiff");
    EXPECT_EQ(m.Find(d, "w", AddCoverExtensions()), "w.tiff");
}

TEST(FolderListing, KeepsListingOrderAndOnlyPlainEntries) {
    QTemporaryDir tmp;
    const QString d = tmp.path();
    for (const char* n : {"b.mp4", "a.mp4", "c.mp4", ".hidden.mp4"}) touch(d + "/" + n);
    ASSERT_TRUE(QDir().mkpath(d + "/sub"));
    ASSERT_TRUE(QDir().mkpath(d + "/.hiddendir"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(d + "/pipe.mp4").constData(), 0600), 0);
    ASSERT_EQ(::symlink("a.mp4", QFile::encodeName(d + "/link.mp4").constData()), 0);
    ASSERT_EQ(::symlink("sub", QFile::encodeName(d + "/linkdir").constData()), 0);
    ASSERT_EQ(::symlink("gone.mp4", QFile::encodeName(d + "/dangling.mp4").constData()), 0);

    const auto l = ListFolder(d);
    ASSERT_TRUE(l.has_value());
    QStringList files = l->files;
    std::sort(files.begin(), files.end());
    EXPECT_EQ(files, (QStringList{"a.mp4", "b.mp4", "c.mp4", "link.mp4"}));
    EXPECT_EQ(l->folders, QStringList{"sub"});
    // Unsorted: the order is the one every listing of the folder gives.
    QStringList raw = *ListNames(d);
    raw.removeIf([&](const QString& n) { return !l->files.contains(n); });
    EXPECT_EQ(raw, l->files);
    EXPECT_FALSE(ListFolder(d + "/missing").has_value());
    EXPECT_FALSE(ListFolder(d + "/a.mp4").has_value());
}
