#include "portal/boundedinput.h"

#include <QFile>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// How long a read waits on a silent pipe before it looks at the cancel flag again: a stop is
// seen within this.
constexpr int kPollIntervalMs = 100;
// The most one read(2) asks for: a regular file's read of hundreds of megabytes looks at the
// cancel flag between pieces of this size.
constexpr qint64 kReadPiece = 1 << 20;

BoundedInput::Stamp stampOf(const struct stat& info)
{
    BoundedInput::Stamp stamp;
    stamp.device = info.st_dev;
    stamp.inode = info.st_ino;
    stamp.size = info.st_size;
    stamp.modifiedSeconds = info.st_mtim.tv_sec;
    stamp.modifiedNanoseconds = info.st_mtim.tv_nsec;
    stamp.regular = S_ISREG(info.st_mode);
    return stamp;
}

QString systemError(int code)
{
    return QString::fromLocal8Bit(std::strerror(code));
}

} // namespace

std::optional<BoundedInput::Stamp> BoundedInput::Stamp::ofPath(const QString& path)
{
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return std::nullopt;
    return stampOf(info);
}

BoundedInput::BoundedInput(qint64 maxBytes, const std::atomic<bool>* cancel)
    : m_maxBytes(maxBytes), m_cancel(cancel)
{
}

BoundedInput::~BoundedInput()
{
    close();
}

bool BoundedInput::openPath(const QString& path)
{
    // Not blocking: a FIFO without a writer yet would hold open() itself, where no cancel is seen;
    // reads wait in poll() instead.
    const int fd =
        ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) {
        m_openError = errno;
        setErrorString(systemError(m_openError));
        return false;
    }
    return start(fd);
}

bool BoundedInput::openDescriptor(int fd)
{
    if (fd < 0) {
        setErrorString(systemError(EBADF));
        return false;
    }
    return start(fd);
}

bool BoundedInput::start(int fd)
{
    close();
    struct stat info {};
    if (::fstat(fd, &info) != 0) {
        setErrorString(systemError(errno));
        ::close(fd);
        return false;
    }
    m_fd = fd;
    m_openedAs = stampOf(info);
    m_total = 0;
    m_failure = Failure::None;
    return QIODevice::open(QIODevice::ReadOnly);
}

void BoundedInput::close()
{
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
    if (isOpen())
        QIODevice::close();
}

std::optional<BoundedInput::Stamp> BoundedInput::now() const
{
    struct stat info {};
    if (m_fd < 0 || ::fstat(m_fd, &info) != 0)
        return std::nullopt;
    return stampOf(info);
}

QString BoundedInput::tooLargeReason() const
{
    if (m_maxBytes > 0 && m_maxBytes % (1 << 20) == 0)
        return QStringLiteral("it is larger than %1 MiB").arg(m_maxBytes >> 20);
    return QStringLiteral("it is larger than %1 bytes").arg(m_maxBytes);
}

bool BoundedInput::cancelled() const
{
    return m_cancel && m_cancel->load();
}

qint64 BoundedInput::fail(Failure failure, const QString& reason)
{
    m_failure = failure;
    setErrorString(reason);
    return -1;
}

qint64 BoundedInput::readData(char* data, qint64 maxSize)
{
    if (m_failure != Failure::None)
        return -1;
    const bool regular = m_openedAs.regular;
    qint64 filled = 0;
    while (filled < maxSize) {
        if (cancelled())
            return fail(Failure::Cancelled, QStringLiteral("cancelled"));
        if (!regular) {
            // A FIFO whose writer has not come yet reads as ended; poll() waits for it instead.
            pollfd wait{m_fd, POLLIN, 0};
            const int ready = ::poll(&wait, 1, kPollIntervalMs);
            if (ready < 0 && errno != EINTR)
                return fail(Failure::Unreadable, systemError(errno));
            if (ready <= 0)
                continue;
        }
        // One byte past the cap is enough to know.
        const qint64 wanted = std::min({maxSize - filled, kReadPiece, m_maxBytes + 1 - m_total});
        const ssize_t got = ::read(m_fd, data + filled, size_t(wanted));
        if (got < 0) {
            if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)
                continue;
            return fail(Failure::Unreadable, systemError(errno));
        }
        if (got == 0)
            break;
        filled += got;
        m_total += got;
        if (m_total > m_maxBytes)
            return fail(Failure::TooLarge, tooLargeReason());
    }
    return filled;
}

qint64 BoundedInput::writeData(const char*, qint64)
{
    return -1;
}
