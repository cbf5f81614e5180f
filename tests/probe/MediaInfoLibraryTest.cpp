// The calling sequence on the library, through a stand-in that records it.
#include "probe/MediaInfoLibrary.h"
#include "probe/MediaProbe.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <clocale>
#include <cstdlib>
#include <gtest/gtest.h>
#include <string>
#include <vector>

using namespace probe;

namespace {

std::vector<QString> calls;
std::wstring informed;  // the text Inform hands out, spoilt again by Close
QString report;
bool newFails = false;
bool informFails = false;
std::size_t openCharBytes = 0;  // MB_CUR_MAX while the file is opened
int token;

void* fakeNew() {
    calls.push_back("New");
    return newFails ? nullptr : &token;
}
std::size_t fakeOpen(void*, const wchar_t* file) {
    calls.push_back("Open " + QString::fromWCharArray(file));
    openCharBytes = MB_CUR_MAX;
    return 1;
}
const wchar_t* fakeOption(void*, const wchar_t* option, const wchar_t* value) {
    calls.push_back("Option " + QString::fromWCharArray(option) + "=" + QString::fromWCharArray(value));
    return L"";
}
const wchar_t* fakeInform(void*, std::size_t) {
    calls.push_back("Inform");
    informed = report.toStdWString();
    return informFails ? nullptr : informed.c_str();
}
void fakeClose(void*) {
    calls.push_back("Close");
    informed.assign(informed.size(), L'x');
}
void fakeDelete(void*) { calls.push_back("Delete"); }

MediaInfoApi fake() { return {fakeNew, fakeOpen, fakeOption, fakeInform, fakeClose, fakeDelete}; }

const char* kVideoReport = "General\nDuration                                 : 00:00:12.360\n\n"
                           "Video\nBit rate                                 : 1 615 kb/s\n"
                           "Width                                    : 640 pixels\n"
                           "Height                                   : 360 pixels\n"
                           "Frame rate                               : 29.970 FPS\n";

struct LibraryTest : ::testing::Test {
    QTemporaryDir dir;
    QString file;
    void SetUp() override {
        calls.clear();
        report = kVideoReport;
        newFails = informFails = false;
        file = dir.filePath("视频.mp4");
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    std::vector<QString> sequence(const QString& complete) const {
        return {"New", "Option ParseSpeed=0.5", "Open " + file, "Option Complete=" + complete, "Inform", "Close", "Delete"};
    }
};

}  // namespace

TEST_F(LibraryTest, EachProbeOpensReadsAndReleasesItsOwnHandle) {
    QString w, h;
    EXPECT_EQ(GetVideoSizeAndBitrate(fake(), file, w, h), 1615);
    EXPECT_EQ(w, "640");
    EXPECT_EQ(h, "360");
    EXPECT_EQ(calls, sequence(""));

    calls.clear();
    int fps = 0;
    EXPECT_EQ(GetVideoFrameRateAndBitrate(fake(), file, fps), 1615);
    EXPECT_EQ(fps, 30);
    EXPECT_EQ(calls, sequence(""));

    calls.clear();
    EXPECT_DOUBLE_EQ(GetMediaDuration(fake(), file), 12.36);
    EXPECT_EQ(calls, sequence("1"));
}

TEST_F(LibraryTest, HandleIsReleasedWhenTheProbeFails) {
    informFails = true;
    QString w = "w", h = "h";
    int fps = -1;
    EXPECT_EQ(GetVideoSizeAndBitrate(fake(), file, w, h), std::nullopt);
    EXPECT_EQ(GetVideoFrameRateAndBitrate(fake(), file, fps), std::nullopt);
    EXPECT_DOUBLE_EQ(GetMediaDuration(fake(), file), 0);
    EXPECT_EQ(calls.size(), 21u);
    EXPECT_EQ(std::vector<QString>(calls.end() - 7, calls.end()), sequence("1"));

    informFails = false;
    newFails = true;
    calls.clear();
    EXPECT_EQ(GetVideoSizeAndBitrate(fake(), file, w, h), std::nullopt);
    EXPECT_EQ(calls, std::vector<QString>{"New"});
    EXPECT_EQ(w + h, "");
    EXPECT_EQ(fps, -1);
}

TEST_F(LibraryTest, MissingHiddenAndNonFilesNeverReachTheLibrary) {
    ASSERT_TRUE(QFile::copy(file, dir.filePath(".hidden.mp4")));
    ASSERT_TRUE(QFile::link(file, dir.filePath(".link.mp4")));
    ASSERT_TRUE(QDir(dir.path()).mkdir("folder.mp4"));
    for (const QString& name : {"missing.mp4", ".hidden.mp4", ".link.mp4", "folder.mp4", ""})
        EXPECT_DOUBLE_EQ(GetMediaDuration(fake(), name.isEmpty() ? name : dir.filePath(name)), 0) << name.toStdString();
    QString w, h;
    EXPECT_EQ(GetVideoSizeAndBitrate(fake(), dir.filePath("folder.mp4"), w, h), std::nullopt);
    EXPECT_TRUE(calls.empty());
}

TEST_F(LibraryTest, FileNamesReachTheLibraryAsUtf8WhateverTheLocale) {
    const std::string saved = std::setlocale(LC_ALL, nullptr);
    std::setlocale(LC_ALL, "C");
    QString w, h;
    GetVideoSizeAndBitrate(fake(), file, w, h);
    const std::size_t afterwards = MB_CUR_MAX;
    std::setlocale(LC_ALL, saved.c_str());
    EXPECT_GT(openCharBytes, 1u);
    EXPECT_EQ(afterwards, 1u);
}

TEST_F(LibraryTest, AnUnloadableLibraryFailsEveryProbe) {
    for (const char* lib : {"libplindor-no-such-library.so.0", "libm.so.6"}) {
        const MediaInfoApi api = LoadMediaInfo(lib);
        EXPECT_FALSE(api.Loaded()) << lib;
        QString w = "w", h = "h";
        int fps = -1;
        EXPECT_EQ(GetVideoSizeAndBitrate(api, file, w, h), std::nullopt);
        EXPECT_EQ(GetVideoFrameRateAndBitrate(api, file, fps), std::nullopt);
        EXPECT_DOUBLE_EQ(GetMediaDuration(api, file), 0);
        EXPECT_EQ(w + h, "");
        EXPECT_EQ(fps, -1);
        EXPECT_FALSE(ReadsKnownMedia(api)) << lib;
    }
    EXPECT_TRUE(SystemMediaInfo().Loaded());
    EXPECT_TRUE(ReadsKnownMedia(SystemMediaInfo()));
}
