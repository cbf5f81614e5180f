#include "filelist/Intake.h"

#include "app/Form1.h"
#include "filelist/CoverMatcher.h"
#include "filelist/FileGrid.h"
#include "filelist/FileListController.h"
#include "filelist/FolderListing.h"
#include "filelist/FolderPicker.h"
#include "filelist/IntakeRules.h"
#include "options/ProcessingMode.h"
#include "platform/FileOps.h"
#include "probe/MediaProbe.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>

using namespace intake;

namespace {
const QString kTitle = QStringLiteral("消息");

// A dialog answer naming one ordinary file; several names come NUL-separated.
bool isSingleFile(const QString& fileName) {
    return !fileName.contains(QChar(0)) && fileops::IsOrdinaryFile(fileName);
}
}  // namespace

Intake::Scan::Scan() : covers(std::make_unique<CoverMatcher>()) {}
Intake::Scan::~Scan() = default;

Intake::Intake(Form1& form) : f_(form) {
    connect(f_.CmdAddMp4, &QPushButton::clicked, this, &Intake::CmdAddMp4_Click);
    connect(f_.CmdCover, &QPushButton::clicked, this, &Intake::CmdCover_Click);
    connect(f_.CmdReadMp4, &QPushButton::clicked, this, &Intake::CmdReadMp4_Click);
    connect(f_.CmdIndir, &QPushButton::clicked, this, &Intake::CmdIndir_Click);
    connect(f_.CmdOutDir, &QPushButton::clicked, this, &Intake::CmdOutDir_Click);
    connect(f_.MSF, &FileGrid::DroppedFiles, this, &Intake::MSF_OLEDragDrop);
}

Intake::~Intake() = default;

// ---------------------------------------------------------------- helpers

void Intake::probe(const QString& path) {
    // Only regular files: opening a pipe or a device to read it would block.
    // A file without a readable size gets empty size texts, never the last
    // file's.
    f_.ProbeWidth.clear();
    f_.ProbeHeight.clear();
    if (fileops::FileSize(path) < 0) return;
    probe::GetVideoSizeAndBitrate(path, f_.ProbeWidth, f_.ProbeHeight);
}

bool Intake::yield() {
    QCoreApplication::processEvents();
    return !f_.IsClosed();
}

void Intake::refuse(const QString& text, QWidget* focus) {
    f_.services.dialogs->Message(text, kTitle, MsgIcon::Critical, MsgButtons::Ok);
    focus->setFocus();
}

void Intake::inform(const QString& text) {
    f_.services.dialogs->Message(text, kTitle, MsgIcon::Information, MsgButtons::Ok);
}

void Intake::addRow(const QStringList& cells) {
    if (CellsFitARow(cells)) FileListController::AddRow(f_, RowText(cells));
}

void Intake::setWorking(QWidget* button, bool working) {
    if (working) {
        f_.Frame1->setEnabled(false);
        button->setEnabled(false);
        f_.Busy = true;
        // The update flow would otherwise run inside the add's yields.
        updateWasEnabled_ = f_.CmdUpdate->isEnabled();
        f_.CmdUpdate->setEnabled(false);
    } else {
        f_.Frame1->setEnabled(true);
        button->setEnabled(true);
        f_.Busy = false;
        f_.CmdUpdate->setEnabled(updateWasEnabled_);
    }
}

bool Intake::videoRow(int mode, const QString& name, const QString& folder, const QString& fullPath,
                      CoverMatcher& covers, const QStringList& coverExts, QStringList& cells) {
    const QString w = f_.ProbeWidth, h = f_.ProbeHeight;
    switch (mode) {
        case FrameToPicture:
            cells = {PictureNameOf(name), folder, w, h, fullPath};
            return true;
        case FrameAsCover:
            cells = {name, folder, w, h};
            return true;
        case OneCoverPerVideo:
            if (f_.ChAutoMatch->isChecked()) {
                const QString coverFolder = f_.LBase->text();
                const QString cover = covers.Find(coverFolder, StemOf(name), coverExts);
                if (cover.isEmpty()) return false;
                cells = {name, folder, w, h, coverFolder + QLatin1Char('/') + cover};
                return true;
            }
            [[fallthrough]];
        default:
            cells = {name, folder, w, h, f_.LBase->text()};
            return true;
    }
}

