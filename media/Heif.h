#pragma once

#include <QByteArray>
#include <QString>

class QIODevice;

// What a HEIF file (HEIC, AVIF) holds that exiv2 0.27 misses: it finds the Exif item only
// where every item's location has the same layout without a base offset, which libheif
// doesn't write, and it gives the size of the first tile rather than of the picture.
struct HeifFacts {
    QByteArray tiff; // the Exif item from its TIFF header on; empty where there is none
    int width = 0;   // of the primary picture (a grid, not its tiles)
    int height = 0;
};

// Whether the file is a HEIF one by its first box, whatever its name.
bool IsHeif(QIODevice& file);

// Reads the file's metadata boxes only, each checked against what holds it.
HeifFacts ReadHeif(QIODevice& file);

// The header of the box that begins at `at` in an ISO media file (HEIF, MP4, MOV): its type,
// size and header length, checked against room, the bytes left in what holds it.
bool ReadBoxHeader(QIODevice& file, qint64 at, qint64 room, QByteArray& type, qint64& size,
                   qint64& header);
