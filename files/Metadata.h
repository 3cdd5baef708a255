#pragma once

#include "files/DateTime.h"

#include <QByteArrayView>
#include <QString>

#include <optional>

// What a file's content says of it, as far as the tags in names need it: a photo's date
// taken, camera, lens and size; a song's tags.
struct FileMetadata {
    std::optional<basTavlo::DateTime> taken; // local wall-clock time, as the camera wrote it
    int takenMs = 0;                         // the subseconds of it, where written
    QString camera;                          // make and model, the make not twice
    QString lens;
    int width = 0;
    int height = 0;
    QString artist, albumArtist, album, title, genre;
    int track = 0; // "3/12" is 3
    int disc = 0;
    int year = 0;
    // The file could not be read within the bounds of time and bytes that the readers keep,
    // or is no ordinary file: a name made without what it holds would be a wrong one.
    bool unreadable = false;
};

// Which readers a preview needs: a file is read only for the tags that ask.
enum MetadataKind : unsigned { PhotoMetadata = 1, MusicMetadata = 2 };

// Makes the readers ready; once, before any thread reads.
void PrepareMetadataReading();

// How much of a photo's beginning the readers take first.
constexpr qint64 kMetadataHead = 64 * 1024;
// Whether reading a file of this name for kinds starts from its first kMetadataHead bytes.
bool ReadsHead(const QString& path, unsigned kinds);
// Room for those bytes, kept for the next file once given back: 64 KB taken from the heap and
// given back for every file costs as much as the parsing.
class MetadataHeadRoom {
public:
    MetadataHeadRoom();
    ~MetadataHeadRoom();
    MetadataHeadRoom(const MetadataHeadRoom&) = delete;
    MetadataHeadRoom& operator=(const MetadataHeadRoom&) = delete;
    char* data() const { return m_room; }

private:
    char* m_room;
};

// Reads the metadata of the file at path, and nothing of its picture or sound: a photo's
// with exiv2, a song's with TagLib, as kinds asks. A file that is neither, or one that
// can't be read, gives an empty record. head, where given, holds the file's first bytes,
// read already: kMetadataHead of them, or all of a smaller file.
FileMetadata ReadMetadata(const QString& path, unsigned kinds = PhotoMetadata,
                          const QByteArrayView* head = nullptr);

class QIODevice;

namespace metadata_testing {
// A photo's values as exiv2 alone reads the whole file.
FileMetadata ReadWithExiv2(const QString& path);
// A movie's creation time from its header, UTC seconds since 1970.
std::optional<qint64> MovieCreated(QIODevice& file);
} // namespace metadata_testing

// A date as EXIF and XMP write it ("2021:07:14 09:30:00", "2021-07-14T09:30:00+02:00"),
// as the wall-clock time written; the zone, where given, is left out.
std::optional<basTavlo::DateTime> ParseMetadataDate(const QString& text);

// "Canon" and "Canon EOS 5D" make "Canon EOS 5D"; "FUJIFILM" and "X-T3", "FUJIFILM X-T3".
QString CameraName(QString make, QString model);
