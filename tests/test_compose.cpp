#include "TestFolder.h"
#include "media/JpegExif.h"
#include "rename/Compose.h"
#include "rename/NumberText.h"

#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtEndian>

#include <gtest/gtest.h>

#include <limits>
#include <tuple>

TEST(NumberText, ReadsTheLeadingNumber) {
    const std::pair<const char*, double> rows[] = {
        {"12abc", 12}, {"1 2", 12}, {"abc", 0},    {"&H10", 16},    {"&h1F", 31}, {"&O17", 15},
        {"&Hzz", 0},   {"&", 0},    {"2.5", 2.5},  {" \t\n-7", -7}, {"+3", 3},    {"1.2.3", 1.2},
        {".5", 0.5},   {".", 0},    {"", 0},       {"- 4 2", -42},  {"1-2", 1},   {"\r5", 0},
        {"00042", 42}, {"9e3", 9},  {"&h9f", 159}, {"&O18", 1}, // 8 is no octal digit
    };
    for (const auto& [text, expected] : rows) {
        SCOPED_TRACE(text);
        EXPECT_DOUBLE_EQ(ReadLeadingNumber(QString::fromUtf8(text)), expected);
    }
}

namespace {

// A numbered sequence from start with digits, on top of s.
RenameSettings seq(const QString& start, const QString& digits, RenameSettings s = {}) {
    s.optFilenameModifications = false;
    s.optSequencing = s.optNumeric = true;
    s.txtDigitStartWith = start;
    s.txtDigits = digits;
    return s;
}

} // namespace