// ---------------------------------------------------------------- dialogs

void Intake::CmdAddMp4_Click() {
    const bool mp3 = f_.ChMp3->isChecked();
    CommonDialog& dlg = f_.Cdg;
    dlg.Filter = mp3 ? kMp3DialogFilter : f_.VideoFilter;
    dlg.FileName.clear();
    dlg.MaxFileSize = 32767;
    const QString addTitle = mp3 ? QStringLiteral("添加Mp3文件") : QStringLiteral("添加视频文件");

    const int mode = f_.ProcessingMode();
    switch (mode) {
        case FrameToPicture:
            dlg.Flags = ofn::MultipleSelection;
            dlg.DialogTitle = addTitle;
            break;
        case SeriesFromOneVideo:
            dlg.Flags = ofn::SingleSelection;
            dlg.DialogTitle = mp3 ? QStringLiteral("指定基准Mp3文件") : QStringLiteral("指定基准视频文件");
            break;
        case OneCoverPerVideo:
            if (!f_.ChAutoMatch->isChecked() && !fileops::IsOrdinaryFile(f_.LBase->text())) {
                refuse(QStringLiteral("请先指定封面图！"), f_.CmdCover);
                return;
            }
            if (f_.ChAutoMatch->isChecked() && !fileops::FolderExists(f_.LBase->text())) {
                refuse(QStringLiteral("请先指定自动文件名匹配的封面图来源文件夹！"), f_.CmdCover);
                return;
            }
            dlg.Flags = ofn::SingleSelection;  // one video per click
            dlg.DialogTitle = addTitle;
            break;
        case OneCoverForAllVideos:
        case FrameAsCover:
            dlg.Flags = ofn::MultipleSelection;
            dlg.DialogTitle = addTitle;
            if (mode == OneCoverForAllVideos && !fileops::IsOrdinaryFile(f_.LBase->text())) {
                refuse(QStringLiteral("请先指定封面图！"), f_.CmdCover);
                return;
            }
            break;
        default:
            return;
    }

    f_.ShowOpen(dlg);
    const QString fileName = dlg.FileName;
    if (fileName.isEmpty()) {
        f_.services.dialogs->Beep();
        return;
    }

    if (mode == SeriesFromOneVideo) {
        f_.LBase->setText(fileName);
        inform(mp3 ? QStringLiteral("基准mp3文件已指定！") : QStringLiteral("基准视频文件已指定！"));
        return;
    }

    CoverMatcher covers;
    if (isSingleFile(fileName)) {
        probe(fileName);
        QStringList cells;
        if (videoRow(mode, fileops::NameOf(fileName), fileops::FolderOf(fileName), fileName, covers,
                     AddCoverExtensions(), cells))
            addRow(cells);
    } else {
        // Several files, or nothing usable (a hidden file chosen alone gives
        // a folder part and no names).
        setWorking(f_.CmdAddMp4, true);
        for (const PickedFile& picked : PickedFiles(fileName)) {
            const QString full = picked.Path();
            probe(full);
            // The mode and the list may have changed during the last yield.
            QStringList cells;
            if (videoRow(f_.ProcessingMode(), picked.name, picked.folder, full, covers, AddCoverExtensions(), cells))
                addRow(cells);
            if (!yield()) return;
        }
    }

    inform(f_.ChMp3->isChecked() ? QStringLiteral("Mp3文件添加完毕！") : QStringLiteral("视频文件添加完毕！"));
    setWorking(f_.CmdAddMp4, false);
}

