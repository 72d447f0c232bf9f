#pragma once

#include <QIODevice>
#include <atomic>
#include <optional>
#include <sys/types.h>

// The bytes of a listings source, whatever kind of file holds them (a regular file, a pipe or
// FIFO, /dev/stdin, a character device), read so that no source can keep the portal reading
// without end or keep it from stopping: a read fails once more than maxBytes came ("it is larger
// than 512 MiB") and as soon as *cancel is set ("cancelled"), even while a pipe has nothing to
// give. A read is filled as far as the source allows, as QFile's are: a reader that asks for much
// at once (a long token) gets it in one go.
class BoundedInput : public QIODevice {
public:
    enum class Failure { None, TooLarge, Cancelled, Unreadable };

    // What a file is, as far as telling that it changed goes: a file rewritten in place or
    // replaced differs in one of these.
    struct Stamp {
        dev_t device = 0;
        ino_t inode = 0;
        qint64 size = -1;
        qint64 modifiedSeconds = 0;
        qint64 modifiedNanoseconds = 0;
        bool regular = false;

        bool operator==(const Stamp&) const = default;
        // The file a path names now (symlinks followed); nullopt when there is none.
        static std::optional<Stamp> ofPath(const QString& path);
    };

    BoundedInput(qint64 maxBytes, const std::atomic<bool>* cancel);
    ~BoundedInput() override;
    BoundedInput(const BoundedInput&) = delete;
    BoundedInput& operator=(const BoundedInput&) = delete;

    // Opens the file for reading; false with errorString() set when it cannot be, and
    // openError() to the errno of the failure.
    bool openPath(const QString& path);
    int openError() const { return m_openError; }
    // Reads from a descriptor open for reading, from where it stands; takes it over.
    bool openDescriptor(int fd);

    bool isSequential() const override { return true; }
    void close() override;

    // The file as it was when opened, and as it is now.
    const Stamp& openedAs() const { return m_openedAs; }
    std::optional<Stamp> now() const;
    Failure failure() const { return m_failure; }
    // "it is larger than 512 MiB": the reason a TooLarge read gives.
    QString tooLargeReason() const;

protected:
    qint64 readData(char* data, qint64 maxSize) override;
    qint64 writeData(const char* data, qint64 maxSize) override;

private:
    bool start(int fd);
    bool cancelled() const;
    qint64 fail(Failure failure, const QString& reason);

    qint64 m_maxBytes;
    const std::atomic<bool>* m_cancel;
    int m_fd = -1;
    qint64 m_total = 0;
    Stamp m_openedAs;
    Failure m_failure = Failure::None;
    int m_openError = 0;
};
