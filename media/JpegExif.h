#pragma once

#include "FileMetadata.h"

#include <QByteArrayView>

#include <optional>

// The values a photo's tags use, read straight from a JPEG's first bytes: the picture's size
// from its frame header and the few EXIF entries the tags name, where exiv2 decodes every
// entry of the block, most of a preview's time. Gives nothing where the head holds anything
// this reader does not follow (no date in the EXIF block, a broken one, an entry of an odd
// type): exiv2 then reads the file.
std::optional<FileMetadata> ReadJpegHead(QByteArrayView head);
