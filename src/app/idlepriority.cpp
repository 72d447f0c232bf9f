#include "app/idlepriority.h"

#ifdef Q_OS_WIN
#include <windows.h>

bool lowerToIdlePriority()
{
    return SetPriorityClass(GetCurrentProcess(), IDLE_PRIORITY_CLASS) != 0;
}

#else
#include <QDir>
#include <QtGlobal>
#include <sys/resource.h>

namespace {
constexpr int kLowestNice = 19;
}

bool lowerToIdlePriority()
{
#ifdef Q_OS_LINUX
    // On Linux the nice value belongs to each thread, and Qt has already started some (the X11
    // event reader among them). Lower every thread there is; threads started later inherit
    // the value from the thread that starts them.
    const QStringList tasks =
        QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    bool ok = !tasks.isEmpty();
    for (const QString& task : tasks)
        ok = setpriority(PRIO_PROCESS, static_cast<id_t>(task.toInt()), kLowestNice) == 0 && ok;
    if (ok)
        return true;
#endif
    return setpriority(PRIO_PROCESS, 0, kLowestNice) == 0;
}
#endif
