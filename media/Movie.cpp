#include "Movie.h"
#include "Heif.h"

#include <QIODevice>
#include <QtEndian>

// The creation time of a QuickTime movie (MP4, MOV, M4V, 3GP): the movie header "mvhd"
// inside "moov" counts seconds since 1904 in UTC. Boxes are walked by their sizes, each
// checked against what holds it, so a file that lies about them ends the walk.
std::optional<qint64> MovieCreated(QIODevice& file) {
    qint64 at = 0, end = file.size(), size = 0, header = 0;
    QByteArray type;
    for (int boxes = 0; boxes < 1000 && ReadBoxHeader(file, at, end - at, type, size, header);
         ++boxes) {
        const qint64 body = at + header;
        if (type == "moov") {
            end = at + size; // look inside it from here on
            at = body;
            continue;
        }
        if (type == "mvhd" && end - body >= 20) {
            file.seek(body);
            const QByteArray h = file.read(20);
            if (h.size() < 20)
                return std::nullopt;
            const qint64 since1904 = h[0] == 1 ? qint64(qFromBigEndian<quint64>(h.constData() + 4))
                                               : qFromBigEndian<quint32>(h.constData() + 4);
            // Damaged or made-up headers hold any number: only 1904 to 2100 is a date.
            constexpr qint64 k1904To1970 = 2082844800, k1970To2101 = 4133980800;
            if (since1904 <= 0 || since1904 >= k1904To1970 + k1970To2101)
                return std::nullopt;
            return since1904 - k1904To1970;
        }
        at += size;
    }
    return std::nullopt;
}
