#pragma once
// MP4 boxes as phones, cameras and taggers write them, put into a file the
// encoder wrote; and a file's metadata boxes read back by a walker of the
// tests' own.
#include <QByteArray>
#include <QByteArrayList>
#include <QString>

#include <utility>
#include <vector>

namespace media {

QByteArray Box(const QByteArray& type, const QByteArray& payload);
// A QuickTime user data text (©mak, ©xyz): its length, a language, the text.
QByteArray QtText(const QByteArray& type, const QByteArray& text);
// An iTunes freeform item (----) of the com.apple.iTunes kind.
QByteArray Freeform(const QByteArray& name, const QByteArray& value);
// moov/meta with QuickTime keys and their text items.
QByteArray QuickTimeKeys(const std::vector<std::pair<QByteArray, QByteArray>>& keysAndValues);

struct MovieExtras {
    QByteArray udta;   // boxes put at the end of moov/udta
    QByteArray items;  // items put at the end of udta/meta/ilst (which must be there)
    QByteArray meta;   // a moov/meta box
    QByteArrayList trackNames;  // a udta with a name for each track, in order
};
// Puts extras into an MP4 the encoder wrote. Its movie box must come last, or
// first with the free box of -moov_size after it to take what it grows by.
bool AddMovieBoxes(const QString& path, const MovieExtras& extras);

// What the file keeps about itself besides its media: each child of
// moov/udta, the items of udta/meta/ilst but the cover (instead of the meta
// box), moov/meta, and for each track its udta and whether it refers to
// chapters; each whole, with the place it was found at.
QByteArrayList MovieMetadata(const QString& path);

}  // namespace media
