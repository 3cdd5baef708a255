#include "JpegExif.h"

#include <QtEndian>

#include <algorithm>
#include <array>

namespace {

// A TIFF block in either byte order; every read is checked against its end.
class Tiff {
public:
    explicit Tiff(QByteArrayView d) : m_d(d) {}
    bool valid() const {
        return m_d.size() >= 8 && (m_d.startsWith("II*\0") || m_d.startsWith("MM\0*"));
    }
    bool has(qint64 at, qint64 n) const { return at >= 0 && n >= 0 && m_d.size() - at >= n; }
    quint32 u16(qint64 at) const {
        const auto* p = reinterpret_cast<const uchar*>(m_d.data() + at);
        return little() ? qFromLittleEndian<quint16>(p) : qFromBigEndian<quint16>(p);
    }
    quint32 u32(qint64 at) const {
        const auto* p = reinterpret_cast<const uchar*>(m_d.data() + at);
        return little() ? qFromLittleEndian<quint32>(p) : qFromBigEndian<quint32>(p);
    }
    QByteArrayView bytes(qint64 at, qint64 n) const { return m_d.sliced(at, n); }

private:
    bool little() const { return m_d[0] == 'I'; }
    QByteArrayView m_d;
};

// The ASCII entries of one IFD that are wanted, each up to its first zero. Each is made a
// text only where it is used: most of a photo's preview goes on the rest.
struct Entries {
    struct Entry {
        quint16 tag;
        QByteArrayView bytes;
    };
    std::array<Entry, 5> found;
    size_t count = 0;

    const Entry* find(quint16 tag) const {
        for (size_t k = 0; k < count; ++k)
            if (found[k].tag == tag)
                return &found[k];
        return nullptr;
    }
    // As exiv2 gives it: trimmed.
    QString text(quint16 tag) const {
        const Entry* e = find(tag);
        return e ? QString::fromUtf8(e->bytes).trimmed() : QString();
    }
};

// The ASCII entries of one IFD among wanted (five at most), and the value of a LONG entry
// named by pointer. False where the IFD runs past the block, or a wanted entry is not ASCII
// or comes twice.
bool readIfd(const Tiff& t, qint64 at, std::initializer_list<quint16> wanted, Entries& out,
             quint16 pointer = 0, qint64* pointed = nullptr) {
    if (!t.has(at, 2))
        return false;
    const qint64 n = t.u16(at);
    if (!t.has(at + 2, 12 * n))
        return false;
    for (qint64 k = 0; k < n; ++k) {
        const qint64 e = at + 2 + 12 * k;
        const quint16 tag = quint16(t.u16(e));
        const quint32 type = t.u16(e + 2), count = t.u32(e + 4);
        if (pointer && tag == pointer) {
            if ((type != 4 && type != 13) || count != 1 || *pointed >= 0)
                return false;
            *pointed = t.u32(e + 8);
            continue;
        }
        if (std::find(wanted.begin(), wanted.end(), tag) == wanted.end())
            continue;
        // A value out of line lies past the header; exiv2 drops one said to lie in it.
        const qint64 from = count <= 4 ? e + 8 : qint64(t.u32(e + 8));
        if (type != 2 || (count > 4 && from < 8) || !t.has(from, count))
            return false;
        if (out.find(tag))
            return false;
        const QByteArrayView v = t.bytes(from, count);
        const qsizetype end = v.indexOf('\0');
        out.found[out.count++] = {tag, end < 0 ? v : v.first(end)};
    }
    return true;
}

} // namespace

std::optional<FileMetadata> ReadJpegHead(QByteArrayView d) {
    // The segments in front of the picture: the first EXIF block, and the frame header (the
    // markers exiv2 reads the size from). Both come before the scan.
    if (!d.startsWith("\xff\xd8"))
        return std::nullopt;
    QByteArrayView exif;
    bool exifSeen = false; // the first block counts, even an empty one
    int width = -1, height = -1;
    qint64 at = 2;
    for (;;) {
        if (d.size() - at < 4 || uchar(d[at]) != 0xff)
            return std::nullopt;
        const uchar marker = uchar(d[at + 1]);
        if (marker == 0xda || marker == 0xd9)
            break;
        if ((marker >= 0xd0 && marker <= 0xd8) || marker == 0x01 || marker == 0xff)
            return std::nullopt; // no segment of its own here: exiv2 knows what to skip
        const qint64 length = qFromBigEndian<quint16>(d.data() + at + 2);
        if (length < 2 || d.size() - at - 2 < length)
            return std::nullopt;
        const QByteArrayView body = d.sliced(at + 4, length - 2);
        if (marker == 0xe1 && !exifSeen && body.startsWith(QByteArrayView("Exif\0\0", 6)))
            exif = body.sliced(6), exifSeen = true;
        const bool frame = (marker >= 0xc0 && marker <= 0xc3) || (marker >= 0xc5 && marker <= 0xcf);
        if (frame && height <= 0) { // the first one with a height counts, as in exiv2
            if (body.size() < 6)
                return std::nullopt;
            height = qFromBigEndian<quint16>(body.data() + 1);
            width = qFromBigEndian<quint16>(body.data() + 3);
        }
        at += 2 + length;
    }
    const Tiff t(exif);
    if (width < 0 || !t.valid() || t.u16(2) != 42)
        return std::nullopt;
    enum : quint16 {
        Make = 0x010f,
        Model = 0x0110,
        ExifIfd = 0x8769,
        Original = 0x9003,
        Digitized = 0x9004,
        SubSecOriginal = 0x9291,
        SubSecDigitized = 0x9292,
        Lens = 0xa434
    };
    Entries image, photo;
    qint64 exifIfd = -1;
    if (!readIfd(t, t.u32(4), {Make, Model}, image, ExifIfd, &exifIfd) || exifIfd < 0 ||
        !readIfd(t, exifIfd, {Original, Digitized, SubSecOriginal, SubSecDigitized, Lens}, photo))
        return std::nullopt;
    FileMetadata m;
    for (const auto& [date, subseconds] :
         {std::pair(Original, SubSecOriginal), std::pair(Digitized, SubSecDigitized)}) {
        m.taken = ParseMetadataDate(photo.text(date));
        if (m.taken) {
            const QString sub = photo.text(subseconds).left(3);
            m.takenMs = sub.isEmpty() ? 0 : sub.leftJustified(3, u'0').toInt();
            break;
        }
    }
    if (!m.taken)
        return std::nullopt; // XMP may have it
    m.camera = CameraName(image.text(Make), image.text(Model));
    m.lens = photo.text(Lens);
    m.width = width;
    m.height = height;
    return m;
}
