#include "support/TaggedMp3.h"

#include "support/Media.h"

#include <QCryptographicHash>
#include <QFile>
#include <QProcess>

#include <zlib.h>

#include <apetag.h>
#include <attachedpictureframe.h>
#include <chapterframe.h>
#include <commentsframe.h>
#include <id3v1tag.h>
#include <id3v2header.h>
#include <id3v2tag.h>
#include <mpegfile.h>
#include <popularimeterframe.h>
#include <tableofcontentsframe.h>
#include <textidentificationframe.h>
#include <uniquefileidentifierframe.h>
#include <unsynchronizedlyricsframe.h>

namespace media {

namespace {

using namespace TagLib;

QString q(const String& s) { return QString::fromStdWString(s.toWString()); }
QByteArray q(const ByteVector& b) { return QByteArray(b.data(), static_cast<int>(b.size())); }
ByteVector bytesOf(const QString& path) {
    QFile f(path);
    const QByteArray b = f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    return ByteVector(b.constData(), static_cast<unsigned int>(b.size()));
}

ID3v2::AttachedPictureFrame* picture(const QString& file, ID3v2::AttachedPictureFrame::Type type,
                                     const char* description) {
    auto* p = new ID3v2::AttachedPictureFrame;
    p->setTextEncoding(String::UTF16);
    p->setMimeType(file.endsWith(".png") ? "image/png" : "image/jpeg");
    p->setType(type);
    p->setDescription(String(description, String::UTF8));
    p->setPicture(bytesOf(file));
    return p;
}

ID3v2::TextIdentificationFrame* text(const char* id, const char* value) {
    auto* t = new ID3v2::TextIdentificationFrame(id, String::UTF16);
    t->setText(String(value, String::UTF8));
    return t;
}

QString describe(ID3v2::Frame* f) {
    const QString id = QString::fromLatin1(q(f->frameID()));
    if (auto* p = dynamic_cast<ID3v2::AttachedPictureFrame*>(f))
        return QString("%1 type %2 %3 \"%4\" %5")
            .arg(id)
            .arg(int(p->type()))
            .arg(q(p->mimeType()), q(p->description()))
            .arg(QString::fromLatin1(QCryptographicHash::hash(q(p->picture()), QCryptographicHash::Md5).toHex()));
    if (auto* c = dynamic_cast<ID3v2::CommentsFrame*>(f))
        return QString("%1 %2 \"%3\" %4").arg(id, QString::fromLatin1(q(c->language())), q(c->description()), q(c->text()));
    if (auto* l = dynamic_cast<ID3v2::UnsynchronizedLyricsFrame*>(f))
        return QString("%1 %2 \"%3\" %4").arg(id, QString::fromLatin1(q(l->language())), q(l->description()), q(l->text()));
    if (auto* p = dynamic_cast<ID3v2::PopularimeterFrame*>(f))
        return QString("%1 %2 %3 %4").arg(id, q(p->email())).arg(p->rating()).arg(p->counter());
    if (auto* u = dynamic_cast<ID3v2::UniqueFileIdentifierFrame*>(f))
        return QString("%1 %2 %3").arg(id, q(u->owner()), QString::fromLatin1(q(u->identifier())));
    if (auto* x = dynamic_cast<ID3v2::UserTextIdentificationFrame*>(f))
        return QString("%1 \"%2\" %3").arg(id, q(x->description()), q(x->fieldList().back()));
    if (auto* c = dynamic_cast<ID3v2::ChapterFrame*>(f)) {
        QString s = QString("%1 %2 %3-%4").arg(id, QString::fromLatin1(q(c->elementID()))).arg(c->startTime()).arg(c->endTime());
        for (ID3v2::Frame* e : c->embeddedFrameList()) s += " [" + describe(e) + "]";
        return s;
    }
    if (auto* t = dynamic_cast<ID3v2::TableOfContentsFrame*>(f)) {
        QString s = QString("%1 %2 top %3 ordered %4").arg(id, QString::fromLatin1(q(t->elementID())))
                        .arg(t->isTopLevel()).arg(t->isOrdered());
        for (const ByteVector& child : t->childElements()) s += " " + QString::fromLatin1(q(child));
        return s;
    }
    return id + " " + q(f->toString());
}

}  // namespace

bool MakeTaggedMp3(const QString& path, double seconds, const Mp3Tags& tags) {
    const QString wav = path + ".wav";
    if (!Ffmpeg({"-f", "lavfi", "-i", QString("sine=frequency=330:duration=%1").arg(seconds), "-ac", "2", wav}))
        return false;
    QProcess lame;
    lame.start("lame", {"--quiet", "-V", "5", wav, path});
    const bool encoded = lame.waitForFinished(120000) && lame.exitStatus() == QProcess::NormalExit && lame.exitCode() == 0;
    QFile::remove(wav);
    if (!encoded) return false;

    MPEG::File file(QFile::encodeName(path).constData(), false);
    if (!file.isValid()) return false;
    ID3v2::Tag* tag = file.ID3v2Tag(true);
    if (tags.frames) {
        tag->addFrame(text("TIT2", "一首歌"));
        tag->addFrame(text("TPE1", "Someone"));
        tag->addFrame(text("TALB", "Album"));
        auto* comment = new ID3v2::CommentsFrame(String::UTF16);
        comment->setLanguage("eng");
        comment->setText(String("评论 comment", String::UTF8));
        tag->addFrame(comment);
        auto* lyrics = new ID3v2::UnsynchronizedLyricsFrame(String::UTF16);
        lyrics->setLanguage("chi");
        lyrics->setText(String("第一行\n第二行", String::UTF8));
        tag->addFrame(lyrics);
        auto* rating = new ID3v2::PopularimeterFrame;
        rating->setEmail("someone@example.org");
        rating->setRating(196);
        rating->setCounter(12);
        tag->addFrame(rating);
        tag->addFrame(new ID3v2::UniqueFileIdentifierFrame("http://musicbrainz.org", "0b5e8f5c-6f0a-4d25-9c1e-3b7f0e7a2d11"));
        tag->addFrame(new ID3v2::UserTextIdentificationFrame("MusicBrainz Album Id", StringList("9d7f4c2a-album"),
                                                             String::UTF16));
        const unsigned int ms = static_cast<unsigned int>(seconds * 1000);
        ID3v2::FrameList first, second;
        first.append(text("TIT2", "开头"));
        second.append(text("TIT2", "The rest"));
        tag->addFrame(new ID3v2::ChapterFrame("ch0", 0, ms / 2, 0xFFFFFFFF, 0xFFFFFFFF, first));
        tag->addFrame(new ID3v2::ChapterFrame("ch1", ms / 2, ms, 0xFFFFFFFF, 0xFFFFFFFF, second));
        ByteVectorList children;
        children.append("ch0");
        children.append("ch1");
        auto* toc = new ID3v2::TableOfContentsFrame("toc", children);
        toc->setIsTopLevel(true);
        toc->setIsOrdered(true);
        tag->addFrame(toc);
    }
    if (!tags.backPicture.isEmpty())
        tag->addFrame(picture(tags.backPicture, ID3v2::AttachedPictureFrame::BackCover, "背面"));
    if (!tags.frontPicture.isEmpty())
        tag->addFrame(picture(tags.frontPicture, ID3v2::AttachedPictureFrame::FrontCover, "front"));
    int kinds = tag->frameList().isEmpty() ? 0 : int(MPEG::File::ID3v2);
    if (tags.ape) {
        APE::Tag* ape = file.APETag(true);
        ape->addValue("REPLAYGAIN_TRACK_GAIN", "-6.48 dB");
        ape->addValue("REPLAYGAIN_TRACK_PEAK", "0.988159");
        kinds |= MPEG::File::APE;
    }
    if (tags.id3v1) {
        ID3v1::Tag* v1 = file.ID3v1Tag(true);
        v1->setTitle("Song");
        v1->setArtist("Someone");
        kinds |= MPEG::File::ID3v1;
    }
    if (kinds == 0) return true;
    return file.save(kinds, MPEG::File::StripNone, tags.id3v2Version == 3 ? ID3v2::v3 : ID3v2::v4,
                     MPEG::File::DoNotDuplicate);
}

QStringList DescribeTags(const QString& path) {
    QStringList out;
    MPEG::File file(QFile::encodeName(path).constData(), false);
    if (!file.isValid()) return out;
    if (file.hasID3v2Tag())
        for (ID3v2::Frame* f : file.ID3v2Tag()->frameList()) {
            auto* p = dynamic_cast<ID3v2::AttachedPictureFrame*>(f);
            if (!p || p->type() != ID3v2::AttachedPictureFrame::FrontCover) out << describe(f);
        }
    if (file.hasAPETag())
        for (const auto& item : file.APETag()->itemListMap()) out << "APE " + q(item.first) + "=" + q(item.second.toString());
    if (file.hasID3v1Tag())
        out << "ID3v1 " + q(file.ID3v1Tag()->title()) + " / " + q(file.ID3v1Tag()->artist());
    out.sort();
    return out;
}

QList<QByteArray> FrontCovers(const QString& path) {
    QList<QByteArray> out;
    MPEG::File file(QFile::encodeName(path).constData(), false);
    if (!file.isValid() || !file.hasID3v2Tag()) return out;
    for (ID3v2::Frame* f : file.ID3v2Tag()->frameList("APIC")) {
        auto* p = dynamic_cast<ID3v2::AttachedPictureFrame*>(f);
        if (p && p->type() == ID3v2::AttachedPictureFrame::FrontCover) out << q(p->picture());
    }
    return out;
}

int Id3v2Version(const QString& path) {
    MPEG::File file(QFile::encodeName(path).constData(), false);
    return file.isValid() && file.hasID3v2Tag() ? static_cast<int>(file.ID3v2Tag()->header()->majorVersion()) : 0;
}

QByteArray AfterId3v2(const QString& path) {
    long long skip = 0;
    {
        MPEG::File file(QFile::encodeName(path).constData(), false);
        if (!file.isValid()) return {};
        if (file.hasID3v2Tag()) skip = file.ID3v2Tag()->header()->completeTagSize();
    }
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly) || !f.seek(skip)) return {};
    return f.readAll();
}