// One name after another; each by its place in the run gives the same.
TEST(Compose, NamesAsTheSettingsSay) {
    const struct {
        RenameSettings s;
        QStringList names, expected;
    } rows[] = {
        {{.chkPrefix = 1, .txtPrefix = "  new-  ", .chkSuffix = 1, .txtSuffix = " -x "},
         {"a.txt"},
         {"new-a-x.txt"}},
        {{.chkPrefix = 1, .txtPrefix = "new-", .chkChangeCase = 1, .cboChangeCase = 2},
         {"a.txt"},
         {"NEW-A.TXT"}},
        {{.chkChangeCase = 2, .cboChangeCase = 2}, {"a.txt"}, {"a.txt"}}, // grayed is off
        // The suffix goes in front of the extension's dot, or at the end.
        {{.chkSuffix = 1, .txtSuffix = "-1"},
         {"index.html", "a.b", "README", ".profile", "archive.tar.gz", "end."},
         {"index-1.html", "a-1.b", "README-1", ".profile-1", "archive.tar-1.gz", "end-1."}},
        {{.chkChangeCase = 1, .cboChangeCase = 1},
         {"ANNUAL report.TXT", "my report-FINAL.TXT", "a\tb  c_d"},
         {"Annual Report.txt", "My Report-final.txt", "A\tB  C_d"}},
        {{.chkChangeCase = 1, .cboChangeCase = -1}, {"KeepMe.txt"}, {"KeepMe.txt"}},
        {{.chkChangeCase = 1, .cboChangeCase = 0}, {"ÄÖÜ.JPG"}, {"äöü.jpg"}},
        {{.chkReplaceString = 1, .txtReplaceString = "a", .txtWith = "b"},
         {"Aaa.txt"},
         {"Abb.txt"}},
        {{.chkReplaceString = 1, .txtReplaceString = "aa", .txtWith = "a"},
         {"aaaa.txt"},
         {"aa.txt"}},
        {{.chkReplaceString = 1, .txtReplaceString = "", .txtWith = "x"}, {"abc"}, {"abc"}},
        {{.chkReplaceString = 1, .txtReplaceString = "b", .txtWith = ""}, {"abcb"}, {"ac"}},
        // The replacement sees the added prefix.
        {{.chkPrefix = 1, .txtPrefix = "b", .chkReplaceString = 1, .txtReplaceString = "b"},
         {"a"},
         {"a"}},
        {seq("8", "3", {.chkSeqPrefix = 1, .txtSeqPrefix = "IMG-"}),
         {"x.jpg", "y.jpg", "z.jpg"},
         {"IMG-008x.jpg", "IMG-009y.jpg", "IMG-010z.jpg"}},
        {seq("998", "3", {.chkSeqPrefix = 1, .txtSeqPrefix = "IMG-"}),
         {"x.jpg", "y.jpg", "z.jpg"},
         {"IMG-998x.jpg", "IMG-999y.jpg", "IMG-1000z.jpg"}},
        // Sequence texts keep their blanks.
        {seq("-5", "3",
             {.chkSeqPrefix = 1, .txtSeqPrefix = " a ", .chkSeqSuffix = 1, .txtSeqSuffix = "_"}),
         {"p"},
         {" a -005_p"}},
        {seq("1", "2", {.optPrefixSequence = false, .optSuffixSequence = true}),
         {"photo.jpg"},
         {"photo01.jpg"}},
        {seq("1", "2", {.optPrefixSequence = false}), {"photo.jpg"}, {"photo.jpg"}}, // no position
        {seq("7", "abc"), {"f"}, {"7f"}},
        {seq("1", "2.5"), {"f"}, {"01f"}},
        {seq("1", "3.5"), {"f"}, {"0001f"}},
        {seq("1", "40000"), {"f"}, {"1f"}},       // digits out of range
        {seq("3000000000", "2"), {"f"}, {"00f"}}, // start out of range
        {seq("&HA", ""), {"f"}, {"10f"}},
        {seq("2147483646", ""), {"a", "b", "c"}, {"2147483646a", "2147483647b", "2147483647c"}},
        {{.optFilenameModifications = false, .chkChangeExtension = 1, .txtChangeExtension = "txt"},
         {"a.doc"},
         {"a.txt"}},
        {{.optFilenameModifications = false, .chkPrefix = 1, .txtPrefix = "x"},
         {"a.doc"},
         {"a.doc"}},
        {{.chkChangeExtension = 1, .txtChangeExtension = " jpg "},
         {"photo.JPEG", "archive.tar.gz", "README", ".profile"},
         {"photo.jpg", "archive.tar.jpg", "README.jpg", ".profile.jpg"}},
        {{.chkChangeExtension = 1, .txtChangeExtension = ""}, {"photo.jpg"}, {"photo."}},
        {{.chkAppendExtension = 1, .txtAppendExtension = "bak"}, {"photo.jpg"}, {"photo.jpgbak"}},
        {{.chkAppendExtension = 1, .txtAppendExtension = ".bak"}, {"photo.jpg"}, {"photo.jpg.bak"}},
        {{.chkChangeExtension = 1,
          .txtChangeExtension = "txt",
          .chkAppendExtension = 1,
          .txtAppendExtension = ".bak"},
         {"notes.doc"},
         {"notes.txt.bak"}},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.names.join(' ').toStdString());
        CompositionRun run = StartComposition(r.s);
        run.locale = QLocale::c();
        const CompositionRun start = run;
        QStringList out;
        for (const QString& n : r.names) {
            out << ComposeNewName(n, r.s, run);
            EXPECT_EQ(ComposeNewName(n, r.s, start, out.size() - 1), out.back()) << n.toStdString();
        }
        EXPECT_EQ(out, r.expected);
    }
    EXPECT_EQ(GetDigitFormat(3), "000");
    EXPECT_EQ(GetDigitFormat(0), "");
    EXPECT_EQ(GetDigitFormat(-2), "");
}

