#pragma once

#include <QtGlobal>

#include <optional>

class QIODevice;

// The creation time of a QuickTime movie (MP4, MOV, M4V, 3GP) from its movie header, UTC
// seconds since 1970; nothing where the header can't be found within the file.
std::optional<qint64> MovieCreated(QIODevice& file);