QByteArray ApeWithoutHeader(const QByteArray& key, const QByteArray& value) {
    const auto le32 = [](unsigned v) {
        QByteArray b;
        for (int i = 0; i < 4; ++i) b += static_cast<char>((v >> (8 * i)) & 0xFF);
        return b;
    };
    // value size, item flags, key, its zero, value
    const QByteArray item = le32(value.size()) + le32(0) + key + '\0' + value;
    // version, size of items and footer, item count, flags (no header), reserved
    return item + "APETAGEX" + le32(2000) + le32(item.size() + 32) + le32(1) + le32(0) + QByteArray(8, '\0');
}

QByteArray Lyrics3v2(const QByteArray& lyrics) {
    const QByteArray block = "LYRICSBEGININD00002" "10" "LYR" + QByteArray::number(lyrics.size()).rightJustified(5, '0') + lyrics;
    return block + QByteArray::number(block.size()).rightJustified(6, '0') + "LYRICS200";
}

namespace id3 {

namespace {
QByteArray be(long long v, int bytes, int bits = 8) {
    QByteArray b(bytes, '\0');
    for (int i = 0; i < bytes; ++i) b[i] = static_cast<char>((v >> (bits * (bytes - 1 - i))) & ((1 << bits) - 1));
    return b;
}
}  // namespace

QByteArray Frame(int major, const QByteArray& id, const QByteArray& body, int flags) {
    if (major == 2) return id + be(body.size(), 3) + body;
    return id + be(body.size(), 4, major == 4 ? 7 : 8) + be(flags, 2) + body;
}

QByteArray Utf16(const QString& text) {
    QByteArray b("\x01\xFF\xFE", 3);
    for (const QChar c : text) b += be(c.unicode(), 2).right(1) + be(c.unicode(), 2).left(1);
    return b;
}

QByteArray Text(char encoding, const QByteArray& bytes) { return QByteArray(1, encoding) + bytes; }

QByteArray Picture(int major, const QByteArray& mime, int type, const QByteArray& picture,
                   const QByteArray& description) {
    QByteArray b(1, '\0');
    b += major == 2 ? mime : mime + '\0';
    b += static_cast<char>(type);
    return b + description + '\0' + picture;
}

QByteArray Bytes(const Tag& tag) {
    QByteArray body = tag.extended;
    for (const QByteArray& f : tag.frames) body += f;
    body += QByteArray(tag.padding, '\0');
    if ((tag.flags & 0x80) && tag.major <= 3) body = Unsynchronised(body);
    const QByteArray rest = be(tag.major, 1) + '\0' + be(tag.flags, 1) + be(body.size(), 4, 7);
    QByteArray out = "ID3" + rest + body;
    if (tag.major == 4 && (tag.flags & 0x10)) out += "3DI" + rest;
    return out;
}

QByteArray Unsynchronised(const QByteArray& bytes) {
    QByteArray u;
    for (int i = 0; i < bytes.size(); ++i) {
        u += bytes[i];
        const bool ff = static_cast<unsigned char>(bytes[i]) == 0xFF;
        if (ff && (i + 1 == bytes.size() || bytes[i + 1] == 0 || static_cast<unsigned char>(bytes[i + 1]) >= 0xE0))
            u += '\0';
    }
    return u;
}

QByteArray Extended24(const QByteArray& framesAndPadding) {
    const unsigned long crc = ::crc32(0, reinterpret_cast<const Bytef*>(framesAndPadding.constData()),
                                      static_cast<uInt>(framesAndPadding.size()));
    // size (syncsafe, itself included), one flag byte, CRC present, its length and 35 bits
    return be(12, 4, 7) + "\x01\x20\x05" + be(static_cast<long long>(crc), 5, 7);
}

QByteArray Extended23(int padding, bool crc, const QByteArray& frames) {
    QByteArray e = be(crc ? 10 : 6, 4) + be(crc ? 0x8000 : 0, 2) + be(padding, 4);
    if (crc)
        e += be(static_cast<long long>(::crc32(0, reinterpret_cast<const Bytef*>(frames.constData()),
                                                static_cast<uInt>(frames.size()))),
                4);
    return e;
}

}  // namespace id3

}  // namespace media
