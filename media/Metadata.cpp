#include "Metadata.h"
#include "Heif.h"
#include "JpegExif.h"
#include "Movie.h"

#include "files/BoundedFile.h"
#include "files/basTavlo.h"

#include <QByteArrayView>
#include <QDate>
#include <QFile>
#include <QtEndian>

#include <aifffile.h>
#include <fileref.h>
#include <flacfile.h>
#include <id3v2framefactory.h>
#include <mp4file.h>
#include <mpegfile.h>
#include <oggflacfile.h>
#include <opusfile.h>
#include <tag.h>
#include <tiostream.h>
#include <tpropertymap.h>
#include <vorbisfile.h>
#include <wavfile.h>

#include <memory>
#include <mutex>
#include <vector>

// exiv2 0.27 hands its images out in std::auto_ptr.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
#include <exiv2/exiv2.hpp>
#include <exiv2/webpimage.hpp>

namespace {

QString valueOf(const Exiv2::ExifData& exif, const char* key) {
    const auto it = exif.findKey(Exiv2::ExifKey(key));
    return it == exif.end() ? QString() : QString::fromStdString(it->toString()).trimmed();
}

QString valueOf(const Exiv2::XmpData& xmp, const char* key) {
    const auto it = xmp.findKey(Exiv2::XmpKey(key));
    return it == xmp.end() ? QString() : QString::fromStdString(it->toString()).trimmed();
}

// exiv2 reads through this, so that its readers stay within the file's bounds: a read past
// them ends the reading as an error, and what it maps whole is the file's first bytes.
class BoundedIo : public Exiv2::BasicIo {
public:
    explicit BoundedIo(BoundedFile& file) : m_file(file), m_path(file.path().toStdString()) {}

