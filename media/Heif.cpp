#include "Heif.h"
#include "files/basTavlo.h"

#include <QByteArrayView>
#include <QIODevice>
#include <QtEndian>

#include <algorithm>
#include <vector>

namespace {

constexpr qint64 kMetaLimit = 4 << 20; // a photo's item boxes are a few KB
constexpr qint64 kExifLimit = 1 << 20;

// Big-endian fields read in order; a read past the end leaves the cursor bad.
struct Cursor {
    QByteArrayView d;
    qint64 at;
    qint64 end;
    bool ok = true;
    quint64 take(int bytes) {
        quint64 v = 0;
        if (bytes < 0 || bytes > 8 || end - at < bytes) {
            ok = false;
            return 0;
        }
        for (int i = 0; i < bytes; ++i)
            v = v << 8 | quint8(d[at++]);
        return v;
    }
};

// The box that begins with head: its type, size and header length, checked against room,
// the bytes left in what holds it.
bool boxHeader(QByteArrayView head, qint64 room, QByteArrayView& type, qint64& size,
               qint64& header) {
    if (head.size() < 8 || room < 8)
        return false;
    size = qFromBigEndian<quint32>(head.data());
    header = 8;
    if (size == 1) {
        if (head.size() < 16)
            return false;
        size = qint64(qFromBigEndian<quint64>(head.data() + 8));
        header = 16;
    } else if (size == 0) {
        size = room;
    }
    type = head.sliced(4, 4);
    return size >= header && size <= room;
}

// Calls f(type, body, end) for each box in d from begin to end.
template <typename F> void eachBox(QByteArrayView d, qint64 begin, qint64 end, F f) {
    QByteArrayView type;
    qint64 size = 0, header = 0;
    for (int n = 0; n < 10000 && end - begin >= 8 &&
                    boxHeader(d.sliced(begin, std::min<qint64>(16, end - begin)), end - begin, type,
                              size, header);
         ++n, begin += size)
        f(type, begin + header, begin + size);
}

struct Location {
    quint64 id = 0;
    quint64 method = 0; // 0: at an offset in the file
    quint64 at = 0;
    quint64 length = 0;
};

// The item locations, with their first extent; their fields' widths are the box's own.
std::vector<Location> locations(QByteArrayView m, qint64 body, qint64 end) {
    std::vector<Location> out;
    Cursor c{m, body, end};
    const int version = int(c.take(1));
    c.take(3);
    const quint64 sizes = c.take(2);
    const int offsetSize = int(sizes >> 12 & 15), lengthSize = int(sizes >> 8 & 15),
              baseSize = int(sizes >> 4 & 15);
    const bool v12 = version == 1 || version == 2;
    const int indexSize = v12 ? int(sizes & 15) : 0;
    const quint64 count = c.take(version < 2 ? 2 : 4);
    for (quint64 i = 0; i < count && c.ok; ++i) {
        Location l;
        l.id = c.take(version < 2 ? 2 : 4);
        l.method = v12 ? c.take(2) & 15 : 0;
        c.take(2); // the data reference
        const quint64 base = c.take(baseSize), extents = c.take(2);
        for (quint64 k = 0; k < extents && c.ok; ++k) {
            c.take(indexSize);
            const quint64 offset = c.take(offsetSize), length = c.take(lengthSize);
            if (k == 0)
                l.at = base + offset, l.length = length;
        }
        if (c.ok)
            out.push_back(l);
    }
    return out;
}

} // namespace

bool IsHeif(QIODevice& file) {
    if (!file.seek(0))
        return false;
    const QByteArray head = file.read(12);
    static const char* const brands[] = {"heic", "heix", "heim", "heis", "hevc",
                                         "hevx", "mif1", "msf1", "avif"};
    return head.size() == 12 && head.mid(4, 4) == "ftyp" &&
           std::any_of(std::begin(brands), std::end(brands),
                       [&](const char* b) { return head.mid(8, 4) == b; });
}

bool ReadBoxHeader(QIODevice& file, qint64 at, qint64 room, QByteArray& type, qint64& size,
                   qint64& header) {
    if (!file.seek(at))
        return false;
    const QByteArray head = file.read(16);
    QByteArrayView t;
    if (!boxHeader(head, room, t, size, header))
        return false;
    type = t.toByteArray();
    return true;
}

