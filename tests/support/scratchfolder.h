#pragma once

#include <QDir>
#include <QTemporaryDir>

// An empty working directory for one test, as the program keeps its files in its working
// directory; the old one is current again when it goes.
class ScratchFolder {
public:
    ScratchFolder() : previous_(QDir::currentPath()) { QDir::setCurrent(folder_.path()); }
    ~ScratchFolder() { QDir::setCurrent(previous_); }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    QString path() const { return folder_.path(); }
    bool isValid() const
    {
        return folder_.isValid() && QDir::currentPath() == QDir(path()).canonicalPath();
    }

private:
    QString previous_;
    QTemporaryDir folder_;
};
