#pragma once

#include "FileMetadata.h"

#include <QByteArrayView>
#include <QString>

#include <optional>

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
} // namespace metadata_testing
