#pragma once

#include <QDir>
#include <QTemporaryDir>

// An empty working directory for one test, as the program keeps its files in its working
// directory; the old one is current again when it goes.
class ScratchFolder {
public:
    ScratchFolder() : m_previous(QDir::currentPath()) { QDir::setCurrent(m_folder.path()); }
    ~ScratchFolder() { QDir::setCurrent(m_previous); }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    QString path() const { return m_folder.path(); }
    bool isValid() const
    {
        return m_folder.isValid() && QDir::currentPath() == QDir(path()).canonicalPath();
    }

private:
    QString m_previous;
    QTemporaryDir m_folder;
};
