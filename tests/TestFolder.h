#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QMap>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QTimeZone>

#include <optional>
#include <ostream>
#include <string>

class CheckListModel;

QT_BEGIN_NAMESPACE
// Texts in failure messages as texts.
inline void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}
QT_END_NAMESPACE

// Every entry name of a folder (hidden ones included) with its content; folders as "<dir>".
using Contents = QMap<QString, QByteArray>;
Contents ContentsOf(const QString& folder);

// A fresh temporary folder, written and read through Qt and the platform layer so that the
// same tables run on every platform, with what a test needs to see that nothing was lost.
class TestFolder {
public:
    TestFolder();
    ~TestFolder(); // by raw names, so that names Qt can't decode go too

    // The folder text as the program keeps it: ending in the separator.
    QString path() const;
    QString file(const QString& name) const { return path() + name; }

    void write(const QString& name, const QByteArray& content = {}) const;
    // Takes a file out of the folder. Wine gives a Linux file's inode as its file number,
    // which Linux gives again to the next file made: there the file is moved aside, as NTFS,
    // whose file numbers aren't given again, would have it.
    void remove(const QString& name) const;
    void mkdir(const QString& name) const;
    Contents contents() const { return ContentsOf(m_dir.path()); }
    // All that a run and its undo may change on each file, as text: which file stands at
    // the name, its attribute bits, mode and times, read without touching the accessed time.
    QMap<QString, std::string> state() const;
    // Times that reading leaves alone (accessed after modified, within a day); n makes them
    // differ between files.
    void stampTimes(const QString& name, int n) const;

    // Sets the modified and accessed times, UTC seconds since 1970.
    static void setTimes(const QString& path, qint64 modified, qint64 accessed);
    static bool hardLink(const QString& existing, const QString& link);
    // The attribute bits; Wine reports every file of a Linux folder as Archive, so there
    // Archive is left out.
    static std::optional<quint32> bits(const QString& path);
#ifndef Q_OS_WIN
    static QByteArray xattr(const QString& path);
    static bool setXattr(const QString& path, const QByteArray& value);
#endif

private:
    QTemporaryDir m_dir;
};

bool UnderWine();

// The bytes this process has read so far, where the system counts them (else 0).
qint64 BytesRead();

// The file names of a list, joined by blanks.
QString NamesOf(const CheckListModel& list);

// A file of the tests' data (a photo tagged by ExifTool, songs tagged by their tools): its
// path, ZOV_TEST_DATA's where that is set (a run as another user gets a copy), and its bytes,
// empty where it can't be read, which fails the test.
QString TestDataPath(const QString& name);
QByteArray TestData(const QString& name);

// Sets TZ for the test process and makes the program read it (POSIX zone names; on
// Windows the zone stays the system's).
void UseTimeZone(const char* tz);

// Seconds since 1970 of a UTC date and time.
inline qint64 utc(int y, int mo, int d, int h, int mi, int s) {
    return QDateTime(QDate(y, mo, d), QTime(h, mi, s), QTimeZone::utc()).toSecsSinceEpoch();
}
