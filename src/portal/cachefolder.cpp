#include "portal/cachefolder.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QStringList>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

// Names tried for a new .part file before giving up: a clash is already one in four billion.
constexpr int kCreateTries = 16;

QString systemError(int code)
{
    return QString::fromLocal8Bit(std::strerror(code));
}

QByteArray local(const QString& name)
{
    return QFile::encodeName(name);
}

QString userText(uid_t uid)
{
    passwd entry{};
    passwd* found = nullptr;
    char buffer[1024];
    if (::getpwuid_r(uid, &entry, buffer, sizeof buffer, &found) == 0 && found)
        return QStringLiteral("%1 (uid %2)").arg(QString::fromLocal8Bit(found->pw_name)).arg(uid);
    return QStringLiteral("uid %1").arg(uid);
}

// Creates the folder and the parents it lacks, each 0700 (what XDG asks of the folders it
// creates); those that exist are left as they are.
bool makeFolders(const QString& path)
{
    const QString clean = QDir::cleanPath(path);
    qsizetype at = clean.startsWith(u'/') ? 1 : 0;
    for (;;) {
        const qsizetype slash = clean.indexOf(u'/', at);
        const QString prefix = slash < 0 ? clean : clean.left(slash);
        if (::mkdir(local(prefix).constData(), 0700) != 0 && errno != EEXIST)
            return false;
        if (slash < 0)
            return true;
        at = slash + 1;
    }
}

bool sameFile(int dirFd, const QByteArray& name, int fd)
{
    struct stat byName {};
    struct stat byFd {};
    return ::fstatat(dirFd, name.constData(), &byName, AT_SYMLINK_NOFOLLOW) == 0 &&
           ::fstat(fd, &byFd) == 0 && byName.st_dev == byFd.st_dev && byName.st_ino == byFd.st_ino;
}

bool writeAll(int fd, const QByteArray& bytes)
{
    qsizetype written = 0;
    while (written < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + written, size_t(bytes.size() - written));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        written += n;
    }
    return true;
}

} // namespace

CacheFolder::CacheFolder(const QString& path) : m_path(path)
{
    const QString shown = QStringLiteral("the cache folder \"%1\"").arg(path);
    if (path.isEmpty()) {
        m_problem = QStringLiteral("no cache folder was given");
        return;
    }
    int fd = ::open(local(path).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0 && errno == ENOENT && makeFolders(path))
        fd = ::open(local(path).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        m_problem = QStringLiteral("could not create %1: %2").arg(shown, systemError(errno));
        return;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0) {
        m_problem = QStringLiteral("could not look at %1: %2").arg(shown, systemError(errno));
    } else if (info.st_uid != ::geteuid()) {
        // Its owner could swap what the portal writes or reads there.
        m_problem = QStringLiteral("%1 belongs to %2, not to %3, who runs the portal")
                        .arg(shown, userText(info.st_uid), userText(::geteuid()));
    } else if (info.st_mode & (S_IWGRP | S_IWOTH)) {
        m_problem = QStringLiteral("%1 can be written by other users (mode %2)")
                        .arg(shown)
                        .arg(info.st_mode & 07777, 4, 8, QLatin1Char('0'));
    }
    if (!m_problem.isEmpty()) {
        ::close(fd);
        return;
    }
    m_fd = fd;
    removeStaleParts();
}

CacheFolder::~CacheFolder()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

QString CacheFolder::filePath(const QString& name) const
{
    return QDir(m_path).filePath(name);
}

void CacheFolder::removeStaleParts() const
{
    const int listFd = ::dup(m_fd);
    DIR* dir = listFd < 0 ? nullptr : ::fdopendir(listFd);
    if (!dir) {
        if (listFd >= 0)
            ::close(listFd);
        return;
    }
    std::vector<QByteArray> parts;
    while (const dirent* entry = ::readdir(dir)) {
        const QByteArray name(entry->d_name);
        if (name.endsWith(".part"))
            parts.push_back(name);
    }
    ::closedir(dir);
    for (const QByteArray& name : parts) {
        const int fd = ::openat(m_fd, name.constData(),
                                O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
        if (fd < 0) {
            // Not made by a portal: no portal makes a symlink.
            if (errno == ELOOP)
                ::unlinkat(m_fd, name.constData(), 0);
            continue;
        }
        // A portal still writing it holds the lock; one that was killed holds nothing.
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0 && sameFile(m_fd, name, fd))
            ::unlinkat(m_fd, name.constData(), 0);
        ::close(fd);
    }
}

int CacheFolder::createPart(const QString& stem, QString* name, QString* error) const
{
    if (m_fd < 0) {
        if (error)
            *error = m_problem;
        return -1;
    }
    int code = EEXIST;
    for (int attempt = 0; attempt < kCreateTries; ++attempt) {
        const QString candidate =
            QStringLiteral("%1-%2.part")
                .arg(stem)
                .arg(QRandomGenerator::system()->generate(), 8, 16, QLatin1Char('0'));
        const QByteArray bytes = local(candidate);
        const int fd = ::openat(m_fd, bytes.constData(),
                                O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd < 0) {
            code = errno;
            if (code == EEXIST)
                continue;
            break;
        }
        // Another portal starting on this folder may have taken it for a stale one between the
        // creation and the lock: then it is gone, and another name is tried.
        if (::flock(fd, LOCK_EX) != 0) {
            code = errno;
            ::close(fd);
            ::unlinkat(m_fd, bytes.constData(), 0);
            break;
        }
        if (sameFile(m_fd, bytes, fd)) {
            if (name)
                *name = candidate;
            return fd;
        }
        ::close(fd);
    }
    if (error)
        *error = QStringLiteral("could not create a file in %1: %2").arg(m_path, systemError(code));
    return -1;
}

int CacheFolder::openForReading(const QString& name) const
{
    if (m_fd < 0) {
        errno = ENOENT;
        return -1;
    }
    const int fd = ::openat(m_fd, local(name).constData(),
                            O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return -1;
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        errno = EINVAL;
        return -1;
    }
    // Regular files ignore it, but reads of them should not see it either.
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
}

bool CacheFolder::isFile(const QString& name) const
{
    struct stat info {};
    return m_fd >= 0 && ::fstatat(m_fd, local(name).constData(), &info, AT_SYMLINK_NOFOLLOW) == 0 &&
           S_ISREG(info.st_mode);
}

bool CacheFolder::rename(const QString& from, const QString& to, QString* error) const
{
    if (m_fd >= 0 && ::renameat(m_fd, local(from).constData(), m_fd, local(to).constData()) == 0)
        return true;
    if (error)
        *error = QStringLiteral("could not replace %1: %2")
                     .arg(filePath(to), m_fd < 0 ? m_problem : systemError(errno));
    return false;
}

void CacheFolder::remove(const QString& name) const
{
    if (m_fd >= 0)
        ::unlinkat(m_fd, local(name).constData(), 0);
}

bool CacheFolder::writeFile(const QString& name, const QByteArray& bytes, QString* error) const
{
    QString part;
    const int fd = createPart(name, &part, error);
    if (fd < 0)
        return false;
    bool done = writeAll(fd, bytes);
    if (!done && error)
        *error = QStringLiteral("could not write %1: %2").arg(filePath(name), systemError(errno));
    // Renamed while still locked: a portal starting meanwhile leaves it alone.
    done = done && rename(part, name, error);
    if (!done)
        remove(part);
    ::close(fd);
    return done;
}