void Intake::CmdCover_Click() {
    // The mode switch only hides the box outside mode 1; it counts only there.
    if (f_.ProcessingMode() == OneCoverPerVideo && f_.ChAutoMatch->isChecked()) {
        const QString folder = BrowseForFolder(*f_.services.dialogs, f_.AppPathGlobal,
                                               QStringLiteral("请指定自动同名匹配的视频封面图所在的源文件夹"),
                                               f_.LInDir->text());
        if (!folder.isEmpty() && folder != QLatin1String("/") && fileops::FolderExists(folder))
            f_.LBase->setText(folder);
        return;
    }

    CommonDialog& dlg = f_.CmdPic;
    dlg.FileName.clear();
    dlg.MaxFileSize = 32767;
    const int mode = f_.ProcessingMode();
    switch (mode) {
        case SeriesFromOneVideo:
            dlg.Flags = ofn::MultipleSelection;
            dlg.DialogTitle = QStringLiteral("添加封面图片文件");
            if (!fileops::IsOrdinaryFile(f_.LBase->text())) {
                refuse(QStringLiteral("基准视频文件未指定！"), f_.CmdAddMp4);
                return;
            }
            break;
        case OneCoverPerVideo:
        case OneCoverForAllVideos:
            dlg.Flags = ofn::SingleSelection;
            dlg.DialogTitle = QStringLiteral("指定基准封面图片文件");
            break;
        default:
            return;  // no cover to name in the frame modes
    }

    f_.ShowOpen(dlg);
    const QString fileName = dlg.FileName;
    if (fileName.isEmpty()) {
        f_.services.dialogs->Beep();
        return;
    }

    if (mode == OneCoverPerVideo || mode == OneCoverForAllVideos) {
        f_.LBase->setText(fileName);
        inform(mode == OneCoverPerVideo ? QStringLiteral("封面图片文件已指定！")
                                        : QStringLiteral("基准封面图片文件已指定！"));
        return;
    }

    // Mode 0: every cover row carries the base video's size.
    probe(f_.LBase->text());
    const QString w = f_.ProbeWidth, h = f_.ProbeHeight;
    if (isSingleFile(fileName)) {
        addRow({fileops::NameOf(fileName), fileops::FolderOf(fileName), w, h, f_.LBase->text()});
    } else {
        setWorking(f_.CmdCover, true);
        for (const PickedFile& picked : PickedFiles(fileName)) {
            addRow({picked.name, picked.folder, w, h, f_.LBase->text()});
            if (!yield()) return;
        }
    }
    inform(QStringLiteral("封面图片文件添加完毕！"));
    setWorking(f_.CmdCover, false);
}

// ---------------------------------------------------------------- folders

void Intake::CmdIndir_Click() {
    const QString folder = BrowseForFolder(*f_.services.dialogs, f_.AppPathGlobal,
                                           QStringLiteral("指定视频文件所在的文件夹"), QString());
    if (folder.isEmpty()) {
        f_.services.dialogs->Beep();
        return;
    }
    f_.LInDir->setText(folder);
}

void Intake::CmdOutDir_Click() {
    const QString folder =
        BrowseForFolder(*f_.services.dialogs, f_.AppPathGlobal, QStringLiteral("指定保存的文件夹"), QString());
    if (folder.isEmpty()) {
        f_.services.dialogs->Beep();
        return;
    }
    f_.LDir->setText(folder);
}

void Intake::CmdReadMp4_Click() {
    const int mode = f_.ProcessingMode();
    const QString base = f_.LBase->text();
    QString filter = f_.VideoFilter;
    switch (mode) {
        case SeriesFromOneVideo:
            filter = f_.CmdPic.Filter;
            if (!fileops::IsOrdinaryFile(base)) {
                refuse(f_.CmdReadMp4->text().contains(QLatin1String("Mp3"), Qt::CaseSensitive)
                           ? QStringLiteral("基准MP3文件未指定！")
                           : QStringLiteral("基准视频文件未指定！"),
                       f_.CmdAddMp4);
                return;
            }
            break;
        case OneCoverPerVideo:
            if (!f_.ChAutoMatch->isChecked() && !fileops::IsOrdinaryFile(base)) {
                refuse(QStringLiteral("请先指定封面图！"), f_.CmdCover);
                return;
            }
            if (f_.ChAutoMatch->isChecked() && !fileops::FolderExists(base)) {
                refuse(QStringLiteral("请先指定自动匹配封面图来源文件夹！"), f_.CmdCover);
                return;
            }
            break;
        case OneCoverForAllVideos:
            if (!fileops::IsOrdinaryFile(base)) {
                refuse(QStringLiteral("请先指定封面图！"), f_.CmdCover);
                return;
            }
            break;
        case FrameAsCover:
        case FrameToPicture:
            break;
        default:
            return;
    }

    setWorking(f_.CmdReadMp4, true);
    if (f_.CmdReadMp4->text().contains(QLatin1String("Mp3"), Qt::CaseSensitive)) filter = kMp3ScanFilter;
    if (!ScanFolderTree(f_.LInDir->text(), filter)) return;
    inform(QStringLiteral("文件加载完毕！"));
    setWorking(f_.CmdReadMp4, false);
}

