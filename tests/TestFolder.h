#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QMap>
#include <QString>
#include <QTemporaryDir>
#include <QTimeZone>

#include <string>

// A fresh temporary folder with helpers to fill it and to read back all it holds, so
// that tests can check that nothing was lost or overwritten.
class TestFolder {
public:
    TestFolder();
    // Removes the folder by raw names, so that names Qt can't decode go too.
    ~TestFolder();

    // The folder text as the program keeps it: ending in the separator.
    QString path() const;
    QString file(const QString& name) const { return path() + name; }

    void write(const QString& name, const QByteArray& content = {}) const;
    void writeRaw(const QByteArray& name, const QByteArray& content = {}) const;
    void mkdir(const QString& name) const;
    // Every entry name (hidden ones included) with its content; folders as "<dir>".
    QMap<QString, QByteArray> contents() const;

    // All that a run and its undo may change on each file, as text: content, DOS value,
    // mode and times to the ns. Reads without touching the accessed time.
    QMap<QString, std::string> state() const;
    // Times that reading leaves alone (accessed after modified, within a day), to the ns;
    // n makes them differ between files.
    void stampTimes(const QString& name, int n) const;

    static QByteArray xattr(const QString& path);
    static bool setXattr(const QString& path, const QByteArray& value);
    // Sets the modified and accessed times, UTC seconds since 1970.
    static void setTimes(const QString& path, qint64 modified, qint64 accessed);

private:
    QTemporaryDir m_dir;
};

// Sets TZ for the test process and makes the program read it.
void UseTimeZone(const char* tz);

// Seconds since 1970 of a UTC date and time.
inline qint64 utc(int y, int mo, int d, int h, int mi, int s) {
    return QDateTime(QDate(y, mo, d), QTime(h, mi, s), QTimeZone::utc()).toSecsSinceEpoch();
}