// Tags in the name fields and patterns in the search text, with the files' values; a tag
// or pattern that can't be read gives no names at all, and says which and where.
TEST(Compose, TagsAndPatterns) {
    // Modified at 14:03:22.123 local time, in whatever zone the test runs.
    basTavlo::FindData file;
    file.lastWriteTime =
        (basTavlo::LocalToUtc({2024, 6, 1, 14, 3, 22}) + basTavlo::kFileTimeEpochOffsetSecs) *
            10000000 +
        1234567;
    enum Field { Prefix, Replace, KeptName, Sequence };
    struct Row {
        Field field;
        QString text; // the prefix, the search text, or the sequence prefix
        const char* with;
        const char* oldName;
        qint64 row;
        QString expected;
        RowStatus status = RowStatus::Ok;
    };
    const QString as(250, 'a');
    const Row rows[] = {
        {Prefix, "<name>_", "", "a.b.txt", 0, "a.b_a.b.txt"},
        {Prefix, "<ext>-", "", "README", 0, "-README"},
        {Prefix, "<folder>_", "", "x.jpg", 0, "Rome_x.jpg"},
        {Prefix, "<n:3>_", "", "x.jpg", 4, "005_x.jpg"},
        {Prefix, "<n:3:10:5>_", "", "x.jpg", 2, "020_x.jpg"},
        {Prefix, "<n:5:-3>_", "", "x.jpg", 0, "-00003_x.jpg"},
        {Prefix, "<n>", "", "x.jpg", 9, "10x.jpg"},
        {Prefix, "a<b <<  < x>", "", "x.jpg", 0, "a<b <<  < x>x.jpg"},
        {Prefix, "<modified:yyyy-MM-dd HH.mm.ss.zzz>_", "", "x.jpg", 0,
         "2024-06-01 14.03.22.123_x.jpg"},
        {Prefix, "<modified:yyyy/MM/dd HH:mm> ", "", "x.jpg", 0, "2024_06_01 14_03x.jpg"},
        {Prefix, "<modified:>", "", "x.jpg", 0, "2024-06-01x.jpg"},
        {Prefix, "<modified:d.M.yy H-m-s>_", "", "x.jpg", 0, "1.6.24 14-3-22_x.jpg"},
        {Prefix, "<modified:yyyyMMddHHmmsszzz>", "", "x.jpg", 0, "20240601140322123x.jpg"},
        {Prefix, "<modified:MMM ddd h AP 'at' yyy>", "", "x.jpg", 0, "Jun Sat 2 PM at 24yx.jpg"},
        {Prefix, "<created>", "", "x.jpg", 0, "", RowStatus::MissingValue},
        {Prefix, "<created|accessed|modified>", "", "x.jpg", 0, "2024-06-01x.jpg"},
        {Prefix, QString("<name>").repeated(33), "", "x.jpg", 0, QString(34, 'x') + ".jpg"},
        {Prefix, "<dat>", "", "x.jpg", 0, "", RowStatus::BadSetting},
        {Prefix, "<n:x>", "", "x.jpg", 0, "", RowStatus::BadSetting},
        {Prefix, "<n:256>", "", "x.jpg", 0, "", RowStatus::BadSetting},
        {Prefix, "<n:0:-999999999999999:999999999999999>", "", "x", 4, "2999999999999997x"},
        {Prefix, "<n:0:0:-1000000000000000>", "", "x.jpg", 0, "", RowStatus::BadSetting},
        {Prefix, "<track:255>", "", "x.jpg", 0, "", RowStatus::MissingValue},
        {Prefix, "<track:256>", "", "x.jpg", 0, "", RowStatus::BadSetting},
        {Prefix, "<name:3>", "", "x.jpg", 0, "", RowStatus::BadSetting},
        {Prefix, "<name:Lower>", "", "x.jpg", 0, "", RowStatus::BadSetting},
        // A text value's case, by Unicode's rules whatever the locale; a "/" a case change
        // can't make is still made safe after it.
        {Prefix, "<ext:lower>-", "", "IMG.JPG", 0, "jpg-IMG.JPG"},
        {Prefix, "<name:upper>-", "", "Été à ıi.x", 0, "ÉTÉ À II-Été à ıi.x"},
        {Prefix, "<name:lower>-", "", "İSTANBUL.x", 0, "i̇stanbul-İSTANBUL.x"},
        {Prefix, "<name:title>-", "", "the BEATLES abbey.x", 0,
         "The Beatles Abbey-the BEATLES abbey.x"},
        {Prefix, "<folder:upper>_", "", "x.jpg", 0, "ROME_x.jpg"},
        {Prefix, "a <name", "", "x.jpg", 0, "", RowStatus::BadSetting},
        {Replace, "a", "<n:2>", "a.txt", 0, "01.txt"},
        {Replace, "/DSC_(\\d+)/", "IMG-$1", "DSC_4711.JPG", 0, "IMG-4711.JPG"},
        {Replace, "/dsc/i", "x", "DSC_4711.JPG", 0, "x_4711.JPG"},
        {Replace, "/.*/", "x", "DSC_4711.JPG", 0, "x"},
        {Replace, "/x*/", "-", "ab", 0, "-a-b-"},
        {Replace, "/^/", "<n:2>-", "a.jpg", 0, "01-a.jpg"},
        {Replace, "/zzz/", "x", "a.jpg", 0, "a.jpg"},
        {Replace, "/a/", "[$0$$]", "a.txt", 0, "[a$].txt"},
        {Replace, "/(a)(b)/", "$12$$", "ab.txt", 0, "a2$.txt"},
        {Replace, "/(?<num>\\d+)/", "<${num}>", "x12.jpg", 0, "x<12>.jpg"},
        {Replace, "/(a)/", "$2", "a.txt", 0, "", RowStatus::BadSetting},
        {Replace, "/(a)/", "${b}", "a.txt", 0, "", RowStatus::BadSetting},
        {Replace, "/a(b/", "x", "a.txt", 0, "", RowStatus::BadSetting},
        {Replace, "/(a+)+$/", "x", "", 0, "", RowStatus::PatternTooSlow},
        {Replace, "/a/", "<taken:yyyy>", "a.jpg", 0, "", RowStatus::NoDateTaken},
        {KeptName, "Rome ", "", "DSC_4711.JPG", 0, "Rome 001.jpg"},
        {Sequence, "<modified:yyyy-MM-dd HH.mm.ss>", "", "DSC_4711.JPG", 0,
         "2024-06-01 14.03.22.jpg"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.text.toStdString() + " " + r.with);
        RenameSettings s;
        if (r.field == Prefix) {
            s.chkPrefix = 1, s.txtPrefix = r.text;
        } else if (r.field == Replace) {
            s.chkReplaceString = 1, s.txtReplaceString = r.text, s.txtWith = r.with;
        } else {
            s = seq("1", "3");
            s.optNumeric = r.field == KeptName;
            s.chkKeepName = 0;
            s.chkSeqPrefix = 1, s.txtSeqPrefix = r.text;
            s.chkChangeExtension = 1, s.txtChangeExtension = "jpg";
        }
        const CompositionRun run = StartComposition(s, "/photos/Rome/");
        const QString oldName = *r.oldName ? QString(r.oldName) : as + ".txt";
        const Composed c = ComposeNewName(oldName, s, run, 0, TagFile{oldName, r.row, &file});
        EXPECT_EQ(c.status, r.status);
        if (r.status == RowStatus::Ok) {
            EXPECT_EQ(c.name, r.expected);
        }
        EXPECT_EQ(run.problem.has_value(), r.status == RowStatus::BadSetting);
    }
    const RenameSettings widest{.chkPrefix = 1, .txtPrefix = "<n:255>"}; // a number's widest
    EXPECT_EQ(ComposeNewName("x", widest, StartComposition(widest), 0, TagFile{u"x", 0, &file})
                  .name.size(),
              256);
    FileMetadata song;
    song.artist = "ac/dc";
    const RenameSettings upper{.chkPrefix = 1, .txtPrefix = "<artist:upper> "};
    EXPECT_EQ(
        ComposeNewName("x", upper, StartComposition(upper), 0, TagFile{u"x", 0, &file, &song}).name,
        "AC_DCx"); // the prefix field is trimmed
    // A value missing names its tag: the first without one.
    const RenameSettings missing{.chkPrefix = 1, .txtPrefix = "<camera><artist>"};
    EXPECT_EQ(
        FieldText::TagName(
            ComposeNewName("x", missing, StartComposition(missing), 0, TagFile{u"x"}).missing),
        "<camera>");
    // The reason names the tag, or the pattern and where it fails, and the field.
    RenameSettings s;
    s.chkSuffix = 1, s.txtSuffix = "<dat>";
    EXPECT_EQ(StartComposition(s).problem->field, NameField::Suffix);
    EXPECT_EQ(StartComposition(s).problem->what, "<dat>");
    s.chkReplaceString = 1, s.txtReplaceString = "/a(b/";
    s.chkSuffix = 0;
    EXPECT_EQ(StartComposition(s).problem->position, 3);
    // A field of the mode not chosen is not read, and can't stop the preview.
    s.optFilenameModifications = false, s.optSequencing = true;
    s.chkSuffix = 1, s.txtSuffix = "<dat>";
    EXPECT_FALSE(StartComposition(s).problem);
}

