#pragma once

#include <QString>

// The folder the program keeps its files in (the station files and the downloaded pages), and
// why that one.
struct WorkingFolder {
    QString path;
    QString reason;
    // Set when the folder could not be made or entered; it names the folder.
    QString error;
};

// Chooses the working folder and makes it the current one: `folderOption` (--folder) when
// given; else the current folder when it holds a station file already; else `dataFolder`, the
// program's folder in the user's XDG data folder. A missing folder is created.
WorkingFolder enterWorkingFolder(const QString& folderOption, const QString& dataFolder);

// ekranik in the user's XDG data folder.
QString standardDataFolder();
