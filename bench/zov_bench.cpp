// Times the road from listing to rename for folders of N files, three ways side by side:
// the raw system calls, the core, and the real window offscreen, and beside them mmv where
// it is installed. Each way runs in a child process of its own so that its peak resident
// memory is its own; "--repeat K" runs each K times and prints the medians. "--slow-volume US"
// runs the road on a volume that answers each request US microseconds late; "--cold" drops the
// page cache before each road.
#include "files/DosAttrib.h"
#include "files/Parallel.h"
#include "listing/FileLists.h"
#include "rename/Preview.h"
#include "rename/RenameRun.h"
#include "ui/Dialogs.h"
#include "ui/Look.h"
#include "ui/frmTavlo.h"

#include <QApplication>
#include <QCheckBox>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QProcess>
#include <QRadioButton>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <map>
#include <string>
#include <thread>
#include <unordered_set>
#include <vector>

namespace {

// The road's four phases, then the undo of the rename (not part of the road), then a
// preview with tags and a pattern, and the same with a number where names clash (the
// core's alone).
constexpr const char* kPhases[] = {"list", "select", "preview", "rename", "undo"};
constexpr int kRoad = 4;
constexpr size_t kTagged = 5, kTaggedDup = 6;
using Times = std::array<double, 7>;

// Requests the slow volume served in each phase, where the benchmark mounted one: its root
// counts them in a value of its own.
std::array<long, 5> g_requests{};
long requestsServed() {
    static const QByteArray volume = qgetenv("ZOV_SLOW_VOLUME");
    char v[32];
    const ssize_t n =
        volume.isEmpty() ? -1 : getxattr(volume.constData(), "user.zov-requests", v, sizeof v - 1);
    if (n < 0)
        return 0;
    v[n] = '\0';
    return std::atol(v);
}

// Counts the requests from here to the end of the scope as the phase's.
struct Requests {
    explicit Requests(size_t phase) : phase(phase), from(requestsServed()) {}
    ~Requests() { g_requests[phase] = requestsServed() - from; }
    size_t phase;
    long from;
};

void makeFiles(const QString& dir, int n) {
    const QByteArray base = QFile::encodeName(dir) + '/';
    for (int i = 0; i < n; ++i) {
        const QByteArray p =
            base + QByteArray("IMG_") + QByteArray::number(i).rightJustified(6, '0') + ".jpg";
        const int fd = ::open(p.constData(), O_WRONLY | O_CREAT | O_EXCL, 0644);
        if (fd < 0) {
            std::perror("create");
            std::exit(2);
        }
        ::close(fd);
    }
}

// One attribute value, read by name in the open folder where the kernel can (Linux 6.13's
// getxattrat), else by full path.
ssize_t readValue(int dirFd, const std::string& folder, const std::string& name, char* buf,
                  size_t size) {
    static bool byPath = false;
    if (!byPath) {
        struct {
            quint64 value;
            quint32 size;
            quint32 flags;
        } args{quint64(quintptr(buf)), quint32(size), 0};
        const long n = syscall(464, dirFd, name.c_str(), AT_SYMLINK_NOFOLLOW,
                               basTavlo::kDosAttribName, &args, sizeof args);
        if (n >= 0 || errno != ENOSYS)
            return n;
        byPath = true;
    }
    return lgetxattr((folder + name).c_str(), basTavlo::kDosAttribName, buf, size);
}

// fn(i) for each i below n, on threads threads at once; one after another for 1.
template <typename F> void inFlight(size_t n, int threads, F&& fn) {
    if (threads <= 1) {
        for (size_t i = 0; i < n; ++i)
            fn(i);
        return;
    }
    std::atomic<size_t> next{0};
    std::vector<std::thread> pool;
    for (int t = 0; t < threads; ++t)
        pool.emplace_back([&] {
            for (size_t i; (i = next.fetch_add(1)) < n;)
                fn(i);
        });
    for (std::thread& t : pool)
        t.join();
}

// The calls the road needs, by name in the open folder: one file after another, or as many
// requests in flight as threads says.
Times baseline(const QString& dir, int threads = 1) {
    Times t{};
    QElapsedTimer clock;
    const std::string folder = QFile::encodeName(dir).toStdString() + '/';
    std::vector<std::string> names;
    clock.start();
    std::optional<Requests> counting(std::in_place, 0);
    char buf[256];
    // The listing reads each file's attribute value, as hidden and system files need.
    DIR* d = opendir(folder.c_str());
    const int fd = dirfd(d);
    while (dirent* e = readdir(d))
        if (e->d_name[0] != '.') {
            names.emplace_back(e->d_name);
            if (threads <= 1)
                readValue(fd, folder, names.back(), buf, sizeof buf);
        }
    if (threads > 1)
        inFlight(names.size(), threads, [&](size_t i) {
            char value[256];
            readValue(fd, folder, names[i], value, sizeof value);
        });
    t[0] = clock.nsecsElapsed() / 1e9;
    counting.emplace(2);

    // The preview looks each file up and reads its attribute value; whether a new name is
    // held it learns from one more pass over the folder's names.
    clock.restart();
    std::unordered_set<std::string> present;
    rewinddir(d);
    while (dirent* e = readdir(d))
        present.insert(e->d_name);
    std::atomic<size_t> held{0};
    inFlight(names.size(), threads, [&](size_t i) {
        struct statx sx;
        char value[256];
        statx(fd, names[i].c_str(), AT_SYMLINK_NOFOLLOW, STATX_BASIC_STATS | STATX_BTIME, &sx);
        readValue(fd, folder, names[i], value, sizeof value);
        held += present.count("new_" + names[i]);
    });
    if (held != 0)
        std::fprintf(stderr, "raw: %zu new names held\n", held.load());
    t[2] = clock.nsecsElapsed() / 1e9;
    counting.emplace(3);

    clock.restart();
    inFlight(names.size(), threads, [&](size_t i) {
        const std::string to = "new_" + names[i];
        renameat2(fd, names[i].c_str(), fd, to.c_str(), RENAME_NOREPLACE);
    });
    t[3] = clock.nsecsElapsed() / 1e9;
    counting.emplace(4);

    clock.restart();
    inFlight(names.size(), threads, [&](size_t i) {
        const std::string to = "new_" + names[i];
        renameat2(fd, to.c_str(), fd, names[i].c_str(), RENAME_NOREPLACE);
    });
    t[4] = clock.nsecsElapsed() / 1e9;
    counting.reset();
    closedir(d);
    return t;
}

RenameSettings sequenceSettings() {
    RenameSettings s;
    s.optFilenameModifications = false;
    s.optSequencing = true;
    s.chkSeqPrefix = 1;
    s.txtSeqPrefix = QStringLiteral("new_");
    s.optNumeric = true;
    s.txtDigitStartWith = QStringLiteral("1");
    s.txtDigits = QStringLiteral("6");
    return s;
}

// The same names by tags and a pattern: IMG_000042.jpg becomes 2026-12-09_000043-000042.jpg.
RenameSettings taggedSettings() {
    RenameSettings s;
    s.chkPrefix = 1;
    s.txtPrefix = QStringLiteral("<modified:yyyy-MM-dd>_");
    s.chkReplaceString = 1;
    s.txtReplaceString = QStringLiteral("/IMG_(\\d+)/");
    s.txtWith = QStringLiteral("<n:6>-$1");
    return s;
}

// The same, with "<dup>": no two names clash, so the pass that looks for clashes is all
// it adds.
RenameSettings taggedDupSettings() {
    RenameSettings s = taggedSettings();
    s.txtPrefix = QStringLiteral("<modified:yyyy-MM-dd><dup:-#>_");
    return s;
}

// Seconds that fn takes, with the window's pending events handled as part of it.
template <typename F> double timed(F&& fn, std::optional<size_t> phase = {}) {
    std::optional<Requests> counting;
    if (phase)
        counting.emplace(*phase);
    QElapsedTimer clock;
    clock.start();
    fn();
    QCoreApplication::processEvents();
    return clock.nsecsElapsed() / 1e9;
}

Times core(const QString& dir, int n) {
    FileLists lists;
    Times t{};
    t[0] = timed([&] { DisplayFiles(lists, dir + QLatin1Char('/')); }, 0);
    t[1] = timed([&] { SetAllMarks(lists.original, 1); }, 1);
    t[2] = timed([&] { PreviewFiles(lists, sequenceSettings(), FilterSettings{}); }, 2);
    // The same files previewed by tags and a pattern, each look-up as warm as the first
    // preview left it; then the plain preview again, for the rename.
    t[kTagged] = timed([&] { PreviewFiles(lists, taggedSettings(), FilterSettings{}); });
    const PreviewRow* first = lists.changed.count() ? &lists.changed.row(0) : nullptr;
    if (lists.changed.count() != n || !first || first->status != RowStatus::Ok ||
        !first->newPath.endsWith(QLatin1String("_000001-000000.jpg")))
        std::fprintf(stderr, "core: the tagged preview did not name every file\n");
    const QString first0 = first ? first->newPath : QString();
    t[kTaggedDup] = timed([&] { PreviewFiles(lists, taggedDupSettings(), FilterSettings{}); });
    if (lists.changed.count() != n || lists.changed.row(0).newPath != first0)
        std::fprintf(stderr, "core: the tagged preview with <dup> named a file otherwise\n");
    PreviewFiles(lists, sequenceSettings(), FilterSettings{});
    RunJournal journal;
    int failed = 0;
    t[3] = timed(
        [&] {
            failed = lists.changed.runOnRows([&](const SharedRows& rows) {
                return RenameRows(rows, lists.changed.folder(), AdvancedSettings{}, {}, &journal);
            });
        },
        3);
    int notUndone = 0;
    t[4] = timed(
        [&] {
            lists.changed.clear(); // as the window does: the journal alone holds the rows
            notUndone = UndoRun(std::move(journal)).failed;
        },
        4);
    if (lists.original.count() != n || failed != 0 || notUndone != 0)
        std::fprintf(stderr, "core: %d of %d files listed, %d rows failed, %d not undone\n",
                     lists.original.count(), n, failed, notUndone);
    return t;
}

Times window(const QString& dir) {
    frmTavlo w;
    w.show();
    QCoreApplication::processEvents();
    w.findChild<QRadioButton*>(QStringLiteral("optSequencing"))->setChecked(true);
    w.findChild<QCheckBox*>(QStringLiteral("chkSeqPrefix"))->setChecked(true);
    w.findChild<QLineEdit*>(QStringLiteral("txtSeqPrefix"))->setText(QStringLiteral("new_"));
    w.findChild<QRadioButton*>(QStringLiteral("optNumeric"))->setChecked(true);
    w.findChild<QLineEdit*>(QStringLiteral("txtDigitStartWith"))->setText(QStringLiteral("1"));
    w.findChild<QLineEdit*>(QStringLiteral("txtDigits"))->setText(QStringLiteral("6"));
    Dialogs::SetNextFolder(dir);
    Dialogs::SetMessageSink([](const QString& m, Dialogs::Icon icon, const QString&) {
        if (icon == Dialogs::Icon::Warning)
            std::fprintf(stderr, "window: %s\n", qPrintable(m.left(200)));
    });
    auto* selectAll = w.findChild<QCheckBox*>(QStringLiteral("chkSelectAll"));
    Times t{};
    t[0] = timed([&] { w.cmdBrowseSource_Click(); }, 0);
    t[1] = timed([&] { selectAll->setCheckState(Qt::Checked); }, 1);
    t[2] = timed([&] { w.cmdPreview_Click(); }, 2);
    t[3] = timed([&] { w.cmdStart_Click(); }, 3);
    t[4] = timed([&] { w.cmdUndo_Click(); }, 4); // with the listing afresh that follows it
    return t;
}

// A command-line renamer doing the same renames: mmv, which checks each target itself.
Times peer(const QString& dir) {
    Times t{};
    QProcess p;
    p.setWorkingDirectory(dir);
    QElapsedTimer clock;
    clock.start();
    p.start(QStringLiteral("mmv"),
            {QStringLiteral("-r"), QStringLiteral("IMG_*"), QStringLiteral("new_#1")});
    p.waitForFinished(-1);
    t[3] = clock.nsecsElapsed() / 1e9;
    if (p.exitCode() != 0 || QDir(dir).entryList({QStringLiteral("IMG_*")}).size() != 0)
        std::fprintf(stderr, "mmv: did not rename every file\n");
    return t;
}

long peakKiB() {
    struct rusage u;
    getrusage(RUSAGE_SELF, &u);
    return u.ru_maxrss;
}

// Child: one way, one size. Prints "t0 t1 t2 t3 peakKiB".
// Photos of a few KB with EXIF, each taken a second after the one before.
void makePhotos(const QString& dir, int n) {
    QFile tagged(QStringLiteral(ZOV_PHOTO));
    if (!tagged.open(QIODevice::ReadOnly)) {
        std::perror("photo");
        std::exit(2);
    }
    const QByteArray photo = tagged.readAll() + QByteArray(3000, '\0');
    const qsizetype at = photo.indexOf("2021:07:14 09:30:00");
    for (int i = 0; i < n; ++i) {
        QByteArray copy = photo;
        const QDateTime taken = QDateTime(QDate(2021, 7, 14), QTime(9, 30)).addSecs(i);
        copy.replace(at, 19, taken.toString(QStringLiteral("yyyy:MM:dd HH:mm:ss")).toLatin1());
        QFile out(dir + QStringLiteral("/DSC_%1.JPG").arg(i, 6, 10, QLatin1Char('0')));
        if (!out.open(QIODevice::NewOnly) || out.write(copy) != copy.size()) {
            std::perror("create");
            std::exit(2);
        }
    }
}

// The preview of photos named by the date taken, beside a raw loop that opens each file and
// reads its first 64 KB over as many threads: t[0] the listing, t[2] the preview.
RenameSettings takenSettings() {
    RenameSettings s;
    s.optFilenameModifications = false;
    s.optSequencing = true;
    s.chkKeepName = 0;
    s.chkSeqPrefix = 1;
    s.txtSeqPrefix = QStringLiteral("<taken:yyyy-MM-dd HH.mm.ss>");
    return s;
}

Times photos(const QString& mode, const QString& dir, int n) {
    Times t{};
    if (mode == QLatin1String("photos-raw")) {
        std::vector<QString> names;
        t[0] = timed([&] { basTavlo::ListFolderFiles(dir, names); });
        t[2] = timed([&] {
            ParallelFor(names.size(), [&](size_t i) {
                const QByteArray p = QFile::encodeName(dir + QLatin1Char('/') + names[i]);
                const int fd = ::open(p.constData(), O_RDONLY | O_CLOEXEC);
                if (fd < 0)
                    return;
                static thread_local char buffer[65536];
                if (::read(fd, buffer, sizeof buffer) < 0)
                    std::perror("read");
                ::close(fd);
            });
        });
        return t;
    }
    if (mode == QLatin1String("photos-core")) {
        FileLists lists;
        t[0] = timed([&] { DisplayFiles(lists, dir + QLatin1Char('/')); });
        SetAllMarks(lists.original, 1);
        t[2] = timed([&] { PreviewFiles(lists, takenSettings(), FilterSettings{}); });
        if (lists.changed.count() != n || lists.changed.row(0).status != RowStatus::Ok)
            std::fprintf(stderr, "photos: the preview did not name every photo\n");
        return t;
    }
    frmTavlo w;
    w.show();
    QCoreApplication::processEvents();
    w.findChild<QRadioButton*>(QStringLiteral("optSequencing"))->setChecked(true);
    w.findChild<QCheckBox*>(QStringLiteral("chkKeepName"))->setChecked(false);
    w.findChild<QCheckBox*>(QStringLiteral("chkSeqPrefix"))->setChecked(true);
    w.findChild<QLineEdit*>(QStringLiteral("txtSeqPrefix"))->setText(takenSettings().txtSeqPrefix);
    Dialogs::SetNextFolder(dir);
    t[0] = timed([&] { w.cmdBrowseSource_Click(); });
    w.findChild<QCheckBox*>(QStringLiteral("chkSelectAll"))->setCheckState(Qt::Checked);
    t[2] = timed([&] { w.cmdPreview_Click(); });
    return t;
}

// With --cold, the files made are written out and dropped from the page cache, as after a
// reboot or on a disk just plugged in (needs root).
void coldCache() {
    if (qEnvironmentVariableIsEmpty("ZOV_BENCH_COLD"))
        return;
    sync();
    QFile drop(QStringLiteral("/proc/sys/vm/drop_caches"));
    if (!drop.open(QIODevice::WriteOnly) || drop.write("3\n") != 2) {
        std::fprintf(stderr, "--cold: can't drop the page cache (needs root)\n");
        std::exit(2);
    }
}

int runOne(const QString& mode, int n) {
    QTemporaryDir tmp(QDir::currentPath() + QStringLiteral("/zov-bench-XXXXXX"));
    if (!tmp.isValid())
        return 2;
    if (mode.startsWith(QLatin1String("photos"))) {
        makePhotos(tmp.path(), n);
        coldCache();
        const Times t = photos(mode, tmp.path(), n);
        std::printf("%.6f %.6f %.6f %.6f %.6f %.6f %.6f %ld\n", t[0], t[1], t[2], t[3], t[4], t[5],
                    t[6], peakKiB());
        return 0;
    }
    makeFiles(tmp.path(), n);
    coldCache();
    const Times t = mode == QLatin1String("raw")     ? baseline(tmp.path())
                    : mode == QLatin1String("raw32") ? baseline(tmp.path(), 32)
                    : mode == QLatin1String("core")  ? core(tmp.path(), n)
                    : mode == QLatin1String("mmv")   ? peer(tmp.path())
                                                     : window(tmp.path());
    std::printf("%.6f %.6f %.6f %.6f %.6f %.6f %.6f %ld %ld %ld %ld %ld %ld\n", t[0], t[1], t[2],
                t[3], t[4], t[5], t[6], peakKiB(), g_requests[0], g_requests[1], g_requests[2],
                g_requests[3], g_requests[4]);
    return 0;
}

struct Result {
    Times t{};
    long peakKiB = 0;
    std::array<long, 5> requests{};                            // by phase, on a slow volume
    double total() const { return t[0] + t[1] + t[2] + t[3]; } // the road, without undo
};

Result spawnOnce(const QString& self, const QString& mode, int n) {
    QProcess p;
    p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    p.start(self, {QStringLiteral("--one"), mode, QString::number(n)});
    p.waitForFinished(-1);
    Result r;
    const QList<QByteArray> f = p.readAllStandardOutput().simplified().split(' ');
    if (f.size() >= 8) {
        for (int i = 0; i < 7; ++i)
            r.t[size_t(i)] = f[i].toDouble();
        r.peakKiB = f[7].toLong();
        for (int i = 8; i < f.size() && i < 13; ++i)
            r.requests[size_t(i - 8)] = f[i].toLong();
    } else {
        std::fprintf(stderr, "%s %d: no result\n", qPrintable(mode), n);
    }
    return r;
}

// The median of each figure over repeats runs: this machine's timings wander by a fifth.
int g_repeats = 1;
Result spawn(const QString& self, const QString& mode, int n) {
    std::vector<Result> runs;
    for (int i = 0; i < g_repeats; ++i)
        runs.push_back(spawnOnce(self, mode, n));
    const auto median = [&](auto field) {
        std::vector<double> v;
        for (const Result& r : runs)
            v.push_back(field(r));
        std::nth_element(v.begin(), v.begin() + v.size() / 2, v.end());
        return v[v.size() / 2];
    };
    Result m;
    for (size_t ph = 0; ph < m.t.size(); ++ph)
        m.t[ph] = median([&](const Result& r) { return r.t[ph]; });
    m.peakKiB = long(median([](const Result& r) { return double(r.peakKiB); }));
    m.requests = runs.front().requests; // the same each time
    return m;
}

QString ratio(double a, double b) {
    return b > 0 ? QString::number(a / b, 'f', 2) + QLatin1Char('x') : QStringLiteral("-");
}

// The road on a volume that answers each request delay microseconds late, as a network share
// does (the tests' FUSE passthrough, mounted here: needs root and /dev/fuse): ZOV beside a raw
// loop that sends one request at a time, as the peers do, and one with 32 in flight.
int slowVolume(const QString& self, int delay, int n) {
    const QString fs =
        QCoreApplication::applicationDirPath() + QStringLiteral("/../tests/zov_slowfs");
    QTemporaryDir base(QDir::currentPath() + QStringLiteral("/zov-slow-XXXXXX"));
    const QString source = base.path() + QStringLiteral("/source"),
                  volume = base.path() + QStringLiteral("/volume");
    if (!QDir().mkdir(source) || !QDir().mkdir(volume) ||
        QProcess::execute(fs, {QStringLiteral("--delay-us=%1").arg(delay), source, volume}) != 0) {
        std::fprintf(stderr, "can't mount %s (needs root and /dev/fuse)\n", qPrintable(fs));
        return 2;
    }
    const QString was = QDir::currentPath();
    QDir::setCurrent(volume); // the children make their folders here
    qputenv("ZOV_SLOW_VOLUME", QFile::encodeName(volume));
    const Result serial = spawn(self, QStringLiteral("raw"), n);
    const Result flight = spawn(self, QStringLiteral("raw32"), n);
    const Result core = spawn(self, QStringLiteral("core"), n);
    const Result window = spawn(self, QStringLiteral("window"), n);
    QDir::setCurrent(was);
    QProcess::execute(QStringLiteral("fusermount3"), {QStringLiteral("-u"), volume});
    std::printf("%8s %-8s %10s %10s %10s %10s   requests a file: serial flight core window "
                "(%d us a request)\n",
                "files", "phase", "serial s", "flight s", "core s", "window s", delay);
    for (int ph = 0; ph <= kRoad + 1; ++ph) {
        const int p = ph < kRoad ? ph : ph == kRoad ? -1 : kRoad;
        auto at = [&](const Result& x) { return p >= 0 ? x.t[size_t(p)] : x.total(); };
        auto asked = [&](const Result& x) {
            const long r = p >= 0 ? x.requests[size_t(p)]
                                  : x.requests[0] + x.requests[1] + x.requests[2] + x.requests[3];
            return double(r) / std::max(n, 1);
        };
        std::printf("%8d %-8s %10.3f %10.3f %10.3f %10.3f   %6.1f %6.1f %6.1f %6.1f\n", n,
                    p >= 0 ? kPhases[p] : "road", at(serial), at(flight), at(core), at(window),
                    asked(serial), asked(flight), asked(core), asked(window));
    }
    std::printf("%d files on a %d us volume: window road %.2fx of the serial loop, %.2fx of the "
                "loop in flight\n",
                n, delay, window.total() / std::max(serial.total(), 1e-9),
                window.total() / std::max(flight.total(), 1e-9));
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::string(argv[1]) == "--one") {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        QApplication app(argc, argv);
        UseProgramStyle();
        return runOne(QString::fromLatin1(argv[2]), std::atoi(argv[3]));
    }
    QCoreApplication app(argc, argv);
    std::vector<int> sizes;
    int photoCount = 0, slowDelay = 0;
    for (int i = 1; i < argc; ++i) {
        if (std::string(argv[i]) == "--repeat" && i + 1 < argc)
            g_repeats = std::max(1, std::atoi(argv[++i]));
        else if (std::string(argv[i]) == "--cold")
            qputenv("ZOV_BENCH_COLD", "1"); // the children see it
        else if (std::string(argv[i]) == "--photos" && i + 1 < argc)
            photoCount = std::atoi(argv[++i]);
        else if (std::string(argv[i]) == "--slow-volume" && i + 1 < argc)
            slowDelay = std::atoi(argv[++i]);
        else
            sizes.push_back(std::atoi(argv[i]));
    }
    const QString self = QCoreApplication::applicationFilePath();
    if (slowDelay > 0)
        return slowVolume(self, slowDelay, sizes.empty() ? 10000 : sizes.front());
    if (photoCount > 0) {
        // Photos named by the date taken: the preview reads each photo's metadata.
        const Result raw = spawn(self, QStringLiteral("photos-raw"), photoCount);
        const Result core = spawn(self, QStringLiteral("photos-core"), photoCount);
        const Result win = spawn(self, QStringLiteral("photos-window"), photoCount);
        std::printf("%8s %-8s %10s %10s %7s %10s %7s\n", "photos", "phase", "raw s", "core s",
                    "ratio", "window s", "ratio");
        for (const size_t ph : {size_t(0), size_t(2)})
            std::printf("%8d %-8s %10.3f %10.3f %7s %10.3f %7s\n", photoCount,
                        ph == 0 ? "list" : "<taken>", raw.t[ph], core.t[ph],
                        qPrintable(ratio(core.t[ph], raw.t[ph])), win.t[ph],
                        qPrintable(ratio(win.t[ph], raw.t[ph])));
        std::printf("%8d %-8s %9.1fM %9.1fM %7s %9.1fM\n", photoCount, "peak RSS",
                    raw.peakKiB / 1024.0, core.peakKiB / 1024.0, "", win.peakKiB / 1024.0);
        if (sizes.empty())
            return 0;
    }
    if (sizes.empty())
        sizes = {10000, 32767, 100000};