namespace {

// What this process has read from files so far (0 where the system doesn't say).
// The values a photo's tags use, in one line.
std::string summary(const FileMetadata& m) {
    const basTavlo::DateTime t = m.taken.value_or(basTavlo::DateTime{});
    return QString::asprintf("%d-%d-%d %d:%d:%d.%d %s|%s|%dx%d", t.year, t.month, t.day, t.hour,
                             t.minute, t.second, m.takenMs, qUtf8Printable(m.camera),
                             qUtf8Printable(m.lens), m.width, m.height)
        .toStdString();
}

} // namespace

// Photos tagged by ExifTool and songs tagged by their own tools, read under names no code page
// holds (on Windows through the wide paths), and their values as tags.
TEST(Metadata, ReadsUnderAnyName) {
    QTemporaryDir dir;
    const QString copy =
        dir.filePath(QString::fromUtf8("\u0424\u043e\u0442\u043e \u6771\u4eac.jpg"));
    ASSERT_TRUE(QFile::copy(TestDataPath("taken.jpg"), copy));
    PrepareMetadataReading();
    const FileMetadata m = ReadMetadata(copy);
    ASSERT_TRUE(m.taken);
    EXPECT_EQ(*m.taken, (basTavlo::DateTime{2021, 7, 14, 9, 30, 0}));
    EXPECT_EQ(m.takenMs, 123);
    RenameSettings s;
    s.chkPrefix = 1,
    s.txtPrefix = "<taken:yyyy-MM-dd HH.mm.ss.zzz> <camera> <lens> <width>x<height> ";
    const CompositionRun run = StartComposition(s);
    const Composed c = ComposeNewName("a.jpg", s, run, 0, TagFile{u"a.jpg", 0, nullptr, &m});
    EXPECT_EQ(c.name, "2021-07-14 09.30.00.123 Canon EOS 5D EF24-70mm f_2.8L 16x8a.jpg");
    EXPECT_EQ(ComposeNewName("a.jpg", s, run, 0, TagFile{u"a.jpg", 0, nullptr, nullptr}).status,
              RowStatus::NoDateTaken);
    // The same values in the other kinds of picture (a HEIC made by libheif: its Exif item
    // after a base offset, its picture a grid of larger tiles), all tagged by ExifTool; their
    // names in capitals, as cameras write them.
    // A HEIC whose colour profile exiv2 refuses, and with it the whole of the metadata, as
    // some phones write them: ZOV's own reader stands in.
    for (const char* kind : {"heic", "png", "webp", "tif", "dng", "badicc.heic"}) {
        const QString other = dir.filePath(QString::fromUtf8("\u6771\u4eac ") + kind + '.' +
                                           QString(kind).section('.', -1).toUpper());
        ASSERT_TRUE(QFile::copy(TestDataPath(QString("taken.") + kind), other));
        const FileMetadata o = ReadMetadata(other);
        EXPECT_EQ(summary(o), "2021-7-14 9:30:0.123 Canon EOS 5D||16x8") << kind;
    }
    // Dates as cameras and editors write them, and ones no calendar has.
    for (const auto& [text, valid] :
         {std::pair("2021:02:28 10:00:00", true), std::pair("2021-02-28T10:00:00+02:00", true),
          std::pair("2021:02:30 10:00:00", false), std::pair("    :  :     :  :  ", false),
          std::pair("0000:00:00 00:00:00", false), std::pair("1600:06:01 00:00:00", false),
          std::pair("1601:01:01 00:00:00", true), std::pair("2021:02:28", true),
          std::pair("9999:12:31 23:59:59", true), std::pair("2021:02:28 10:60:00", false)})
        EXPECT_EQ(ParseMetadataDate(text).has_value(), valid) << text;
    // A movie's creation time from its header, in either version; a box that claims more
    // than its file holds ends the walk.
    auto movie = [&](int version, quint32 moovSize, qint64 unix = 1588748889) {
        QByteArray mvhd(version ? 32 : 20, '\0');
        mvhd[0] = char(version);
        if (version)
            qToBigEndian<quint64>(quint64(unix + 2082844800), mvhd.data() + 4);
        else
            qToBigEndian<quint32>(quint32(unix + 2082844800), mvhd.data() + 4);
        QByteArray box(8, '\0'), moov(8, '\0');
        qToBigEndian<quint32>(quint32(8 + mvhd.size()), box.data());
        box.replace(4, 4, "mvhd");
        qToBigEndian<quint32>(moovSize ? moovSize : quint32(8 + box.size() + mvhd.size()),
                              moov.data());
        moov.replace(4, 4, "moov");
        QFile out(dir.filePath("clip.MP4"));
        EXPECT_TRUE(out.open(QIODevice::WriteOnly | QIODevice::Truncate));
        out.write(QByteArray::fromHex("0000001066747970697361360000000000").left(16) + moov + box +
                  mvhd);
        out.close();
        return ReadMetadata(out.fileName()).taken;
    };
    EXPECT_EQ(movie(0, 0), basTavlo::UtcToLocal(1588748889));
    EXPECT_EQ(movie(1, 0), basTavlo::UtcToLocal(1588748889));
    EXPECT_EQ(movie(0, 0x7fffffff), std::nullopt);
    EXPECT_EQ(movie(1, 0, 4133980799), basTavlo::UtcToLocal(4133980799)); // 2100's last second
    EXPECT_EQ(movie(1, 0, 4133980800), std::nullopt);
    // A song's tags the same way: ID3, Vorbis comments and an M4A's item list.
    s.txtPrefix = "<track:2> - <title> (<artist>)_";
    const CompositionRun songs = StartComposition(s);
    // Each under its own name, and under another kind's: the content decides.
    for (const auto& [kind, named] :
         {std::pair("mp3", "mp3"), std::pair("flac", "flac"), std::pair("m4a", "m4a"),
          std::pair("mp3", "flac"), std::pair("flac", "mp3"), std::pair("m4a", "ogg")}) {
        const QString song =
            dir.filePath(QString::fromUtf8("\u00dcmlaut \u00e9 ") + kind + '.' + named);
        ASSERT_TRUE(QFile::copy(TestDataPath(QString("song.") + kind), song));
        const FileMetadata tags = ReadMetadata(song, MusicMetadata);
        EXPECT_EQ(ComposeNewName("x", s, songs, 0, TagFile{u"x", 0, nullptr, &tags}).name,
                  "01 - So What (Miles Davis)_x")
            << kind << " named ." << named;
    }
    // A photo named for another kind, too.
    const QString png = dir.filePath("jpeg.png");
    ASSERT_TRUE(QFile::copy(TestDataPath("taken.jpg"), png));
    EXPECT_EQ(summary(ReadMetadata(png)),
              "2021-7-14 9:30:0.123 Canon EOS 5D|EF24-70mm f/2.8L|16x8");
    // The year of an ID3v2.4 tag's TYER frame, not the ID3v1 tag's behind it.
    QByteArray id3 = QByteArray("ID3\x04\0\0\0\0\0\x0f", 10) + "TYER" +
                     QByteArray("\0\0\0\x05\0\0\0", 7) + "2004";
    QByteArray v1 = "TAG" + QByteArray(90, ' ') + "1337" + QByteArray(31, '\0');
    QFile year(dir.filePath("year.mp3"));
    ASSERT_TRUE(year.open(QIODevice::WriteOnly));
    year.write(id3 + QByteArray(256, '\0') + v1);
    year.close();
    EXPECT_EQ(ReadMetadata(year.fileName(), MusicMetadata).year, 2004);
}

