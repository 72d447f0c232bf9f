#include "app/workingfolder.h"

#include "stations/stationfiles.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

WorkingFolder enterWorkingFolder(const QString& folderOption, const QString& dataFolder)
{
    WorkingFolder folder;
    if (!folderOption.isEmpty()) {
        folder = {folderOption, QStringLiteral("z --folder"), {}};
    } else if (QFileInfo::exists(QString::fromLatin1(kStationListFile)) ||
               QFileInfo::exists(QString::fromLatin1(kCheckedStatesFile))) {
        // Started from a shell in its folder, as it always was.
        folder = {QDir::currentPath(), QStringLiteral("tu juz sa pliki stacji"), {}};
    } else {
        folder = {dataFolder, QStringLiteral("folder danych uzytkownika"), {}};
    }
    if (folder.path.isEmpty() || !QDir().mkpath(folder.path))
        folder.error =
            QCoreApplication::translate("WorkingFolder", "nie można utworzyć folderu \"%1\"")
                .arg(folder.path);
    else if (!QDir::setCurrent(folder.path))
        folder.error =
            QCoreApplication::translate("WorkingFolder", "nie można wejść do folderu \"%1\"")
                .arg(folder.path);
    else
        folder.path = QDir::currentPath();
    return folder;
}

// Without a home there is no such folder; never a folder "ekranik" at the root instead.
QString standardDataFolder()
{
    const QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    return data.isEmpty() ? QString() : data + QStringLiteral("/ekranik");
}