bool Intake::ScanFolderTree(const QString& folder, const QString& filter) {
    Scan scan;
    return scanTree(scan, folder, filter);
}

bool Intake::ScanFolderFiles(const QString& folder, const QString& filter) {
    const auto listing = ListFolder(folder);
    if (!listing) return true;
    Scan scan;
    return scanFiles(scan, folder, *listing, filter);
}

bool Intake::scanTree(Scan& scan, const QString& folder, const QString& filter) {
    // An empty folder text is the root, as "" is the folder of a file there.
    const QString path = folder.isEmpty() ? QStringLiteral("/") : QDir::cleanPath(folder);
    const auto listing = ListFolder(path);
    if (!listing) return true;  // cannot be opened: nothing of this subtree
    // A folder reached a second time (through a bind mount) is not walked again.
    const QPair<unsigned long long, unsigned long long> id{listing->device, listing->inode};
    if (scan.seen.contains(id)) return true;
    scan.seen.insert(id);

    if (!scanFiles(scan, path, *listing, filter)) return false;
    if (!f_.ChSub->isChecked()) return true;
    const QString prefix = path.endsWith(QLatin1Char('/')) ? path : path + QLatin1Char('/');
    for (const QString& sub : listing->folders) {
        if (!scanTree(scan, prefix + sub, filter)) return false;
    }
    return true;
}

bool Intake::scanFiles(Scan& scan, const QString& folder, const FolderListing& listing, const QString& filter) {
    const QString prefix =
        folder.isEmpty() || folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/');
    if (f_.ProcessingMode() == SeriesFromOneVideo) probe(f_.LBase->text());

    for (const QString& name : listing.files) {
        const QString full = prefix + name;
        if (!ScanFilterKeeps(full, filter)) continue;
        const QString fileFolder = fileops::FolderOf(full);
        // Read afresh for every file: a mode switch may have happened during the last yield.
        const int mode = f_.ProcessingMode();
        QStringList cells;
        bool add = true;
        if (mode == SeriesFromOneVideo) {
            cells = {name, fileFolder, f_.ProbeWidth, f_.ProbeHeight, f_.LBase->text()};
        } else {
            probe(full);
            add = videoRow(mode, name, fileFolder, full, *scan.covers, ScanCoverExtensions(), cells);
        }
        if (add) addRow(cells);
        if (!yield()) return false;
    }
    return true;
}

// ---------------------------------------------------------------- drop

void Intake::MSF_OLEDragDrop(const QStringList& paths) {
    if (f_.ProcessingMode() != FrameAsCover) {
        f_.services.dialogs->Beep();
        return;
    }
    // A dropped folder is scanned with yields: no update flow inside it.
    const bool updateWasEnabled = f_.CmdUpdate->isEnabled();
    f_.CmdUpdate->setEnabled(false);
    for (const QString& item : paths) {
        if (fileops::FileSize(item) < 0) {
            // A folder (or anything without a file length).
            if (f_.ChSub->isChecked() && !ScanFolderTree(item, f_.VideoFilter)) return;
            continue;
        }
        const QString name = fileops::NameOf(item);
        if (!DropFilterKeeps(name, f_.VideoFilter)) continue;
        probe(item);
        addRow({name, fileops::FolderOf(item), f_.ProbeWidth, f_.ProbeHeight});
    }
    f_.CmdUpdate->setEnabled(updateWasEnabled);
    inform(QStringLiteral("文件加载完毕！"));
    FileGrid* g = f_.MSF;
    if (g->Rows() > 1) {
        g->SetRow(g->Rows() - 1);
        g->SetColSel(g->Cols() - 1);
        g->SetTopRow(1);
    }
}
