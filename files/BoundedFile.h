#pragma once

#include <QIODevice>
#include <QString>

#include <atomic>

// A file's content as the media readers take it, whatever the file does: opened without
// following a link and without waiting, and only where it is an ordinary file; its size is
// the one it had then, so a file that grows is not read without end. Reads stop at a bound of
// bytes, at a deadline, or once the reading is called off; what a reader can't finish within
// them, it can't read. Metadata sits in the first megabytes of a file, and in its last bytes.
class BoundedFile : public QIODevice {
public:
    static constexpr qint64 kByteBound = 32 * 1024 * 1024;
    static constexpr qint64 kTail = 64 * 1024;
    static constexpr int kMilliseconds = 1500;

    // Whole: the file as it is, for readers that seek to what a small index says, and read
    // little. Head: a file larger than the bound is seen as its first bytes alone, so that
    // claims of sizes beyond them fail the readers' own checks before they take room for them.
    // HeadAndTail: the same followed by its last bytes, where ID3v1 and APE tags sit.
    enum View { Whole, Head, HeadAndTail };
    explicit BoundedFile(const QString& path, View view = HeadAndTail);
    ~BoundedFile() override;

    bool isSequential() const override { return false; }
    qint64 size() const override { return m_size; }
    // Whether a read was refused for a bound, the deadline or a stop: the file is then one
    // that can't be read, not one without metadata.
    bool refused() const { return m_refused; }
    const QString& path() const { return m_path; }
    // The view mapped into memory where it is one stretch of the file, for readers that take
    // it whole; pages are read as they are touched. Null where it can't be.
    const char* map();

    // While one is held, the reading on its thread is called off once stop is set.
    class StopWhen {
    public:
        explicit StopWhen(const std::atomic<bool>& stop);
        ~StopWhen();
        StopWhen(const StopWhen&) = delete;
        StopWhen& operator=(const StopWhen&) = delete;

    private:
        const std::atomic<bool>* m_before;
    };

protected:
    qint64 readData(char* data, qint64 maxSize) override;
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    QString m_path;
    qint64 m_size = 0;     // as seen
    qint64 m_tailFrom = 0; // where the view's tail begins, in the view
    qint64 m_tailSkip = 0; // what lies between head and tail in the file
    qint64 m_read = 0;
    qint64 m_deadline = 0; // ms on a steady clock
    bool m_refused = false;
    void* m_map = nullptr;
#ifdef Q_OS_WIN
    void* m_handle = nullptr;
    void* m_mapping = nullptr;
#else
    int m_fd = -1;
#endif
};