    int open() override { return m_file.seek(0) ? 0 : 1; }
    int close() override { return 0; }
    long write(const Exiv2::byte*, long) override { return 0; }
    long write(Exiv2::BasicIo&) override { return 0; }
    int putb(Exiv2::byte) override { return EOF; }
    Exiv2::DataBuf read(long count) override {
        // No room for more than there is: the buffer is cleared before it is read into.
        count = long(std::clamp<qint64>(count, 0, m_file.size() - m_file.pos()));
        Exiv2::DataBuf buf(count);
        const long n = read(buf.pData_, count);
        if (n < count)
            buf.size_ = std::max(0L, n);
        return buf;
    }
    long read(Exiv2::byte* buf, long count) override {
        const qint64 n = m_file.read(reinterpret_cast<char*>(buf), count);
        m_eof = n < count;
        if (n < 0) {
            m_error = true;
            throw Exiv2::Error(Exiv2::kerFailedToReadImageData);
        }
        return long(n);
    }
    // Marker searches take a byte at a time: from a block read once.
    int getb() override {
        const qint64 at = m_file.pos();
        if (at < m_blockAt || at >= m_blockAt + m_block.size()) {
            m_block.resize(4096);
            const qint64 n = m_file.read(m_block.data(), m_block.size());
            if (n <= 0) {
                m_eof = true;
                m_error = n < 0;
                return EOF;
            }
            m_block.resize(n);
            m_blockAt = at;
        }
        m_file.seek(at + 1);
        return Exiv2::byte(m_block[at - m_blockAt]);
    }
    void transfer(Exiv2::BasicIo&) override { throw Exiv2::Error(Exiv2::kerFunctionNotSupported); }
#if defined(_MSC_VER)
    int seek(int64_t offset, Position pos) override {
#else
    int seek(long offset, Position pos) override {
#endif
        const qint64 base = pos == beg ? 0 : pos == cur ? m_file.pos() : m_file.size();
        const qint64 to = base + qint64(offset);
        m_eof = false;
        return to >= 0 && to <= m_file.size() && m_file.seek(to) ? 0 : 1;
    }
    Exiv2::byte* mmap(bool writeable) override {
        const char* map = writeable ? nullptr : m_file.map();
        if (!map)
            throw Exiv2::Error(Exiv2::kerFailedToMapFileForReadWrite);
        return reinterpret_cast<Exiv2::byte*>(const_cast<char*>(map));
    }
    int munmap() override {
        return 0;
    } // the file's own end unmaps it
    long tell() const override {
        return long(m_file.pos());
    }
    size_t size() const override {
        return size_t(m_file.size());
    }
    bool isopen() const override {
        return m_file.isOpen();
    }
    int error() const override {
        return m_error ? 1 : 0;
    }
    bool eof() const override {
        return m_eof || m_file.pos() >= m_file.size();
    }
    std::string path() const override {
        return m_path;
    }
#ifdef EXV_UNICODE_PATH
    std::wstring wpath() const override {
        return m_file.path().toStdWString();
    }
#endif

private:
    BoundedFile& m_file;
    std::string m_path;
    QByteArray m_block;
    qint64 m_blockAt = 0;
    bool m_eof = false;
    bool m_error = false;
};

// The photo formats exiv2 is asked for; its movie readers (ASF, QuickTime, RIFF, Matroska)
// walk damaged files without end, and movies are read by ZOV's own header reader.
bool isPhotoType(int type) {
    namespace T = Exiv2::ImageType;
    for (const int photo :
         {T::jpeg, T::exv, T::crw, T::tiff, T::mrw, T::png, T::cr2, T::raf, T::orf,  T::xmp,
          T::gif,  T::psd, T::tga, T::bmp,  T::jp2, T::rw2, T::pgf, T::eps, T::webp,
#ifdef EXV_ENABLE_BMFF
          T::bmff
#endif
         })
        if (type == photo)
            return true;
    return false;
}

} // namespace

void PrepareMetadataReading() {
    static std::once_flag once;
    std::call_once(once, [] {
        Exiv2::LogMsg::setLevel(Exiv2::LogMsg::mute);
        Exiv2::XmpParser::initialize();
        Exiv2::enableBMFF(true);
    });
}

namespace {

QString text(const TagLib::String& s) {
    return QString::fromStdWString(s.toWString()).trimmed();
}

// "3/12" and "3" are 3.
int leadingNumber(const TagLib::PropertyMap& p, const char* key) {
    const auto it = p.find(key);
    return it == p.end() || it->second.isEmpty()
               ? 0
               : text(it->second.front()).section(u'/', 0, 0).toInt();
}

// TagLib reads through this, within the file's bounds; a refused read reads as the end.
class BoundedStream : public TagLib::IOStream {
public:
    explicit BoundedStream(BoundedFile& file)
        : m_file(file),
#ifdef Q_OS_WIN
          m_name(file.path().toStdWString())
#else
          m_name(QFile::encodeName(file.path()).toStdString())
#endif
    {
    }
    TagLib::FileName name() const override {
        return m_name.c_str();
    }
    TagLib::ByteVector readBlock(unsigned long length) override {
        const qint64 n = std::min<qint64>(qint64(length), m_file.size() - m_file.pos());
        if (n <= 0)
            return {};
        TagLib::ByteVector v(static_cast<unsigned int>(n));
        const qint64 got = m_file.read(v.data(), n);
        v.resize(static_cast<unsigned int>(std::max<qint64>(got, 0)));
        return v;
    }
    void writeBlock(const TagLib::ByteVector&) override {}
    void insert(const TagLib::ByteVector&, unsigned long, unsigned long) override {}
    void removeBlock(unsigned long, unsigned long) override {}
    bool readOnly() const override {
        return true;
    }
    bool isOpen() const override {
        return m_file.isOpen();
    }
    void seek(long offset, Position p) override {
        const qint64 base = p == Beginning ? 0 : p == Current ? m_file.pos() : m_file.size();
        m_file.seek(std::clamp<qint64>(base + offset, 0, m_file.size()));
    }
    long tell() const override {
        return long(m_file.pos());
    }
    long length() override {
        return long(m_file.size());
    }
    void truncate(long) override {}

private:
    BoundedFile& m_file;
#ifdef Q_OS_WIN
    std::wstring m_name;
#else
    std::string m_name;
#endif
};

// The reader the file's first bytes ask for, where they name a kind of song; an ID3 tag in
// front says nothing of what follows it. Null where they don't: the name decides then.
TagLib::File* byContent(BoundedFile& file, TagLib::IOStream* stream) {
    QByteArray head = file.read(64);
    qint64 at = 0;
    if (head.startsWith("ID3") && head.size() >= 10) {
        const auto b = [&](int i) { return qint64(uchar(head[i]) & 0x7f); };
        at = 10 + (b(6) << 21 | b(7) << 14 | b(8) << 7 | b(9)) + (head[5] & 0x10 ? 10 : 0);
        file.seek(at);
        head = file.read(64);
    }
    file.seek(0);
    auto* frames = TagLib::ID3v2::FrameFactory::instance();
    const auto tail = [&](int from, int n) { return head.mid(from, n); };
    TagLib::File* f = nullptr;
    if (head.startsWith("fLaC"))
        f = new TagLib::FLAC::File(stream, frames, false);
    else if (head.size() >= 2 && uchar(head[0]) == 0xff && (uchar(head[1]) & 0xe0) == 0xe0)
        f = new TagLib::MPEG::File(stream, frames, false);
    else if (at > 0) // an ID3 tag, then no FLAC: MP3 is what carries one
        f = new TagLib::MPEG::File(stream, frames, false);
    else if (tail(4, 4) == "ftyp")
        f = new TagLib::MP4::File(stream, false);
    else if (head.startsWith("OggS") && head.contains("OpusHead"))
        f = new TagLib::Ogg::Opus::File(stream, false);
    else if (head.startsWith("OggS") && head.contains("\x01vorbis"))
        f = new TagLib::Ogg::Vorbis::File(stream, false);
    else if (head.startsWith("OggS") && head.contains("\x7f"
                                                      "FLAC"))
        f = new TagLib::Ogg::FLAC::File(stream, false);
    else if (head.startsWith("RIFF") && tail(8, 4) == "WAVE")
        f = new TagLib::RIFF::WAV::File(stream, false);
    else if (head.startsWith("FORM") && (tail(8, 4) == "AIFF" || tail(8, 4) == "AIFC"))
        f = new TagLib::RIFF::AIFF::File(stream, false);
    return f;
}

// A song's year, as its tags write a date: "2004", "2004-05-01"; 0 where none is written.
int yearOf(const TagLib::PropertyMap& p) {
    for (const char* key : {"DATE", "YEAR"}) {
        const auto it = p.find(key);
        if (it == p.end() || it->second.isEmpty())
            continue;
        const QString v = text(it->second.front()).trimmed();
        qsizetype digits = 0;
        while (digits < v.size() && v[digits].isDigit())
            ++digits;
        if (digits > 0)
            return v.left(digits).toInt();
    }
    return 0;
}

void readMusic(const QString& path, FileMetadata& m) {
    BoundedFile file(path);
    if (!file.isOpen()) {
        m.unreadable = true;
        return;
    }
    BoundedStream stream(file);
    // A song named for another kind is read for what it is.
    TagLib::File* own = byContent(file, &stream);
    TagLib::FileRef f = own ? TagLib::FileRef(own) : TagLib::FileRef(&stream, false);
    m.unreadable |= file.refused();
    if (f.isNull() || !f.tag())
        return;
    const TagLib::Tag* t = f.tag();
    m.artist = text(t->artist());
    m.album = text(t->album());
    m.title = text(t->title());
    m.genre = text(t->genre());
    const TagLib::PropertyMap p = f.file()->properties();
    // Through the properties, as TagLib's year() skips an ID3v2.4 tag's TYER frame and
    // falls back on the ID3v1 year.
    m.year = yearOf(p);
    m.track = leadingNumber(p, "TRACKNUMBER");
    m.disc = leadingNumber(p, "DISCNUMBER");
    const auto albumArtist = p.find("ALBUMARTIST");
    if (albumArtist != p.end() && !albumArtist->second.isEmpty())
        m.albumArtist = text(albumArtist->second.front());
}

bool isMovie(const QString& path) {
    return basTavlo::HasExtension(path, {"mp4", "mov", "m4v", "3gp"});
}

} // namespace

static FileMetadata readPhoto(const QString& path, const QByteArrayView* head, FileMetadata m);

bool ReadsHead(const QString& path, unsigned kinds) {
    return (kinds & PhotoMetadata) && !isMovie(path);
}

namespace {

// Not one for each thread: a thread's own objects are not all put away safely at its end on
// every platform, and the reading runs on threads made for it.
struct HeadRooms {
    std::mutex lock;
    std::vector<std::unique_ptr<char[]>> free;
};

HeadRooms& headRooms() {
    static HeadRooms rooms;
    return rooms;
}

} // namespace

MetadataHeadRoom::MetadataHeadRoom() {
    HeadRooms& rooms = headRooms();
    const std::lock_guard<std::mutex> hold(rooms.lock);
    if (rooms.free.empty()) {
        m_room = new char[size_t(kMetadataHead)];
    } else {
        m_room = rooms.free.back().release();
        rooms.free.pop_back();
    }
}

MetadataHeadRoom::~MetadataHeadRoom() {
    HeadRooms& rooms = headRooms();
    const std::lock_guard<std::mutex> hold(rooms.lock);
    rooms.free.emplace_back(m_room);
}

FileMetadata ReadMetadata(const QString& path, unsigned kinds, const QByteArrayView* given) {
    FileMetadata m;
    const bool movie = isMovie(path);
    if ((kinds & PhotoMetadata) && movie) {
        BoundedFile file(path, BoundedFile::Whole); // its header may follow gigabytes of movie
        if (const auto utc = file.isOpen() ? MovieCreated(file) : std::nullopt) {
            m.taken = basTavlo::UtcToLocal(*utc);
            return m;
        }
        m.unreadable = !file.isOpen() || file.refused();
    }
    if (kinds & MusicMetadata) {
        try {
            readMusic(path, m);
        } catch (...) {
            // A file TagLib can't read has no song tags.
        }
    }
    // A movie's date is its header's, read above; exiv2's own walk of a broken movie reads
    // through every byte of it.
    if (!(kinds & PhotoMetadata) || movie)
        return m;
    // A JPEG keeps its metadata in segments in front of the picture, within the first 64 KB
    // but for rare large ones: read that much at once and take the entries the tags use
    // straight from it; where that reader gives up, exiv2 parses the same bytes, which costs
    // less than half of its own reads of the file. Anything else exiv2 reads itself.
    QByteArrayView head;
    std::optional<MetadataHeadRoom> ownRoom;
    if (given) {
        head = *given;
    } else {
        const MetadataHeadRoom& room = ownRoom.emplace();
        BoundedFile file(path);
        if (!file.isOpen()) {
            m.unreadable = true;
            return m;
        }
        head =
            QByteArrayView(room.data(), std::max<qint64>(0, file.read(room.data(), kMetadataHead)));
    }
    const bool jpeg = head.startsWith("\xff\xd8");
    if (const auto read = jpeg ? ReadJpegHead(head) : std::nullopt) {
        m.taken = read->taken;
        m.takenMs = read->takenMs;
        m.camera = read->camera;
        m.lens = read->lens;
        m.width = read->width;
        m.height = read->height;
        return m;
    }
    m = readPhoto(path, jpeg ? &head : nullptr, m);
    if (jpeg && !m.taken && head.size() == kMetadataHead)
        m = readPhoto(path, nullptr, m); // a large one: the whole file
    return m;
}

FileMetadata metadata_testing::ReadWithExiv2(const QString& path) {
    return readPhoto(path, nullptr, {});
}

namespace {

// The moment the picture was taken (never the IFD0 date, which editors change), the camera
// and the lens, from its Exif entries and, where they lack the moment, its XMP.
void fromExif(const Exiv2::ExifData& exif, const Exiv2::XmpData* xmp, FileMetadata& m) {
    const std::pair<const char*, const char*> dates[] = {
        {"Exif.Photo.DateTimeOriginal", "Exif.Photo.SubSecTimeOriginal"},
        {"Exif.Photo.DateTimeDigitized", "Exif.Photo.SubSecTimeDigitized"},
    };
    for (const auto& [date, subseconds] : dates) {
        m.taken = ParseMetadataDate(valueOf(exif, date));
        if (m.taken) {
            const QString sub = valueOf(exif, subseconds).left(3);
            m.takenMs = sub.isEmpty() ? 0 : sub.leftJustified(3, u'0').toInt();
            break;
        }
    }
    for (const char* key : {"Xmp.photoshop.DateCreated", "Xmp.xmp.CreateDate"})
        if (!m.taken && xmp)
            m.taken = ParseMetadataDate(valueOf(*xmp, key));
    m.camera = CameraName(valueOf(exif, "Exif.Image.Make"), valueOf(exif, "Exif.Image.Model"));
    m.lens = valueOf(exif, "Exif.Photo.LensModel");
}

// The Exif item of a HEIF file as ZOV's own reader finds it, decoded.
Exiv2::ExifData heifExif(const HeifFacts& heif) {
    Exiv2::ExifData exif;
    if (!heif.tiff.isEmpty())
        Exiv2::ExifParser::decode(exif, reinterpret_cast<const Exiv2::byte*>(heif.tiff.constData()),
                                  uint32_t(heif.tiff.size()));
    return exif;
}

} // namespace

static FileMetadata readPhoto(const QString& path, const QByteArrayView* head, FileMetadata m) {
    std::optional<BoundedFile> file;
    if (!head) {
        file.emplace(path, BoundedFile::Head);
        if (!file->isOpen()) {
            m.unreadable = true;
            return m;
        }
    }
    const bool heifFile = file && IsHeif(*file);
    try {
        Exiv2::BasicIo::AutoPtr io;
        if (head)
            io.reset(new Exiv2::MemIo(reinterpret_cast<const Exiv2::byte*>(head->data()),
                                      long(head->size())));
        else
            io.reset(new BoundedIo(*file));
        if (!isPhotoType(Exiv2::ImageFactory::getType(*io)))
            return m;
        Exiv2::Image::AutoPtr image = Exiv2::ImageFactory::open(io);
        if (!image.get())
            return m;
        image->readMetadata();
        const HeifFacts heif = heifFile ? ReadHeif(*file) : HeifFacts{};
        const Exiv2::ExifData own = image->exifData().empty() ? heifExif(heif) : Exiv2::ExifData();
        fromExif(image->exifData().empty() ? own : image->exifData(), &image->xmpData(), m);
        m.width = heif.width ? heif.width : image->pixelWidth();
        m.height = heif.width ? heif.height : image->pixelHeight();
    } catch (...) {
        // A file that is no picture, or a broken one: what was read so far, if anything. A
        // HEIF file whose metadata exiv2 refuses as a whole (a colour profile it finds
        // wrong) has its own reader stand in.
        if (heifFile && !m.taken) {
            try {
                const HeifFacts heif = ReadHeif(*file);
                fromExif(heifExif(heif), nullptr, m);
                m.width = heif.width;
                m.height = heif.height;
            } catch (...) {
            }
        }
    }
    if (file && file->refused())
        m.unreadable = true;
    return m;
}

#pragma GCC diagnostic pop
