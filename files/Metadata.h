#pragma once

#include "files/DateTime.h"

#include <QString>

#include <optional>

// What a file's content says of it, as far as the tags in names need it: a photo's date
// taken, camera, lens and size.
struct FileMetadata {
    std::optional<basTavlo::DateTime> taken; // local wall-clock time, as the camera wrote it
    int takenMs = 0;                         // the subseconds of it, where written
    QString camera;                          // make and model, the make not twice
    QString lens;
    int width = 0;
    int height = 0;
};

// Makes the readers ready; once, before any thread reads.
void PrepareMetadataReading();

// Reads the metadata of the file at path, and nothing of its picture. A file that is no
// picture, or one that can't be read, gives an empty record.
FileMetadata ReadMetadata(const QString& path);

// A date as EXIF and XMP write it ("2021:07:14 09:30:00", "2021-07-14T09:30:00+02:00"),
// as the wall-clock time written; the zone, where given, is left out.
std::optional<basTavlo::DateTime> ParseMetadataDate(const QString& text);

// "Canon" and "Canon EOS 5D" make "Canon EOS 5D"; "FUJIFILM" and "X-T3", "FUJIFILM X-T3".
QString CameraName(QString make, QString model);