// Hostile files are ordinary input: mangled copies of tagged photos (JPEG, its TIFF, HEIC), a
// song and a movie (bytes flipped, cut short, sizes made huge or zero) are read without a crash or
// a hang, and a broken one of 2 GB without a walk through it.
TEST(Metadata, MangledFilesAreReadSafely) {
    QTemporaryDir dir;
    const QByteArray photo = TestData("taken.jpg");
    const std::pair<QByteArray, const char*> originals[] = {
        {photo, ".jpg"},
        {photo.mid(30), ".tif"}, // the EXIF block's own
        {TestData("taken.heic"), ".heic"},
        {TestData("song.mp3"), ".mp3"},
        {QByteArray::fromHex("000000186d6f6f76000000106d76686400000000d8a1b2c3"), ".mp4"},
    };
    PrepareMetadataReading();
    QRandomGenerator rng(20261209);
    int files = 0, fastOnes = 0;
    EXPECT_TRUE(ReadJpegHead(originals[0].first));
    for (const auto& [original, ext] : originals) {
        for (int i = 0; i < 1000; ++i, ++files) {
            QByteArray b = original;
            switch (rng.bounded(4)) {
            case 0: // a few bytes changed
                for (int k = rng.bounded(1, 9); k > 0; --k)
                    b[rng.bounded(int(b.size()))] = char(rng.bounded(256));
                break;
            case 1: // cut short
                b.truncate(rng.bounded(int(b.size())));
                break;
            case 2: { // a length or offset made huge, or zero
                const int at = rng.bounded(std::max(1, int(b.size()) - 4));
                b.replace(at, 4, QByteArray(4, rng.bounded(2) ? '\xff' : '\0'));
                break;
            }
            default: // a stretch repeated
                b.insert(rng.bounded(int(b.size())), b.mid(rng.bounded(int(b.size())), 64));
            }
            const QString path = dir.filePath(QString("m%1%2").arg(files).arg(ext));
            QFile out(path);
            ASSERT_TRUE(out.open(QIODevice::WriteOnly));
            out.write(b);
            out.close();
            const FileMetadata m = ReadMetadata(path, PhotoMetadata | MusicMetadata);
            EXPECT_LE(m.title.size(), b.size());
            // What the JPEG reader takes from a mangled head, exiv2 reads there too.
            if (const auto fast = ext == QString(".jpg") ? ReadJpegHead(b) : std::nullopt) {
                const FileMetadata e = metadata_testing::ReadWithExiv2(path);
                EXPECT_EQ(summary(*fast), summary(e)) << i;
                ++fastOnes;
            }
            QFile::remove(path);
        }
        // Its first 3 KB, then nothing to 2 GB (a hole, so no disk is spent): read without
        // a walk through the gigabytes.
        const QString huge = dir.filePath(QString("huge") + ext);
        QFile out(huge);
        ASSERT_TRUE(out.open(QIODevice::WriteOnly));
        out.write(original.left(3000));
        ASSERT_TRUE(out.resize(qint64(2) << 30));
        out.close();
        const qint64 before = BytesRead();
        const FileMetadata m = ReadMetadata(huge, PhotoMetadata | MusicMetadata);
        EXPECT_LT(BytesRead() - before, 1 << 20) << ext;
        EXPECT_TRUE(m.taken || ext != QString(".tif")); // whose first bytes hold all its tags
        QFile::remove(huge);
    }
    EXPECT_GT(fastOnes, 100); // the mangled ones it still reads
}
