#pragma once

#include <QByteArray>
#include <QString>

// The folder where downloaded listings are kept, made so that nothing in it can be turned
// against the portal's user. It is opened once, as a descriptor, and everything in it is done
// relative to that descriptor, so that swapping the path for another folder redirects nothing.
// It is refused, and not used at all, when another user owns it or when its group or others may
// write to it. Files are created without following symlinks, 0600, under unique names ending in
// ".part", locked (flock) while they are being written, and renamed into place; files are opened
// for reading without following symlinks. Opening it removes the .part files a killed run left,
// but not those another portal sharing the folder is writing (it holds their lock).
class CacheFolder {
public:
    // Opens the folder, creating it 0700 (and its missing parents) when it does not exist.
    explicit CacheFolder(const QString& path);
    ~CacheFolder();
    CacheFolder(const CacheFolder&) = delete;
    CacheFolder& operator=(const CacheFolder&) = delete;

    const QString& path() const { return m_path; }
    QString filePath(const QString& name) const;
    // Whether the folder can be used; when not, problem() says why in a sentence fragment that
    // names the folder ("the cache folder "..." belongs to user 65534, not to this user (0)").
    bool isUsable() const { return m_fd >= 0; }
    const QString& problem() const { return m_problem; }

    // A new file open for reading and writing, named "<stem>-<random>.part", 0600 and locked
    // until the descriptor is closed; -1 with error set when it cannot be made.
    int createPart(const QString& stem, QString* name, QString* error) const;
    // A regular file in the folder opened for reading, a symlink never followed; -1 (errno set)
    // when there is no such file.
    int openForReading(const QString& name) const;
    bool isFile(const QString& name) const;
    // Replaces `to` by `from` in one step; false with error set when the folder refuses.
    bool rename(const QString& from, const QString& to, QString* error) const;
    void remove(const QString& name) const;
    // Writes a small file whole: a new .part, then renamed over `name`.
    bool writeFile(const QString& name, const QByteArray& bytes, QString* error) const;

private:
    void removeStaleParts() const;

    QString m_path;
    QString m_problem;
    int m_fd = -1;
};
