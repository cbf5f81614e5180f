#include "probe/MatroskaMetadata.h"

#include <algorithm>

namespace probe {

using namespace bytes;

namespace {

constexpr uint32_t kTrackUid = 0x73C5;
constexpr uint32_t kFlagEnabled = 0xB9;
constexpr uint32_t kFlagDefault = 0x88;
constexpr uint32_t kFlagForced = 0x55AA;
constexpr uint32_t kFlagHearingImpaired = 0x55AB;
constexpr uint32_t kFlagVisualImpaired = 0x55AC;
constexpr uint32_t kFlagTextDescriptions = 0x55AD;
constexpr uint32_t kFlagOriginal = 0x55AE;
constexpr uint32_t kFlagCommentary = 0x55AF;
constexpr uint32_t kLanguage = 0x22B59C;
constexpr uint32_t kName = 0x536E;
constexpr uint32_t kTitle = 0x7BA9;
constexpr uint32_t kTags = 0x1254C367;
constexpr uint32_t kTag = 0x7373;
constexpr uint32_t kTargets = 0x63C0;
constexpr uint32_t kTargetTypeValue = 0x68CA;
constexpr uint32_t kTargetType = 0x63CA;
constexpr uint32_t kTagTrackUid = 0x63C5;
constexpr uint32_t kTagEditionUid = 0x63C9;
constexpr uint32_t kTagChapterUid = 0x63C4;
constexpr uint32_t kTagAttachmentUid = 0x63C6;
constexpr uint32_t kSimpleTag = 0x67C8;
constexpr uint32_t kTagName = 0x45A3;
constexpr uint32_t kTagLanguage = 0x447A;
constexpr uint32_t kTagDefault = 0x4484;
constexpr uint32_t kTagString = 0x4487;
constexpr uint32_t kTagBinary = 0x4485;
constexpr uint32_t kEditionUid = 0x45BC;
constexpr uint32_t kChapterUid = 0x73C4;
constexpr uint32_t kFileUid = 0x46AE;

// Longer values than this (a whole book of lyrics) are read as their size.
constexpr long long kLongestText = 1 << 20;

template <typename Visit>
void eachChild(QFile& f, const Element& parent, Visit visit) {
    for (long long at = parent.payload; at < parent.end();) {
        Element e;
        if (!elementAt(f, at, e) || e.size < 0 || e.end() > parent.end()) return;
        visit(e);
        at = e.end();
    }
}

QString textAt(QFile& f, const Element& e) {
    if (e.size > kLongestText) return QStringLiteral("(%1 bytes)").arg(e.size);
    QByteArray b = readAt(f, e.payload, e.size);
    while (b.endsWith('\0')) b.chop(1);
    return QString::fromUtf8(b);
}

// The value of the first child `id` of `parent` (a uid); 0 when it has none.
uint64_t uidIn(QFile& f, const Element& parent, uint32_t id) {
    uint64_t uid = 0;
    eachChild(f, parent, [&](const Element& c) {
        if (c.id == id && uid == 0) uid = unsignedAt(f, c);
    });
    return uid;
}

char kindOf(int type) {
    switch (type) {
    case 1: return 'v';
    case 2: return 'a';
    case 17: return 's';
    default: return 'd';
    }
}

}  // namespace

void MatroskaMetadataReader::Read(QFile& f, const Element& e) {
    switch (e.id) {
    case kTracks:
        ReadTracks(f, e);
        break;
    case kInfo:
        eachChild(f, e, [&](const Element& c) {
            if (c.id != kTitle) return;
            hasTitle_ = true;
            title_ = textAt(f, c);
        });
        break;
    case kTags:
        eachChild(f, e, [&](const Element& c) {
            if (c.id == kTag) ReadTag(f, c);
        });
        break;
    case kChapters:
        eachChild(f, e, [&](const Element& edition) {
            if (edition.id != kEditionEntry) return;
            editions_.push_back(uidIn(f, edition, kEditionUid));
            ReadChapterIds(f, edition, 0);
        });
        break;
    case kAttachments:
        eachChild(f, e, [&](const Element& file) {
            if (file.id != kAttachedFile) return;
            QString name;
            uint64_t uid = 0;
            eachChild(f, file, [&](const Element& c) {
                if (c.id == kFileName) name = textAt(f, c);
                if (c.id == kFileUid) uid = unsignedAt(f, c);
            });
            attachments_[uid] = name;
        });
        break;
    default:
        break;
    }
}

void MatroskaMetadataReader::ReadTracks(QFile& f, const Element& list) {
    eachChild(f, list, [&](const Element& entry) {
        if (entry.id != kTrackEntry) return;
        MatroskaTrack t;
        eachChild(f, entry, [&](const Element& c) {
            const auto flag = [&] { return unsignedAt(f, c) != 0; };
            switch (c.id) {
            case kTrackType: t.type = static_cast<int>(unsignedAt(f, c)); break;
            case kTrackUid: t.uid = unsignedAt(f, c); break;
            case kFlagEnabled: t.enabled = flag(); break;
            case kFlagDefault: t.isDefault = flag(); break;
            case kFlagForced: t.forced = flag(); break;
            case kFlagHearingImpaired: t.hearingImpaired = flag(); break;
            case kFlagVisualImpaired: t.visualImpaired = flag(); break;
            case kFlagTextDescriptions: t.textDescriptions = flag(); break;
            case kFlagOriginal: t.original = flag() ? 1 : 0; break;
            case kFlagCommentary: t.commentary = flag(); break;
            case kLanguage: t.language = textAt(f, c); break;
            case kName: t.name = textAt(f, c); break;
            default: break;
            }
        });
        tracks_.push_back(t);
    });
}

void MatroskaMetadataReader::ReadTag(QFile& f, const Element& element) {
    Tag tag;
    eachChild(f, element, [&](const Element& c) {
        if (c.id == kTargets) {
            eachChild(f, c, [&](const Element& t) {
                switch (t.id) {
                case kTargetTypeValue: tag.level = unsignedAt(f, t); break;
                case kTargetType: tag.levelName = textAt(f, t); break;
                case kTagTrackUid: tag.tracks.push_back(unsignedAt(f, t)); break;
                case kTagEditionUid: tag.editions.push_back(unsignedAt(f, t)); break;
                case kTagChapterUid: tag.chapters.push_back(unsignedAt(f, t)); break;
                case kTagAttachmentUid: tag.attachments.push_back(unsignedAt(f, t)); break;
                default: break;
                }
            });
        }
        if (c.id == kSimpleTag) ReadSimple(f, c, QString(), tag, 0);
    });
    tags_.push_back(tag);
}

void MatroskaMetadataReader::ReadSimple(QFile& f, const Element& element, const QString& parent, Tag& into,
                                        int depth) {
    if (depth > 16) return;
    Simple s;
    s.language = QStringLiteral("und");
    std::vector<Element> nested;
    eachChild(f, element, [&](const Element& c) {
        switch (c.id) {
        case kTagName: s.path = textAt(f, c); break;
        case kTagLanguage: s.language = textAt(f, c); break;
        case kTagDefault: s.isDefault = unsignedAt(f, c) != 0; break;
        case kTagString: s.value = textAt(f, c); break;
        case kTagBinary:
            s.value = c.size > kLongestText ? QStringLiteral("(%1 bytes)").arg(c.size)
                                            : QString::fromLatin1(readAt(f, c.payload, c.size).toHex());
            break;
        case kSimpleTag: nested.push_back(c); break;
        default: break;
        }
    });
    // A nested tag's name holds its parents' apart by a character no name
    // has, so that it never reads as a tag whose name has a slash.
    if (!parent.isEmpty()) s.path = parent + QChar(0x1E) + s.path;
    into.simples.push_back(s);
    for (const Element& n : nested) ReadSimple(f, n, s.path, into, depth + 1);
}

void MatroskaMetadataReader::ReadChapterIds(QFile& f, const Element& parent, int depth) {
    if (depth > 16) return;
    eachChild(f, parent, [&](const Element& atom) {
        if (atom.id != kChapterAtom) return;
        chapters_.push_back(uidIn(f, atom, kChapterUid));
        ReadChapterIds(f, atom, depth + 1);
    });
}

void MatroskaMetadataReader::Into(MatroskaLayout& out) const {
    out.tracks = tracks_;
    std::map<char, int> seen;
    for (MatroskaTrack& t : out.tracks) {
        const char kind = kindOf(t.type);
        t.key = QString(QChar(kind)) + QString::number(seen[kind]++);
    }
    out.hasTitle = hasTitle_;
    out.title = title_;

    const auto place = [](const std::vector<uint64_t>& uids, uint64_t uid) {
        const auto it = std::find(uids.begin(), uids.end(), uid);
        return it == uids.end() ? QStringLiteral("?%1").arg(uid) : QString::number(it - uids.begin());
    };
    out.tags.clear();
    for (const Tag& tag : tags_) {
        // One text per target; an id of 0 aims at everything, as no id does.
        QStringList targets;
        for (const uint64_t uid : tag.tracks) {
            if (uid == 0) continue;
            QString key = QStringLiteral("?%1").arg(uid);
            for (const MatroskaTrack& t : out.tracks)
                if (t.uid == uid) key = t.key;
            targets << QStringLiteral("track ") + key;
        }
        for (const uint64_t uid : tag.editions)
            if (uid != 0) targets << QStringLiteral("edition ") + place(editions_, uid);
        for (const uint64_t uid : tag.chapters)
            if (uid != 0) targets << QStringLiteral("chapter ") + place(chapters_, uid);
        for (const uint64_t uid : tag.attachments) {
            if (uid == 0) continue;
            const auto it = attachments_.find(uid);
            targets << QStringLiteral("attachment ") + (it == attachments_.end() ? QStringLiteral("?%1").arg(uid)
                                                                                 : it->second);
        }
        if (targets.isEmpty())
            targets << (QStringLiteral("level %1 ").arg(tag.level) + tag.levelName.toUpper()).trimmed();
        for (const QString& target : targets)
            for (const Simple& s : tag.simples)
                out.tags << QStringList{target, s.path, s.language, s.isDefault ? "1" : "0", s.value}.join(QChar(0x1F));
    }
}

}  // namespace probe