    std::printf("%8s %-8s %10s %10s %7s %10s %7s\n", "files", "phase", "raw s", "core s", "ratio",
                "window s", "ratio");
    const bool withPeer = !QStandardPaths::findExecutable(QStringLiteral("mmv")).isEmpty();
    std::map<int, std::array<Result, 3>> all;
    for (const int n : sizes) {
        auto& r = all[n];
        r[0] = spawn(self, QStringLiteral("raw"), n);
        r[1] = spawn(self, QStringLiteral("core"), n);
        r[2] = spawn(self, QStringLiteral("window"), n);
        for (int ph = 0; ph <= kRoad + 1; ++ph) {
            // The road's phases, its total, then the undo.
            const int p = ph < kRoad ? ph : ph == kRoad ? -1 : kRoad;
            auto at = [&](const Result& x) { return p >= 0 ? x.t[size_t(p)] : x.total(); };
            std::printf("%8d %-8s %10.3f %10.3f %7s %10.3f %7s\n", n, p >= 0 ? kPhases[p] : "total",
                        at(r[0]), at(r[1]), qPrintable(ratio(at(r[1]), at(r[0]))), at(r[2]),
                        qPrintable(ratio(at(r[2]), at(r[0]))));
        }
        // The window lists the folder afresh after its undo, as Refresh does.
        std::printf("%8d %-8s %10.3f %10s %7s %10s %7s  (window's undo: %s of raw undo + list)\n",
                    n, "undo+list", r[0].t[kRoad] + r[0].t[0], "", "", "", "",
                    qPrintable(ratio(r[2].t[kRoad], r[0].t[kRoad] + r[0].t[0])));
        std::printf("%8d %-8s %9.1fM %9.1fM %7s %9.1fM\n", n, "peak RSS", r[0].peakKiB / 1024.0,
                    r[1].peakKiB / 1024.0, "", r[2].peakKiB / 1024.0);
        std::printf("%8d %-8s %10s %10.3f %7s %10s %7s  (a preview with tags and a pattern: %s of "
                    "the core's preview)\n",
                    n, "tagged", "", r[1].t[kTagged], "", "", "",
                    qPrintable(ratio(r[1].t[kTagged], r[1].t[2])));
        std::printf("%8d %-8s %10s %10.3f %7s %10s %7s  (the tagged preview with <dup>: %s of "
                    "the same without)\n",
                    n, "<dup>", "", r[1].t[kTaggedDup], "", "", "",
                    qPrintable(ratio(r[1].t[kTaggedDup], r[1].t[kTagged])));
        if (withPeer) {
            const Result m = spawn(self, QStringLiteral("mmv"), n);
            std::printf("%8d %-8s %10.3f %10s %7s %10s %7s  (window's whole road: %s of mmv)\n", n,
                        "mmv", m.total(), "", "", "", "",
                        qPrintable(ratio(r[2].total(), m.total())));
        }
    }
    if (all.size() >= 2) {
        const auto& small = all.begin()->second;
        const auto& large = all.rbegin()->second;
        std::printf("\ngrowth %d -> %d files:", all.begin()->first, all.rbegin()->first);
        for (int ph = 0; ph <= kRoad; ++ph)
            std::printf(" %s raw %s core %s window %s;", kPhases[ph],
                        qPrintable(ratio(large[0].t[size_t(ph)], small[0].t[size_t(ph)])),
                        qPrintable(ratio(large[1].t[size_t(ph)], small[1].t[size_t(ph)])),
                        qPrintable(ratio(large[2].t[size_t(ph)], small[2].t[size_t(ph)])));
        std::printf("\n");
    }
    if (all.count(100000)) {
        const auto& r = all[100000];
        std::printf("100000 files: core %s of raw, window %s of raw, window peak %.1f MB\n",
                    qPrintable(ratio(r[1].total(), r[0].total())),
                    qPrintable(ratio(r[2].total(), r[0].total())), r[2].peakKiB / 1024.0);
    }
    return 0;
}
