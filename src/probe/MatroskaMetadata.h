#pragma once
// What a Matroska file says about its tracks and itself apart from the media:
// each track's flags, language and name, the segment's title and every tag.
// Tags name their targets by unique ids, which a writer makes anew; they are
// read here as the kind and place of what they aim at, so that a source and a
// result the encoder wrote compare.
#include "probe/ContainerBytes.h"
#include "probe/FileStructure.h"

#include <map>

namespace probe {

class MatroskaMetadataReader {
public:
    // A top-level element of the segment; those it does not know are passed by.
    void Read(QFile& f, const bytes::Element& e);
    // Tracks, title and tags, their targets resolved.
    void Into(MatroskaLayout& out) const;

private:
    struct Simple {
        QString path, language, value;
        bool isDefault = true;
    };
    struct Tag {
        uint64_t level = 50;
        QString levelName;
        std::vector<uint64_t> tracks, editions, chapters, attachments;
        std::vector<Simple> simples;
    };
    void ReadTracks(QFile& f, const bytes::Element& tracks);
    void ReadTag(QFile& f, const bytes::Element& tag);
    void ReadSimple(QFile& f, const bytes::Element& simple, const QString& parent, Tag& into, int depth);
    void ReadChapterIds(QFile& f, const bytes::Element& parent, int depth);

    std::vector<MatroskaTrack> tracks_;
    bool hasTitle_ = false;
    QString title_;
    std::vector<Tag> tags_;
    std::vector<uint64_t> editions_, chapters_;
    std::map<uint64_t, QString> attachments_;
};

}  // namespace probe
