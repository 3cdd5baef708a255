#pragma once

#include "files/DateTime.h"

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

// A date as EXIF and XMP write it ("2021:07:14 09:30:00", "2021-07-14T09:30:00+02:00"),
// as the wall-clock time written; the zone, where given, is left out.
std::optional<basTavlo::DateTime> ParseMetadataDate(const QString& text);

// "Canon" and "Canon EOS 5D" make "Canon EOS 5D"; "FUJIFILM" and "X-T3", "FUJIFILM X-T3".
QString CameraName(QString make, QString model);
