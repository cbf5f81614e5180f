#include "batch/Mp3Tags.h"

#include "platform/FileOps.h"

#include <QFile>

#include <algorithm>
#include <cstdio>
#include <memory>

#include <attachedpictureframe.h>
#include <id3v2frame.h>
#include <id3v2header.h>
#include <id3v2tag.h>
#include <mpegfile.h>
#include <tfilestream.h>

#include <fcntl.h>
#include <unistd.h>

namespace mp3tags {

namespace {

using TagLib::ID3v2::AttachedPictureFrame;
using TagLib::ID3v2::Frame;

// A file opened by the tag library for reading only: what is read from it
// may be changed in memory, never on disk.
class Opened {
public:
    explicit Opened(const QString& path)
        : stream_(QFile::encodeName(path).constData(), true),
          file_(&stream_, TagLib::ID3v2::FrameFactory::instance(), false) {}
    bool ok() const { return stream_.isOpen() && file_.isValid(); }
    TagLib::MPEG::File& file() { return file_; }
    // The file's ID3v2 tag; an empty one when it has none.
    TagLib::ID3v2::Tag& tag() { return *file_.ID3v2Tag(true); }

private:
    TagLib::FileStream stream_;
    TagLib::MPEG::File file_;
};

bool isFrontCover(const Frame* f) {
    const auto* p = dynamic_cast<const AttachedPictureFrame*>(f);
    return p && p->type() == AttachedPictureFrame::FrontCover;
}

// The frame's id and contents, without its header (whose size field an
// ID3v2.2 tag writes otherwise than the ID3v2.3 tag it becomes).
QByteArray comparable(const Frame* f) {
    const TagLib::ByteVector b = f->render();
    const TagLib::ByteVector id = f->frameID();
    const unsigned int fields = std::min(f->size(), b.size());
    return QByteArray(id.data(), static_cast<int>(id.size())) + '\0' +
           QByteArray(b.data() + (b.size() - fields), static_cast<int>(fields));
}

}  // namespace

Frames Read(const QString& path) {
    Frames out;
    Opened file(path);
    if (!file.ok()) return out;
    out.readable = true;
    for (Frame* f : file.tag().frameList()) {
        if (isFrontCover(f)) {
            ++out.frontCovers;
            continue;
        }
        if (f->frameID() == "TSSE") continue;
        out.others.push_back(comparable(f));
    }
    std::sort(out.others.begin(), out.others.end());
    return out;
}

bool CarryOver(const QString& source, const probe::Mp3Layout& layout, const QString& output, bool trimmed) {
    if (!layout.readable || !layout.tagsWhole || layout.id3v2Tags > 1) return false;

    Opened encoded(output);
    if (!encoded.ok()) return false;
    Frame* cover = nullptr;
    int covers = 0;
    for (Frame* f : encoded.tag().frameList())
        if (isFrontCover(f)) {
            cover = f;
            ++covers;
        }
    if (covers != 1) return false;

    // The tag the library reads must be the one the layout found in front of
    // the audio: everything after it is kept as it is.
    Opened src(source);
    if (!src.ok() || src.file().hasID3v2Tag() != layout.id3v2) return false;
    TagLib::ID3v2::Tag& tag = src.tag();
    if (layout.id3v2 && tag.header()->completeTagSize() != static_cast<unsigned int>(layout.audioStart)) return false;
    const bool v4 = layout.id3v2 && tag.header()->majorVersion() == 4;

    // The frames in their order, the new front cover where the first picture
    // was (players that show the first picture show it), the old ones gone.
    encoded.tag().removeFrame(cover, false);
    std::vector<Frame*> frames(tag.frameList().begin(), tag.frameList().end());
    for (Frame* f : frames) tag.removeFrame(f, false);
    bool placed = false;
    for (Frame* f : frames) {
        if (!placed && dynamic_cast<AttachedPictureFrame*>(f)) {
            tag.addFrame(cover);
            placed = true;
        }
        if (isFrontCover(f)) delete f;
        else tag.addFrame(f);
    }
    if (!placed) tag.addFrame(cover);
    const TagLib::ByteVector rendered = tag.render(v4 ? TagLib::ID3v2::v4 : TagLib::ID3v2::v3);

    fileops::Pread in(source);
    if (!in.opened() || in.size() != layout.size) return false;

    const QString work = fileops::FolderOf(output) + "/." + fileops::NameOf(output) + ".plindor-tags";
    const QByteArray workName = QFile::encodeName(work);
    const int to = ::open(workName.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (to < 0) return false;
    bool written = fileops::WriteAll(to, rendered.data(), rendered.size());
    if (written && !trimmed) {
        written = fileops::CopyRange(in, layout.audioStart, layout.size - layout.audioStart, to);
    } else if (written) {
        // The encoder's audio without its own tags, then the source's tags at the end.
        const probe::Mp3Layout cut = probe::ReadMp3Layout(output);
        fileops::Pread audio(output);
        written = cut.readable && cut.tagsWhole && audio.opened() &&
                  fileops::CopyRange(audio, cut.audioStart, cut.trailingStart - cut.audioStart, to) &&
                  fileops::CopyRange(in, layout.trailingStart, layout.size - layout.trailingStart, to);
    }
    written = ::close(to) == 0 && written;
    if (!written || std::rename(workName.constData(), QFile::encodeName(output).constData()) != 0) {
        fileops::DeleteFile(work);
        return false;
    }
    return true;
}

}  // namespace mp3tags