HeifFacts ReadHeif(QIODevice& file) {
    HeifFacts facts;
    if (!file.isReadable())
        return facts;
    // The top-level "meta" box holds the items' names, places and properties.
    QByteArray m, type;
    qint64 at = 0, size = 0, header = 0;
    for (int n = 0; n < 100; ++n, at += size) {
        if (!ReadBoxHeader(file, at, file.size() - at, type, size, header))
            return facts;
        if (type == "meta") {
            if (size > kMetaLimit || !file.seek(at))
                return facts;
            m = file.read(size);
            break;
        }
    }
    if (m.isEmpty() || m.size() != size || size < header + 4)
        return facts;
    quint64 exifId = 0, primary = 0;
    bool hasExif = false;
    std::vector<Location> places;
    std::vector<std::pair<quint64, quint64>> sizes;      // each property's, where it is one
    std::vector<std::pair<quint64, quint64>> associated; // item, property
    eachBox(m, header + 4, m.size(), [&](QByteArrayView t, qint64 body, qint64 end) {
        if (t == "iinf") {
            Cursor c{m, body, end};
            const int version = int(c.take(1));
            c.take(3 + (version == 0 ? 2 : 4)); // the count, which the boxes say again
            eachBox(m, c.at, end, [&](QByteArrayView, qint64 b, qint64 e) {
                Cursor i{m, b, e};
                const int v = int(i.take(1));
                i.take(3);
                if (v < 2)
                    return;
                const quint64 id = i.take(v == 2 ? 2 : 4);
                i.take(2);                                   // protection
                if (i.ok && i.take(4) == 0x45786966 && i.ok) // "Exif"
                    exifId = id, hasExif = true;
            });
        } else if (t == "iloc") {
            places = locations(m, body, end);
        } else if (t == "pitm") {
            Cursor c{m, body, end};
            primary = c.take(c.take(4) >> 24 == 0 ? 2 : 4);
        } else if (t == "iprp") {
            eachBox(m, body, end, [&](QByteArrayView kind, qint64 b, qint64 e) {
                if (kind == "ipco") {
                    eachBox(m, b, e, [&](QByteArrayView p, qint64 pb, qint64 pe) {
                        Cursor c{m, pb, pe};
                        c.take(4);
                        const quint64 w = c.take(4), h = c.take(4);
                        sizes.emplace_back(p == "ispe" && c.ok ? w : 0, h);
                    });
                } else if (kind == "ipma") {
                    Cursor c{m, b, e};
                    const quint64 head = c.take(4);
                    const bool wide = head & 1;
                    for (quint64 n = c.take(4); n > 0 && c.ok; --n) {
                        const quint64 id = c.take(head >> 24 == 0 ? 2 : 4);
                        for (quint64 k = c.take(1); k > 0 && c.ok; --k) {
                            const quint64 index = c.take(wide ? 2 : 1) & (wide ? 0x7fff : 0x7f);
                            if (c.ok && index > 0)
                                associated.push_back({id, index - 1});
                        }
                    }
                }
            });
        }
    });
    // The picture's size is the primary item's: a grid's, not a tile's.
    for (const auto& [id, index] : associated)
        if (id == primary && index < sizes.size() && sizes[index].first > 0 &&
            sizes[index].first < (1u << 24) && sizes[index].second < (1u << 24))
            facts.width = int(sizes[index].first), facts.height = int(sizes[index].second);
    for (const Location& l : places)
        if (hasExif && l.id == exifId && l.method == 0 && l.length >= 4 &&
            l.length <= quint64(kExifLimit) && l.at < quint64(file.size()) &&
            file.seek(qint64(l.at))) {
            // The item begins with the offset of its TIFF header past that field.
            const QByteArray item = file.read(qint64(l.length));
            const quint32 skip = item.size() >= 4 ? qFromBigEndian<quint32>(item.constData()) : 0;
            if (item.size() >= 4 && skip < quint32(item.size() - 4))
                facts.tiff = item.mid(4 + qsizetype(skip));
        }
    return facts;
}
